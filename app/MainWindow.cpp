#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "JogCommands.h"
#include "StatusReport.h"

#include "dialogs/MessageDialog.h"
#include "link/SettingsStore.h"

#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTextBrowser>
#include <QtConcurrent>

namespace {
constexpr int tickIntervalMs = 1000;
constexpr int jogIntervalMs = 200;

const char *dockLocationsKey = "DOCK_LOCATIONS";
const char *hideStatusKey = "HideStatusMsg";
} // namespace

// Resources of a static library are only linked in when something asks for them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), grblSettingsDialog(this), probingDialog(this), holeCutter(this),
      positionsDialog(this), ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);
    terminalPane.attach(ui->plainTextEditSerial);
    ui->ConnectionLED->setColor(Qt::red);
    ui->progressBar->setValue(0);

    connect(&terminal, &TerminalCommunication::LineReceived, this, &MainWindow::ParseReceivedLine);
    connect(&tickTimer, &QTimer::timeout, this, &MainWindow::Tick1000ms);
    connect(&jogTimer, &QTimer::timeout, this, &MainWindow::JogTimerTick);
    connect(&gamepad, &WindowsGamepad::ButtonPressed, this, &MainWindow::GamePadButtonPressed);
    connect(&settingsDialog, &SettingsDialog::settingsChanged, this,
            &MainWindow::OnComSettingsChanged);
    tickTimer.setSingleShot(false);
    jogTimer.setSingleShot(false);

    workX = ui->lcdNumberWorkX;
    workY = ui->lcdNumberWorkY;
    workZ = ui->lcdNumberWorkZ;

    ui->GLWidget->setToolPath(&toolPath);
    ui->GLWidget->setEnvelopeDisplays(ui->lcdNumberX, ui->lcdNumberY, ui->lcdNumberZ);
    ui->GLWidget->setToolDisplays(ui->lcdNumberWorkX, ui->lcdNumberWorkY, ui->lcdNumberWorkZ);
    pathReader.setDocument(ui->plainTextEditGCode->document());
    connect(ui->plainTextEditGCode, &QPlainTextEdit::textChanged, this,
            &MainWindow::EditorTextChanged);
    connect(&openedFile, &QFutureWatcher<ProgramFile::Reading>::finished, this,
            &MainWindow::ShowOpenedFile);

    RestoreWindowState();
    tickTimer.start(tickIntervalMs);
    jogTimer.start(jogIntervalMs);
}

MainWindow::~MainWindow()
{
    SaveWindowState();
    delete ui;
}

void MainWindow::ParseReceivedLine(QString line)
{
    if (line.startsWith(QLatin1Char('<'))) {
        ParseStatusReport(line);
        if (ui->checkBoxHideStatusMessage->isChecked())
            return;
    } else if (line.startsWith(QLatin1Char('$'))) {
        if (line.size() > 1 && line.at(1) >= QLatin1Char('0') && line.at(1) <= QLatin1Char('9'))
            grblSettingsDialog.ParseParameterLine(line);
    } else if (line == QLatin1String("ok")) {
        OnOk();
    } else if (line.startsWith(QLatin1String("error"))) {
        OnError();
    } else if (line.startsWith(QLatin1String("Grbl "))) {
        OnControllerReset();
    }
    AppendTerminal(line, Qt::red);
}

bool MainWindow::SendCommand(const QString &command)
{
    if (!terminal.SendLine(command))
        return false;
    AppendTerminal(command, Qt::blue);
    inFlight.sent(command.toUtf8().size() + 1);
    return true;
}

double MainWindow::workPosition(int axis) const
{
    const QLCDNumber *displays[] = {workX, workY, workZ};
    return axis >= 0 && axis < 3 ? displays[axis]->value() : 0.0;
}

void MainWindow::ParseStatusReport(const QString &line)
{
    const StatusReport report = parseStatusReport(line);
    ui->labelGrblStatus->setText(report.state);
    probingDialog.SetMachineState(report.state);

    const bool idle = ui->labelGrblStatus->text() == QLatin1String("Idle");
    ui->pushButtonSpindle->setEnabled(idle);
    ui->pushButtonOpenProbeDialog->setEnabled(idle);
    ui->pushButtonSendGCode->setEnabled(idle);

    if (report.machine) {
        ui->lcdNumberMachineX->display(report.machine->at(0));
        ui->lcdNumberMachineY->display(report.machine->at(1));
        ui->lcdNumberMachineZ->display(report.machine->at(2));
    }
    if (report.work) {
        ui->lcdNumberWorkX->display(report.work->at(0));
        ui->lcdNumberWorkY->display(report.work->at(1));
        ui->lcdNumberWorkZ->display(report.work->at(2));
    }
    if (ui->checkBoxTool->isChecked() && ui->GLWidget->isVisible())
        RepaintToolMarker();
}

// Only the marker: the path stays as it was drawn.
void MainWindow::RepaintToolMarker()
{
    ui->GLWidget->updateToolMarker();
}

void MainWindow::on_pushButtonSendGCode_clicked()
{
    if (ui->labelGrblStatus->text() != QLatin1String("Idle"))
        return;
    sendQueue.clear();
    inFlight.reset();
    sendQueue = programLines(ui->plainTextEditGCode->document()->toPlainText());
    ackedLines = 0;
    totalLines = sendQueue.size();
    SendQueuedLines();
}

// A line the link refuses stays at the head of the queue: losing the link must not throw the
// rest of the program away unseen.
void MainWindow::SendQueuedLines()
{
    while (!sendQueue.isEmpty()) {
        if (!inFlight.admits(sendQueue.first().toUtf8().size() + 1))
            return;
        if (!SendCommand(sendQueue.first()))
            return;
        sendQueue.removeFirst();
    }
}

void MainWindow::OnOk()
{
    if (totalLines > 0 && totalLines > ackedLines) {
        ++ackedLines;
        ui->progressBar->setValue(static_cast<int>(qint64(ackedLines) * 100 / totalLines));
    }
    inFlight.answered();
    SendQueuedLines();
}

void MainWindow::OnError()
{
    inFlight.answered();
    SendQueuedLines();
}

// A controller that starts afresh has thrown away every line it held; going on with the rest of
// the program would run it with a gap, so the stream ends here.
void MainWindow::OnControllerReset()
{
    sendQueue.clear();
    inFlight.reset();
}

void MainWindow::on_pushButtonOpenFile_clicked()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Open"), QDir::currentPath(), tr("GCode (*.nc)"));
    if (fileName.isEmpty() || openedFile.isRunning())
        return;
    openedFile.setFuture(QtConcurrent::run(ProgramFile::read, fileName));
}

// The file is read off the GUI thread (a program may be tens of megabytes on a slow disk);
// an unreadable or oversized one leaves the editor as it was.
void MainWindow::ShowOpenedFile()
{
    const ProgramFile::Reading reading = openedFile.result();
    if (reading.outcome == ProgramFile::Outcome::Read)
        ui->plainTextEditGCode->setPlainText(reading.text);
}

void MainWindow::on_lineEditCommand_returnPressed()
{
    const QString text = ui->lineEditCommand->text();
    if (!text.isEmpty())
        SendCommand(text);
    ui->lineEditCommand->clear();
}

void MainWindow::on_pushButtonResetGRBLCmd_2_clicked()
{
    terminalPane.clear();
}

void MainWindow::on_pushButtonHelpCmd_clicked()
{
    SendCommand(QStringLiteral("$"));
}

void MainWindow::on_pushButtonSettingsCmd_clicked()
{
    SendCommand(QStringLiteral("$$"));
}

void MainWindow::on_pushButtonParameterCmd_clicked()
{
    SendCommand(QStringLiteral("$#"));
}

void MainWindow::on_pushButtonStateCmd_clicked()
{
    SendCommand(QStringLiteral("$G"));
}

void MainWindow::on_pushButtonInfoCmd_clicked()
{
    SendCommand(QStringLiteral("$I"));
}

void MainWindow::on_pushButtonStartupBlocksCmd_clicked()
{
    SendCommand(QStringLiteral("$N"));
}

void MainWindow::on_pushButtonCheckCmd_clicked()
{
    SendCommand(QStringLiteral("$C"));
}

void MainWindow::on_pushButtonKillLockCmd_clicked()
{
    SendCommand(QStringLiteral("$X"));
}

void MainWindow::on_pushButtonHomingCycleCmd_clicked()
{
    SendCommand(QStringLiteral("$H"));
}

void MainWindow::on_pushButtonCycleStartCmd_clicked()
{
    SendCommand(QStringLiteral("~"));
}

void MainWindow::on_pushButtonFeedHoldCmd_clicked()
{
    SendCommand(QStringLiteral("!"));
}

void MainWindow::on_pushButtonStatusCmd_clicked()
{
    SendCommand(QStringLiteral("?"));
}

void MainWindow::on_pushButtonResetGRBLCmd_clicked()
{
    SendCommand(QString(QChar(0x18)));
}

void MainWindow::on_pushButtonZeroAll_clicked()
{
    SendCommand(QStringLiteral("G92 X0 Y0 Z0"));
}

void MainWindow::on_pushButtonZeroX_clicked()
{
    SendCommand(QStringLiteral("G92 X0"));
}

void MainWindow::on_pushButtonZeroY_clicked()
{
    SendCommand(QStringLiteral("G92 Y0"));
}

void MainWindow::on_pushButtonZeroZ_clicked()
{
    SendCommand(QStringLiteral("G92 Z0"));
}

void MainWindow::AppendTerminal(const QString &text, const QColor &color)
{
    terminalPane.append(text, color);
}

void MainWindow::Tick1000ms()
{
    ui->pushButtonConnection->setText(settingsDialog.settings().name);
    if (terminal.IsConnected()) {
        QCoreApplication::processEvents();
        ui->ConnectionLED->setColor(Qt::green);
        if (settingsDialog.settings().askStatus)
            terminal.WriteRaw(QByteArrayLiteral("?"));
    } else {
        ui->ConnectionLED->setColor(Qt::red);
        terminal.TryToConnect(&settingsDialog);
        ui->labelGrblStatus->setText(QStringLiteral("offline"));
        inFlight.reset();
    }
}

void MainWindow::on_pushButtonConnection_clicked()
{
    settingsDialog.show();
}

void MainWindow::on_actionCom_Port_Settings_triggered()
{
    settingsDialog.show();
}

void MainWindow::on_actionMachine_Coordinates_triggered()
{
    ui->dockWidgetMachineCoordinates->show();
}

void MainWindow::on_actionWork_Coordinates_triggered()
{
    ui->dockWidgetWorkCoordniates->show();
}

void MainWindow::on_actionG_Code_Editor_triggered()
{
    ui->dockWidgetGCodeEditor->show();
}

void MainWindow::on_action3D_Preview_triggered()
{
    ui->dockWidget3DPeview->show();
}

void MainWindow::EditorTextChanged()
{
    ParseGCodeToPath();
    ui->GLWidget->updateGL();
}

// Only the blocks an edit changed are read again; the reader follows the editor's document.
void MainWindow::ParseGCodeToPath()
{
    pathReader.updatePath(toolPath);
}

void MainWindow::on_pushButtonLookFromAbove_clicked()
{
    ui->GLWidget->lookFromAbove();
}

void MainWindow::on_checkBoxOrigin_clicked(bool checked)
{
    ui->GLWidget->setShowOrigin(checked);
}

void MainWindow::on_checkBoxBounding_clicked(bool checked)
{
    ui->GLWidget->setShowEnvelope(checked);
}

void MainWindow::on_checkBoxTool_clicked(bool checked)
{
    ui->GLWidget->setShowTool(checked);
}

void MainWindow::on_actionGamepad_Config_triggered()
{
    gamepad.show();
}

void MainWindow::on_actionSpecial_Commands_triggered()
{
    ui->dockWidgetSpecialCommands->show();
}

void MainWindow::on_pushButtonOpenProbeDialog_clicked()
{
    probingDialog.show();
}

// The controller's listing fills the dialog line by line once it arrives.
void MainWindow::on_actionGRBL_Config_triggered()
{
    on_pushButtonSettingsCmd_clicked();
    grblSettingsDialog.show();
}

void MainWindow::on_actionHolecutter_Tool_triggered()
{
    holeCutter.show();
}

void MainWindow::on_actionPositions_triggered()
{
    positionsDialog.show();
}

void MainWindow::on_pushButtonPositions_clicked()
{
    positionsDialog.show();
}

void MainWindow::on_actionInfo_triggered()
{
    MessageDialog dialog;
    dialog.textBrowser()->setHtml(
        tr("<p><b>Orlo_CNC_Control</b></p><p>Version V1.23</p><p>Running on Qt %1</p>")
            .arg(QString::fromLatin1(qVersion())));
    dialog.setWindowTitle(tr("Info"));
    dialog.resize(dialog.width(), 150);
    const QPoint centre = frameGeometry().center();
    const QRect frame = dialog.frameGeometry();
    dialog.move(centre.x() - frame.width() / 2, centre.y() - frame.height() / 2);
    dialog.exec();
}

void MainWindow::RestoreWindowState()
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    restoreState(store.value(dockLocationsKey).toByteArray(), 0);
    ui->checkBoxHideStatusMessage->setChecked(store.value(hideStatusKey).toBool());
    LoadComSettings();
}

void MainWindow::LoadComSettings()
{
    Settings settings = settingsDialog.settings();
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.beginGroup(QStringLiteral("ComSettings"));
    settings.name = store.value(QStringLiteral("PortName"), QStringLiteral("COM1")).toString();
    settings.baudRate = store.value(QStringLiteral("Baudrate"), 9600).toInt();
    settings.parity =
        static_cast<QSerialPort::Parity>(store.value(QStringLiteral("Parity"), 0).toInt());
    settings.dataBits =
        static_cast<QSerialPort::DataBits>(store.value(QStringLiteral("DataBits"), 8).toInt());
    settings.stopBits =
        static_cast<QSerialPort::StopBits>(store.value(QStringLiteral("StopBits"), 1).toInt());
    settings.flowControl = static_cast<QSerialPort::FlowControl>(
        store.value(QStringLiteral("FlowControl"), 0).toInt());
    settings.askStatus = store.value(QStringLiteral("AskStatus"), 0).toInt() != 0;
    store.endGroup();
    settingsDialog.setSettings(settings);
}

void MainWindow::OnComSettingsChanged()
{
    const Settings settings = settingsDialog.settings();
    {
        QSettings store(SettingsStore::organisation(), SettingsStore::application());
        store.beginGroup(QStringLiteral("ComSettings"));
        store.setValue(QStringLiteral("PortName"), settings.name);
        store.setValue(QStringLiteral("Baudrate"), settings.baudRate);
        store.setValue(QStringLiteral("Parity"), static_cast<int>(settings.parity));
        store.setValue(QStringLiteral("DataBits"), static_cast<int>(settings.dataBits));
        store.setValue(QStringLiteral("StopBits"), static_cast<int>(settings.stopBits));
        store.setValue(QStringLiteral("FlowControl"), static_cast<int>(settings.flowControl));
        store.setValue(QStringLiteral("AskStatus"), settings.askStatus ? 1 : 0);
        store.endGroup();
    }
    terminal.Disconnect();
}

void MainWindow::SaveWindowState()
{
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    store.setValue(dockLocationsKey, saveState(0));
    store.setValue(hideStatusKey, ui->checkBoxHideStatusMessage->isChecked());
}

QString MainWindow::GetJogStep() const
{
    using JogCommands::Step;
    const QPair<QRadioButton *, Step> choices[] = {
        {ui->radioButton100mm, Step::Mm100}, {ui->radioButton10mm, Step::Mm10},
        {ui->radioButton1mm, Step::Mm1},     {ui->radioButton01mm, Step::Mm01},
        {ui->radioButton001mm, Step::Mm001}, {ui->radioButtonCustom, Step::Custom}};
    for (const auto &[radio, step] : choices) {
        if (radio->isChecked())
            return JogCommands::stepText(step, ui->doubleSpinBoxCustomStep->value());
    }
    return JogCommands::stepText(Step::Continuous, 0);
}

// Relative moves; the controller stays in G91 until something switches it back.
void MainWindow::Jog(const QString &direction, const QString &step, const QString &feed)
{
    SendCommand(QStringLiteral("G91"));
    SendCommand(JogCommands::moveLine(direction, step, feed));
    on_pushButtonStatusCmd_clicked();
}

void MainWindow::JogButtonPressed(GamepadButton button, bool fromGamepad)
{
    const bool stepJog =
        fromGamepad ? gamepad.heldButtons()[DefinedStep] : !ui->radioButtonContinious->isChecked();
    const QString direction = JogCommands::direction(button);
    if (stepJog && !direction.isEmpty()) {
        const int feed = JogCommands::stepFeed(direction, ui->spinBoxFeedRate->value());
        Jog(direction, GetJogStep(), QString::number(feed));
    }
    if (button == Start)
        on_pushButtonSendGCode_clicked();
    else if (button == Spindle)
        on_pushButtonSpindle_clicked();
    else if (button == ZeroAll)
        on_pushButtonZeroAll_clicked();
}

void MainWindow::GamePadButtonPressed(GamepadButton button)
{
    JogButtonPressed(button, true);
}

void MainWindow::JogTimerTick()
{
    QString direction;
    if (ui->radioButtonContinious->isChecked()) {
        const QPair<QPushButton *, GamepadButton> jogButtons[] = {
            {ui->pushButtonPlusX, XPlus}, {ui->pushButtonMinusX, XMinus},
            {ui->pushButtonPlusY, YPlus}, {ui->pushButtonMinusY, YMinus},
            {ui->pushButtonPlusZ, ZPlus}, {ui->pushButtonMinusZ, ZMinus}};
        for (const auto &[jogButton, input] : jogButtons) {
            if (jogButton->isDown()) {
                direction = JogCommands::direction(input);
                break;
            }
        }
    }
    const GamepadMapping::Inputs &held = gamepad.heldButtons();
    if (!held[DefinedStep]) {
        for (int input = XPlus; input <= ZMinus; ++input) {
            if (held[size_t(input)]) {
                direction = JogCommands::direction(GamepadButton(input));
                break;
            }
        }
    }
    if (direction.isEmpty())
        return;
    int feed = ui->spinBoxFeedRate->value();
    if (held[Slow])
        feed = gamepad.GetSlowSpeed();
    else if (held[Medium])
        feed = gamepad.GetMediumSpeed();
    const JogCommands::Move move = JogCommands::continuous(direction, feed);
    Jog(direction, move.step, move.feed);
}

void MainWindow::on_pushButtonPlusX_clicked()
{
    JogButtonPressed(XPlus, false);
}

void MainWindow::on_pushButtonMinusX_clicked()
{
    JogButtonPressed(XMinus, false);
}

void MainWindow::on_pushButtonPlusY_clicked()
{
    JogButtonPressed(YPlus, false);
}

void MainWindow::on_pushButtonMinusY_clicked()
{
    JogButtonPressed(YMinus, false);
}

void MainWindow::on_pushButtonPlusZ_clicked()
{
    JogButtonPressed(ZPlus, false);
}

void MainWindow::on_pushButtonMinusZ_clicked()
{
    JogButtonPressed(ZMinus, false);
}

void MainWindow::on_verticalSliderFeedRate_valueChanged(int value)
{
    ui->spinBoxFeedRate->setValue(value * 10);
}

void MainWindow::on_spinBoxFeedRate_editingFinished()
{
    ui->verticalSliderFeedRate->setValue(ui->spinBoxFeedRate->value() / 10);
}

void MainWindow::SetSpindle(bool on)
{
    SendCommand(on ? QStringLiteral("M3") : QStringLiteral("M5"));
    spindleOn = on;
    ui->pushButtonSpindle->setText(on ? tr("Spindle Off") : tr("Spindle On"));
}

void MainWindow::on_pushButtonSpindle_clicked()
{
    if (ui->pushButtonSpindle->isEnabled())
        SetSpindle(!spindleOn);
}

void MainWindow::on_pushButtonCoolant_clicked()
{
    if (coolantOn) {
        SendCommand(QStringLiteral("M9"));
        ui->pushButtonCoolant->setText(tr("Coolant On"));
    } else {
        SendCommand(QStringLiteral("M7"));
        ui->pushButtonCoolant->setText(tr("Coolant Off"));
    }
    coolantOn = !coolantOn;
}
