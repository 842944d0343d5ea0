#include "MainWindow.h"
#include "ui_MainWindow.h"

#include "JogCommands.h"

#include "machine/ControllerCodes.h"

#include "dialogs/GrblParameter.h"
#include "dialogs/MessageDialog.h"
#include "link/SettingsStore.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTextBrowser>
#include <QtConcurrent>

#include <utility>

namespace {
constexpr int tickIntervalMs = 1000;
constexpr int jogIntervalMs = 200;
constexpr int jobViewIntervalMs = 200;
constexpr int surveyDelayMs = 700;  // typing goes on; the survey waits for a pause
constexpr int levelDelayMs = 300;   // levelling a long program takes a while: not every keystroke
constexpr int terminalColumns = 40; // a status report or an error text without wrapping
constexpr int commandFieldWidth = 200; // a typed line of G-code seen whole

const char *dockLocationsKey = "DOCK_LOCATIONS";
const char *hideStatusKey = "HideStatusMsg";
const QColor noticeColour(176, 96, 0); // the station's own words, apart from the traffic

constexpr char feedHoldByte = '!';
constexpr char cycleStartByte = '~';
constexpr char statusByte = '?';
constexpr char resetByte = 0x18;

} // namespace

// Resources of a static library are only linked in when something asks for them.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent), grblSettingsDialog(this), probingDialog(this), holeCutter(this),
      startFromLineDialog(this), positionsDialog(this), heightMapDialog(this), macrosDock(this),
      ui(new Ui::MainWindow)
{
    initResources();
    ui->setupUi(this);
    terminalPane.attach(ui->plainTextEditSerial);
    KeepCentreUsable();
    ui->ConnectionLED->setColor(Qt::red);
    ui->progressBar->setValue(0);
    ui->pushButtonResume->hide();
    ui->labelHeightMap->hide();
    ConnectJogButtons();
    ConnectJogKeys();
    ConnectOverrideButtons();
    ShowDialect();

    connect(&session, &MachineSession::lineReceived, this, &MainWindow::ParseReceivedLine);
    connect(&session, &MachineSession::lineSent, this, [this](const QString &line) {
        AppendTerminal(line, Qt::blue);
        if (line.startsWith(QLatin1String("$J="))) // busy before any report says so
            UpdateGating();
    });
    connect(&session, &MachineSession::notice, this,
            [this](const QString &text) { AppendTerminal(text, noticeColour); });
    connect(&session, &MachineSession::jobChanged, this, &MainWindow::JobChanged);
    jobViewTimer.setSingleShot(true);
    jobViewTimer.setInterval(jobViewIntervalMs);
    connect(&jobViewTimer, &QTimer::timeout, this, &MainWindow::ShowJob);
    surveyTimer.setSingleShot(true);
    surveyTimer.setInterval(surveyDelayMs);
    connect(&surveyTimer, &QTimer::timeout, this, &MainWindow::SurveyProgram);
    connect(&surveyWatcher, &QFutureWatcher<ProgramSurvey>::finished, this,
            &MainWindow::ShowSurvey);
    levelTimer.setSingleShot(true);
    levelTimer.setInterval(levelDelayMs);
    connect(&levelTimer, &QTimer::timeout, this, &MainWindow::LevelProgram);
    connect(&levelWatcher, &QFutureWatcher<std::shared_ptr<LevelledView>>::finished, this,
            &MainWindow::ShowLevelled);
    connect(&session, &MachineSession::probeFinished, &probingDialog,
            &ProbingDialog::ProbeFinished);
    connect(&session, &MachineSession::gridProbeProgress, &heightMapDialog,
            &HeightMapDialog::GridProbeProgress);
    connect(&session, &MachineSession::gridProbeFinished, &heightMapDialog,
            &HeightMapDialog::GridProbeFinished);
    connect(&tickTimer, &QTimer::timeout, this, &MainWindow::Tick1000ms);
    connect(&jogTimer, &QTimer::timeout, this, &MainWindow::JogTimerTick);
    connect(&gamepad, &WindowsGamepad::ButtonPressed, this, &MainWindow::GamePadButtonPressed);
    // After the poll that saw the release has taken it in: its slots still see the last one.
    connect(&gamepad, &WindowsGamepad::ButtonReleased, this,
            [this] { QTimer::singleShot(0, this, &MainWindow::UpdateContinuousJog); });
    connect(&session, &MachineSession::dialectChanged, this, &MainWindow::ShowDialect);
    connect(&session, &MachineSession::startNeedsChoice, this, &MainWindow::AskStartChoice);
    connect(&session, &MachineSession::workOffsetChanged, this, &MainWindow::ShowWorkOffset);
    connect(&session, &MachineSession::modesChanged, this, &MainWindow::ShowSpindleAndCoolant);
    connect(&session, &MachineSession::modalStateChanged, this,
            [this] { ui->labelModalState->setText(session.modalState()); });
    connect(&session, &MachineSession::coordinateSystemsChanged, this,
            &MainWindow::ShowCoordinateSystems);
    connect(&settingsDialog, &SettingsDialog::settingsChanged, this,
            &MainWindow::OnComSettingsChanged);
    connect(&session, &MachineSession::permissionDenied, this, &MainWindow::ShowPermissionProblem);
    for (const SafeStop *stop : {&safeStop, &gridStop})
        connect(stop, &SafeStop::notice, this,
                [this](const QString &text) { AppendTerminal(text, noticeColour); });
    // The port closes once the controller has answered the reset with its banner (or a second
    // has passed): closed at once, the reset could be lost on its way.
    connect(&safeStop, &SafeStop::finished, this, [this] {
        tickTimer.stop(); // no reconnecting: the window goes
        jogTimer.stop();
        const auto closeNow = [this] {
            session.disconnectLink();
            close();
        };
        connect(&session, &MachineSession::lineReceived, this, [closeNow](const QString &line) {
            if (line.startsWith(QLatin1String("Grbl ")))
                closeNow();
        });
        QTimer::singleShot(1000, this, closeNow);
    });
    connect(ui->plainTextEditGCode, &CodeEditor::dropRefused, this, &MainWindow::RefuseOpening);
    connect(ui->plainTextEditGCode, &CodeEditor::startFromLineRequested, this,
            &MainWindow::StartFromProgramLine);
    connect(&startFromLineDialog, &StartFromLineDialog::wayInChanged, this, &MainWindow::ShowWayIn);
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

    // The overrides, the special commands and the macros share a column as tabs: one above the
    // other they are taller than a laptop's screen leaves them. An operator's own layout comes
    // after.
    addDockWidget(Qt::RightDockWidgetArea, &macrosDock);
    tabifyDockWidget(ui->dockWidgetSpecialCommands, ui->dockWidgetOverrides);
    tabifyDockWidget(ui->dockWidgetSpecialCommands, &macrosDock);
    ui->dockWidgetSpecialCommands->raise();
    connect(&macrosDock, &MacrosDock::runRequested, this, &MainWindow::RunMacro);

    RestoreWindowState();
    ShowCoordinateSystems();
    tickTimer.start(tickIntervalMs);
    jogTimer.start(jogIntervalMs);
}

MainWindow::~MainWindow()
{
    SaveWindowState();
    delete ui;
}

// The session has read the line already; this is what the window makes of it.
void MainWindow::ParseReceivedLine(QString line)
{
    if (line.startsWith(QLatin1Char('<'))) {
        ParseStatusReport();
        if (ui->checkBoxHideStatusMessage->isChecked())
            return;
    } else if (line.startsWith(QLatin1Char('$'))) {
        if (line.size() > 1 && line.at(1) >= QLatin1Char('0') && line.at(1) <= QLatin1Char('9')) {
            grblSettingsDialog.ParseParameterLine(line);
            const std::optional<GrblParameter> setting = parseParameterLine(line);
            if (setting && machineLimits.set(setting->index, setting->value))
                surveyTimer.start(); // the estimate plans with the controller's own limits
        }
    }
    AppendTerminal(ControllerCodes::readable(line), Qt::red);
}

bool MainWindow::SendCommand(const QString &command)
{
    return !closing && session.SendCommand(command);
}

double MainWindow::workPosition(int axis) const
{
    return session.workPosition(axis);
}

int MainWindow::coordinateSystem() const
{
    return session.coordinateSystem();
}

QString MainWindow::StartProbe(const ProbeRequest &request)
{
    if (closing)
        return tr("the station is closing");
    return session.startProbe(request);
}

void MainWindow::ParseStatusReport()
{
    const StatusReport &report = session.lastReport();
    ui->labelGrblStatus->setText(report.state);
    probingDialog.SetMachineState(report.state);
    UpdateGating();
    ShowPosition(session.machinePosition(),
                 {ui->lcdNumberMachineX, ui->lcdNumberMachineY, ui->lcdNumberMachineZ});
    ShowPosition(session.workPositionReported(),
                 {ui->lcdNumberWorkX, ui->lcdNumberWorkY, ui->lcdNumberWorkZ});
    ShowMachineInfo(report);
    if (ui->checkBoxTool->isChecked() && ui->GLWidget->isVisible())
        RepaintToolMarker();
    ShowJobProgress();
}

void MainWindow::ShowPosition(const std::optional<StatusReport::Position> &position,
                              const std::array<QLCDNumber *, 3> &displays)
{
    if (!position)
        return;
    for (size_t axis = 0; axis < 3; ++axis)
        displays[axis]->display(position->text.at(int(axis)));
}

// What 1.1 reports beyond the positions: the live feed and spindle, the triggered inputs, the
// overrides, and whether spindle and coolant really run (the captions follow the machine).
void MainWindow::ShowMachineInfo(const StatusReport &report)
{
    QStringList info;
    if (report.feed)
        info << tr("Feed %1 mm/min").arg(*report.feed);
    if (report.spindle)
        info << tr("Spindle %1").arg(*report.spindle);
    if (report.pins)
        info << tr("Inputs: %1").arg(PinNames(*report.pins));
    if (!info.isEmpty())
        ui->labelFeedSpindle->setText(info.join(QStringLiteral(" \u00b7 ")));
    if (report.overrides)
        ui->labelOverrides->setText(tr("Feed %1 % \u00b7 Rapid %2 % \u00b7 Spindle %3 %")
                                        .arg(report.overrides->at(0))
                                        .arg(report.overrides->at(1))
                                        .arg(report.overrides->at(2)));
    // The firmware sends A (and leaves it out when all is off) only beside Ov.
    if (!report.barForm || !session.dialect().speaks11() || !report.overrides)
        return;
    const QString running = report.accessories.value_or(QString());
    spindleOn = running.contains(QLatin1Char('S')) || running.contains(QLatin1Char('C'));
    coolantOn = running.contains(QLatin1Char('F')) || running.contains(QLatin1Char('M'));
    ui->pushButtonSpindle->setText(spindleOn ? tr("Spindle Off") : tr("Spindle On"));
    ui->pushButtonCoolant->setText(coolantOn ? tr("Coolant Off") : tr("Coolant On"));
}

QString MainWindow::PinNames(const QString &letters)
{
    static const QMap<QChar, QString> names = {
        {'P', tr("probe")}, {'X', tr("limit X")}, {'Y', tr("limit Y")}, {'Z', tr("limit Z")},
        {'D', tr("door")},  {'H', tr("hold")},    {'R', tr("reset")},   {'S', tr("start")}};
    QStringList shown;
    for (const QChar letter : letters)
        shown << names.value(letter, QString(letter));
    return shown.join(QStringLiteral(", "));
}

void MainWindow::ShowDialect()
{
    const Dialect &dialect = session.dialect();
    ui->labelController->setText(dialect.describe());
    ui->dockWidgetContentsOverrides->setEnabled(dialect.speaks11());
    const bool appears = dialect.speaks11() && ui->dockWidgetOverrides->isHidden();
    ui->dockWidgetOverrides->setVisible(dialect.speaks11());
    if (appears)
        ui->dockWidgetOverrides->raise(); // in front of the tabs it shares
}

// Send, Spindle and Probing want a machine at rest; a program locks out everything that moves
// it, and without a link nothing can be sent at all.
void MainWindow::UpdateGating()
{
    const bool idle = session.isIdle() && !session.isMotionLocked();
    ui->pushButtonSpindle->setEnabled(idle);
    ui->pushButtonOpenProbeDialog->setEnabled(session.isIdle() && !session.isJogLocked());
    // In the controller's check mode nothing moves: the program is only read, errors told.
    const bool checking = session.isConnected() && session.state() == QLatin1String("Check") &&
                          !session.isMotionLocked();
    ui->pushButtonSendGCode->setEnabled(idle || checking);
    ui->pushButtonCoolant->setEnabled(session.isConnected());
}

// Only the marker: the path stays as it was drawn.
void MainWindow::RepaintToolMarker()
{
    ui->GLWidget->updateToolMarker();
}

void MainWindow::on_pushButtonSendGCode_clicked()
{
    if (keptMap.isEmpty() || LevelledReady())
        return StartJob();
    // What the operator sees levelled is what goes: the levelling under way is waited for.
    startWhenLevelled = true;
    if (!levelWatcher.isRunning())
        LevelProgram();
}

void MainWindow::StartJob()
{
    startWhenLevelled = false;
    if (closing)
        return;
    if (!keptMap.isEmpty() && !levelled->program.refusal.isEmpty()) {
        AppendTerminal(tr("Not started: %1").arg(levelled->program.refusal), noticeColour);
        return;
    }
    checkRun = session.state() == QLatin1String("Check");
    // A second Send during a job is refused, and the job's lines stay mapped as they were.
    const QVector<int> before = std::exchange(
        jobSourceLine, keptMap.isEmpty() ? QVector<int>() : levelled->program.sourceLine);
    if (!session.startJob(keptMap.isEmpty() ? programText() : levelled->program.text, checkRun))
        jobSourceLine = before;
}

// Offline the session sends nothing, quietly, as for a typed line; a button pressed says why.
void MainWindow::RunMacro(const Macro &macro)
{
    if (closing)
        return;
    if (!session.isConnected())
        return AppendTerminal(tr("Macro \"%1\" not run: not connected").arg(macro.name),
                              noticeColour);
    session.runMacro(macro);
}

// Only the program the operator saw levelled starts.
void MainWindow::CancelStartWhenLevelled(const QString &why)
{
    if (!startWhenLevelled)
        return;
    startWhenLevelled = false;
    AppendTerminal(tr("Not started: %1").arg(why), noticeColour);
}

bool MainWindow::LevelledReady() const
{
    return levelled && !levelTimer.isActive() && !levelWatcher.isRunning() && !levelAgain;
}

void MainWindow::LevelProgram()
{
    levelTimer.stop();
    if (levelWatcher.isRunning()) {
        levelAgain = true;
        return;
    }
    levelAgain = false;
    ui->GLWidget->setToolPath(&toolPath); // before the levelled path it drew goes
    ui->GLWidget->updateGL();
    levelled.reset();
    ui->actionSave_Levelled_Program->setEnabled(false);
    if (keptMap.isEmpty()) {
        surveyTimer.start();
        return;
    }
    levelWatcher.setFuture(
        QtConcurrent::run(LevelledView::make, programText(), keptMap, pathReader.startState()));
}

// The preview and the estimate follow the levelled program; a refusal or a warning is told once.
void MainWindow::ShowLevelled()
{
    if (levelAgain || keptMap.isEmpty())
        return LevelProgram(); // this result is of a text or map no longer there
    levelled = levelWatcher.result();
    const LevelledProgram &program = levelled->program;
    QStringList notes = program.warnings;
    if (!program.refusal.isEmpty())
        notes.prepend(tr("The height map cannot be applied: %1").arg(program.refusal));
    for (const QString &note : notes) {
        if (!levelNotesShown.contains(note))
            AppendTerminal(note, noticeColour);
    }
    levelNotesShown = notes;
    ui->actionSave_Levelled_Program->setEnabled(program.refusal.isEmpty());
    ui->GLWidget->setToolPath(program.refusal.isEmpty() ? &levelled->path : &toolPath);
    ui->GLWidget->updateGL();
    surveyTimer.start();
    if (startWhenLevelled)
        StartJob();
}

void MainWindow::on_actionSave_Levelled_Program_triggered()
{
    if (!LevelledReady() || !levelled->program.refusal.isEmpty())
        return;
    const std::shared_ptr<LevelledView> saved = levelled;
    const QString path = QFileDialog::getSaveFileName(this, tr("Save levelled program"),
                                                      recentFiles.folder(), tr("GCode (*.nc)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    const QByteArray bytes = saved->program.text.toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        AppendTerminal(tr("Levelled program not saved to %1: %2")
                           .arg(QDir::toNativeSeparators(path), file.errorString()),
                       noticeColour);
        return;
    }
    file.close();
    AppendTerminal(tr("Levelled program saved to %1").arg(QDir::toNativeSeparators(path)),
                   noticeColour);
}

// The job's lines are the levelled program's; the operator's marks are in their own lines.
int MainWindow::OperatorLine(int line) const
{
    return LevelledProgram::operatorLine(line, jobSourceLine);
}

QString MainWindow::InOperatorLines(const QString &text) const
{
    return LevelledProgram::inOperatorLines(text, jobSourceLine);
}

int MainWindow::FirstPointOfLine(int block) const
{
    if (!jobSourceLine.isEmpty() && levelled && levelled->program.refusal.isEmpty())
        return levelled->reader.firstPointOfBlock(block);
    return pathReader.firstPointOfLine(block);
}

void MainWindow::on_pushButtonResume_clicked()
{
    StartFromProgramLine(resumeLine);
}

// The way in is shown before anything moves, and only the operator's yes starts it.
void MainWindow::StartFromProgramLine(int line)
{
    if (!keptMap.isEmpty()) {
        AppendTerminal(tr("Not started from line %1: start from a line is not available while a "
                          "height map is applied")
                           .arg(line),
                       noticeColour);
        return;
    }
    const StartFromLine::Settings settings = StartFromLineDialog::storedSettings();
    const StartFromLine start = StartFromLine::plan(programText(), line, settings);
    const QString refusal = StartRefusal(start);
    if (!refusal.isEmpty()) {
        AppendTerminal(tr("Not started from line %1: %2").arg(line).arg(refusal), noticeColour);
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, tr("Start from line %1").arg(start.line),
                                tr("Before line %1 the machine gets:\n\n%2")
                                    .arg(start.line)
                                    .arg(start.wayIn.join(QLatin1Char('\n'))),
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("startFromLineBox"));
    box->button(QMessageBox::Ok)->setText(tr("Start"));
    box->setDefaultButton(QMessageBox::Cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    ShowWayIn(start);
    connect(box, &QMessageBox::finished, this, [this] { ShowWayIn({}); });
    connect(box, &QMessageBox::buttonClicked, this,
            [this, box, line, settings, shown = start.wayIn](QAbstractButton *button) {
                if (box->standardButton(button) != QMessageBox::Ok)
                    return;
                const StartFromLine now = StartFromLine::plan(programText(), line, settings);
                const QString refusal =
                    now.wayIn == shown ? StartProgramAt(now)
                                       : tr("the program has changed: look at the way in again");
                if (!refusal.isEmpty())
                    AppendTerminal(tr("Not started from line %1: %2").arg(line).arg(refusal),
                                   noticeColour);
            });
    box->open();
}

// The part of the path a start leaves out turns grey, and the way in is drawn over it, from
// where the machine stands.
void MainWindow::ShowWayIn(const StartFromLine &start)
{
    const bool shown = start.refusal.isEmpty() && start.line > 0 && keptMap.isEmpty();
    if (!session.currentJob().isActive())
        ui->GLWidget->setDonePoints(shown ? pathReader.firstPointOfLine(start.line - 1) : 0);
    QVector<QVector3D> points;
    if (shown) {
        QVector3D at(float(workX->value()), float(workY->value()), float(workZ->value()));
        const auto moveTo = [&](int axis, double value) {
            at[axis] = float(value);
            points << at;
        };
        points << at;
        moveTo(2, start.safeZ);
        for (int axis = 0; axis < 2; ++axis) {
            if (start.axisSet[axis])
                moveTo(axis, start.position[axis]);
        }
        if (start.axisSet[2] && start.position[2] < start.safeZ)
            moveTo(2, start.position[2]);
    }
    ui->GLWidget->setWayIn(points);
}

QString MainWindow::StartRefusal(const StartFromLine &start) const
{
    if (!start.refusal.isEmpty())
        return start.refusal;
    if (session.state() == QLatin1String("Alarm"))
        return tr("the controller is in alarm: home it ($H) or unlock it ($X), and check the "
                  "work zero");
    if (closing || !session.isIdle() || session.isMotionLocked())
        return tr("the machine is not idle");
    return {};
}

QString MainWindow::programText() const
{
    return ui->plainTextEditGCode->document()->toPlainText();
}

QString MainWindow::StartProgramAt(const StartFromLine &start)
{
    if (const QString refusal = StartRefusal(start); !refusal.isEmpty())
        return refusal;
    if (!keptMap.isEmpty())
        return tr("start from a line is not available while a height map is applied");
    checkRun = false;
    const QVector<int> before = std::exchange(jobSourceLine, {});
    if (session.startJob(programText(), false, &start))
        return {};
    jobSourceLine = before;
    return tr("nothing to send");
}

void MainWindow::on_actionStart_From_Line_triggered()
{
    startFromLineDialog.showAt(ui->plainTextEditGCode->textCursor().blockNumber() + 1);
}

void MainWindow::on_actionHeight_Map_triggered()
{
    heightMapDialog.show();
    heightMapDialog.raise();
}

// Where the tool cuts: the ends of the feed moves and arcs, as the preview has read them.
std::optional<QRectF> MainWindow::programExtent() const
{
    std::optional<QRectF> extent;
    for (int n = 1; n < toolPath.size(); ++n) {
        if (toolPath[n].moveType < 0.5f)
            continue;
        for (const PathPoint &end : {toolPath[n - 1], toolPath[n]}) {
            if (!extent)
                extent = QRectF(end.x, end.y, 0, 0);
            extent->setLeft(std::min(extent->left(), qreal(end.x)));
            extent->setRight(std::max(extent->right(), qreal(end.x)));
            extent->setTop(std::min(extent->top(), qreal(end.y)));
            extent->setBottom(std::max(extent->bottom(), qreal(end.y)));
        }
    }
    return extent;
}

QString MainWindow::StartGridProbe(const GridProbeRequest &request)
{
    if (closing)
        return tr("the station is closing");
    return session.startGridProbe(request);
}

// The move under way is held and thrown away once the machine stands: resumed, it would go on
// probing for nobody.
void MainWindow::StopGridProbe()
{
    if (!session.gridProbe().isActive() || closing)
        return;
    session.stopGridProbe();
    gridStop.start();
}

void MainWindow::setHeightMap(const HeightMap &map)
{
    CancelStartWhenLevelled(tr("the height map changed while the program was levelled"));
    keptMap = map;
    LevelProgram();
    ui->GLWidget->setHeightMap(map);
    ui->labelHeightMap->setText(map.isEmpty() ? QString() : tr("map %1").arg(map.rangeText()));
    ui->labelHeightMap->setVisible(!map.isEmpty());
}

void MainWindow::showProbeGrid(const QVector<QPointF> &points)
{
    ui->GLWidget->setProbeGrid(points);
}

// A job's line count changes thousands of times a second, its percent a hundred times a run and
// its state a few times; redrawing the text for every line would cost more than sending it.
void MainWindow::JobChanged()
{
    const Job &job = session.currentJob();
    ui->progressBar->setValue(job.percent());
    if (job.state() != shownJobState || job.hold() != shownJobHold)
        ShowJob();
    else if (!jobViewTimer.isActive())
        jobViewTimer.start();
}

// Before a job, what it will take; during one, where it is and what is left; after it, how it
// went beside what was estimated.
void MainWindow::ShowJob()
{
    const Job &job = session.currentJob();
    jobViewTimer.stop();
    shownJobState = job.state();
    shownJobHold = job.hold();
    ui->progressBar->setValue(job.percent());
    const QString estimate = survey.describe();
    QString text = InOperatorLines(job.describe(session.jobElapsedMs()));
    if (job.state() == Job::State::Idle)
        text = estimate;
    else if (job.state() == Job::State::Running || job.hold() == Job::Hold::Operator)
        text += QStringLiteral(", %1 remaining")
                    .arg(Job::duration(
                        qint64(survey.estimate.remainingAfter(job.finishedLine() - 1) * 1000)));
    else if (job.state() == Job::State::Finished && !estimate.isEmpty())
        text += QStringLiteral(" (%1)").arg(estimate);
    ui->labelJob->setText(text);
    // A job cut short offers the earliest line that may not have been cut, never a later one.
    resumeLine = job.isOver() && job.state() != Job::State::Finished && !checkRun
                     ? OperatorLine(job.runningLine())
                     : 0;
    ui->pushButtonResume->setText(tr("Resume from line %1").arg(resumeLine));
    ui->pushButtonResume->setVisible(resumeLine > 0);
    ui->plainTextEditGCode->setReadOnly(job.isActive());
    ShowJobProgress();
    UpdateGating();
}

// The line the controller has taken last, and the path up to its end drawn as done.
void MainWindow::ShowJobProgress()
{
    const Job &job = session.currentJob();
    const int line = job.isActive() ? OperatorLine(job.runningLine()) : 0;
    ui->plainTextEditGCode->setRunningLine(line);
    if (job.state() == Job::State::Idle)
        return;
    ui->GLWidget->setDonePoints(FirstPointOfLine(job.finishedLine()));
}

void MainWindow::SurveyProgram()
{
    if (surveyWatcher.isRunning()) {
        surveyTimer.start(); // the text has changed again meanwhile
        return;
    }
    if (!keptMap.isEmpty() && !LevelledReady())
        return; // the levelled program comes, and is surveyed then
    const bool applied = !keptMap.isEmpty() && levelled->program.refusal.isEmpty();
    surveyedSourceLine = applied ? levelled->program.sourceLine : QVector<int>();
    surveyWatcher.setFuture(QtConcurrent::run(surveyProgram,
                                              applied ? levelled->program.text : programText(),
                                              machineLimits, pathReader.startState()));
}

void MainWindow::ShowSurvey()
{
    survey = surveyWatcher.result();
    QVector<int> stops = survey.toolChanges + survey.pauses;
    if (!surveyedSourceLine.isEmpty()) {
        for (int &stop : stops)
            stop = surveyedSourceLine.value(stop - 1, stop);
    }
    std::sort(stops.begin(), stops.end());
    ui->plainTextEditGCode->setStopLines(stops);
    ShowJob();
}

void MainWindow::on_pushButtonOpenFile_clicked()
{
    const QString fileName =
        QFileDialog::getOpenFileName(this, tr("Open"), recentFiles.folder(), tr("GCode (*.nc)"));
    if (!fileName.isEmpty())
        OpenFile(fileName);
}

// The editor holds the running program: the job's line marks and the preview point into it.
void MainWindow::OpenFile(const QString &path)
{
    if (session.currentJob().isActive())
        return RefuseOpening(path);
    if (openedFile.isRunning())
        return;
    fileBeingRead = path;
    openedFile.setFuture(QtConcurrent::run(ProgramFile::read, path));
}

void MainWindow::on_actionOpen_File_triggered()
{
    on_pushButtonOpenFile_clicked();
}

// Filled as the menu opens, so that a program deleted meanwhile is not offered.
void MainWindow::on_menuFile_aboutToShow()
{
    QMenu *menu = ui->menuRecentFiles;
    menu->clear();
    const QStringList files = recentFiles.files();
    for (const QString &path : files) {
        connect(menu->addAction(QDir::toNativeSeparators(path)), &QAction::triggered, this,
                [this, path] { OpenFile(path); });
    }
    menu->setEnabled(!files.isEmpty());
}

// The file is read off the GUI thread (a program may be tens of megabytes on a slow disk);
// an unreadable or oversized one leaves the editor as it was.
void MainWindow::ShowOpenedFile()
{
    const ProgramFile::Reading reading = openedFile.result();
    if (reading.outcome != ProgramFile::Outcome::Read)
        return;
    if (session.currentJob().isActive())
        return RefuseOpening(fileBeingRead); // started while it was being read
    ui->plainTextEditGCode->setPlainText(reading.text);
    recentFiles.add(fileBeingRead);
}

// A line that was not sent stays in the field: nothing the operator typed is lost unseen.
void MainWindow::on_lineEditCommand_returnPressed()
{
    const QString text = ui->lineEditCommand->text();
    if (!text.isEmpty() && SendCommand(text))
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
    session.sendRealtime(cycleStartByte);
}

void MainWindow::on_pushButtonFeedHoldCmd_clicked()
{
    session.sendRealtime(feedHoldByte);
}

void MainWindow::on_pushButtonStatusCmd_clicked()
{
    session.sendRealtime(statusByte);
}

void MainWindow::on_pushButtonResetGRBLCmd_clicked()
{
    session.sendRealtime(resetByte);
}

void MainWindow::on_pushButtonZeroAll_clicked()
{
    ZeroAxes(7);
}

void MainWindow::on_pushButtonZeroX_clicked()
{
    ZeroAxes(1);
}

void MainWindow::on_pushButtonZeroY_clicked()
{
    ZeroAxes(2);
}

void MainWindow::on_pushButtonZeroZ_clicked()
{
    ZeroAxes(4);
}

void MainWindow::ZeroAxes(int axes)
{
    if (closing)
        return;
    const QString refusal = session.zeroWork(axes, settingsDialog.settings().zeroInActiveSystem);
    if (!refusal.isEmpty())
        AppendTerminal(tr("Not zeroed: %1").arg(refusal), noticeColour);
}

// The box shows what the controller reports, not what was picked: it follows once the
// controller has taken the line.
void MainWindow::on_comboBoxCoordinateSystem_activated(int index)
{
    SendCommand(QStringLiteral("G%1").arg(54 + index));
    ShowCoordinateSystems();
}

void MainWindow::ShowCoordinateSystems()
{
    const int active = session.coordinateSystem();
    const WorkOffsets &offsets = session.workOffsets();
    QComboBox *box = ui->comboBoxCoordinateSystem;
    box->setCurrentIndex(active - 54);
    for (int i = 0; i < box->count(); ++i)
        box->setItemData(
            i,
            tr("G%1 origin: %2").arg(54 + i).arg(WorkOffsets::describe(offsets.systems[size_t(i)])),
            Qt::ToolTipRole);
    box->setToolTip(tr("Work coordinate system in use\nG%1 origin: %2\nG92 offset: %3")
                        .arg(active)
                        .arg(WorkOffsets::describe(offsets.systems[size_t(active - 54)]),
                             WorkOffsets::describe(offsets.g92)));
    const bool intoSystem = settingsDialog.settings().zeroInActiveSystem;
    const std::pair<QPushButton *, const char *> buttons[] = {{ui->pushButtonZeroAll, "X, Y, Z"},
                                                              {ui->pushButtonZeroX, "X"},
                                                              {ui->pushButtonZeroY, "Y"},
                                                              {ui->pushButtonZeroZ, "Z"}};
    for (const auto &[button, axes] : buttons)
        button->setToolTip(
            intoSystem ? tr("Zero %1 in G%2").arg(QLatin1String(axes)).arg(active)
                       : tr("Zero %1 with G92 (a reset clears it)").arg(QLatin1String(axes)));
}

void MainWindow::AppendTerminal(const QString &text, const QColor &color)
{
    terminalPane.append(text, color);
}

void MainWindow::Tick1000ms()
{
    ui->pushButtonConnection->setText(settingsDialog.settings().name);
    if (session.isConnected()) {
        QCoreApplication::processEvents();
        ui->ConnectionLED->setColor(Qt::green);
        if (settingsDialog.settings().askStatus)
            session.pollStatus();
    } else {
        ui->ConnectionLED->setColor(Qt::red);
        session.reconnect(settingsDialog.settings());
        ui->labelGrblStatus->setText(QStringLiteral("offline"));
    }
    UpdateGating();
    if (session.currentJob().isActive())
        ShowJob(); // the elapsed time
}

// Without the group the port never opens, and every retry would fail the same way. The box
// does not block: the supervision tick keeps retrying, and another port can be chosen meanwhile.
void MainWindow::ShowPermissionProblem(const QString &device)
{
    if (permissionProblemsShown.contains(device))
        return;
    permissionProblemsShown.insert(device);
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("No access to the serial port"),
        tr("The serial port %1 cannot be opened: permission denied.\n\n"
           "On Linux, serial ports belong to the group \"dialout\". Add your user to it with\n\n"
           "    sudo usermod -aG dialout $USER\n\n"
           "then log out and in again: a new group counts from the next login on.")
            .arg(device),
        QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
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

// A program started "as it is" was read in the controller's modes; another program, or this
// one edited, is read in the usual ones, as the question before a start says.
void MainWindow::EditorTextChanged()
{
    CancelStartWhenLevelled(tr("the program changed while it was levelled"));
    ReadProgramIn(MachineState());
    ui->GLWidget->setDonePoints(0);
}

// The preview and the estimate read the program beginning in `modes`.
void MainWindow::ReadProgramIn(const MachineState &modes)
{
    pathReader.setStartState(modes);
    ParseGCodeToPath();
    ui->GLWidget->updateGL();
    surveyTimer.start();
    if (!keptMap.isEmpty())
        levelTimer.start();
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

void MainWindow::on_actionMacros_triggered()
{
    macrosDock.show();
    macrosDock.raise();
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
    QSettings store(SettingsStore::organisation(), SettingsStore::application());
    settingsDialog.setSettings(SettingsStore::readPortSettings(store, settingsDialog.settings()));
}

void MainWindow::OnComSettingsChanged()
{
    {
        QSettings store(SettingsStore::organisation(), SettingsStore::application());
        SettingsStore::writePortSettings(store, settingsDialog.settings());
    }
    session.disconnectLink();
    UpdateGating();
    ShowCoordinateSystems();
}

// The settings dialog holds the record the link connects with; only applying it there stores it.
void MainWindow::UsePortForThisRun(const QString &port, qint32 baudRate)
{
    if (port.isEmpty() && baudRate <= 0)
        return;
    Settings settings = settingsDialog.settings();
    if (!port.isEmpty())
        settings.name = port;
    if (baudRate > 0)
        settings.baudRate = baudRate;
    settingsDialog.setSettings(settings);
    session.disconnectLink();
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

// Relative moves; on 0.9 the controller stays in G91 until something switches it back.
void MainWindow::Jog(const QString &direction, const QString &step, const QString &feed)
{
    session.jogStep(direction, step, feed.toInt());
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
    if (!closing)
        JogButtonPressed(button, true);
}

// On screen only in continuous mode; the gamepad whatever the mode, unless it steps, and
// before the screen.
QString MainWindow::HeldJogDirection(const GamepadMapping::Inputs &held) const
{
    if (!held[DefinedStep]) {
        for (int input = XPlus; input <= ZMinus; ++input) {
            if (held[size_t(input)])
                return JogCommands::direction(GamepadButton(input));
        }
    }
    if (!ui->radioButtonContinious->isChecked())
        return {};
    const QPair<QPushButton *, GamepadButton> jogButtons[] = {
        {ui->pushButtonPlusX, XPlus}, {ui->pushButtonMinusX, XMinus},
        {ui->pushButtonPlusY, YPlus}, {ui->pushButtonMinusY, YMinus},
        {ui->pushButtonPlusZ, ZPlus}, {ui->pushButtonMinusZ, ZMinus}};
    for (const auto &[jogButton, input] : jogButtons) {
        if (jogButton->isDown())
            return JogCommands::direction(input);
    }
    if (const auto key = keyboardJog.held())
        return JogCommands::direction(*key);
    return {};
}

void MainWindow::JogTimerTick()
{
    const GamepadMapping::Inputs held = gamepad.heldButtons();
    const QString direction = HeldJogDirection(held);
    if (closing)
        return;
    if (direction.isEmpty()) {
        jogRefusalShown = false;
        session.holdJog({}, 0);
        return;
    }
    if (session.isJogLocked()) {
        if (!jogRefusalShown)
            AppendTerminal(tr("Not sent while %1: jog %2").arg(session.lockReason(), direction),
                           noticeColour);
        jogRefusalShown = true;
        return;
    }
    int feed = ui->spinBoxFeedRate->value();
    if (held[Slow])
        feed = gamepad.GetSlowSpeed();
    else if (held[Medium])
        feed = gamepad.GetMediumSpeed();
    session.holdJog(direction, JogCommands::stepFeed(direction, feed));
}

// A press or a release is not left to the next tick: the machine stops as soon as it can.
void MainWindow::UpdateContinuousJog()
{
    JogTimerTick();
}

void MainWindow::ConnectJogButtons()
{
    for (QPushButton *button : {ui->pushButtonPlusX, ui->pushButtonMinusX, ui->pushButtonPlusY,
                                ui->pushButtonMinusY, ui->pushButtonPlusZ, ui->pushButtonMinusZ}) {
        connect(button, &QPushButton::pressed, this, &MainWindow::UpdateContinuousJog);
        connect(button, &QPushButton::released, this, &MainWindow::UpdateContinuousJog);
    }
}

// The docks take what they like first; the terminal and the command field are what the
// operator reads and types in, so they keep a width a reply and a line fit in.
void MainWindow::KeepCentreUsable()
{
    QPlainTextEdit *terminal = ui->plainTextEditSerial;
    const int scrollBar = terminal->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    terminal->setMinimumWidth(terminalColumns * terminal->fontMetrics().averageCharWidth() +
                              scrollBar + 2 * terminal->frameWidth() +
                              int(terminal->document()->documentMargin()) * 2);
    ui->lineEditCommand->setMinimumWidth(commandFieldWidth);
}

// A key steps as a click on its button does, or holds as the held button; its release stops.
void MainWindow::ConnectJogKeys()
{
    keyboardJog.addSurface(ui->dockWidgetJogging);
    keyboardJog.addSurface(ui->GLWidget);
    connect(&keyboardJog, &KeyboardJog::pressed, this, [this](GamepadButton button) {
        if (closing)
            return;
        JogButtonPressed(button, false);
        UpdateContinuousJog();
    });
    connect(&keyboardJog, &KeyboardJog::released, this, &MainWindow::UpdateContinuousJog);
}

// Each button sends its override's single realtime byte; 0.9 has none, and the dock is hidden.
void MainWindow::ConnectOverrideButtons()
{
    const QPair<QPushButton *, quint8> overrides[] = {
        {ui->pushButtonFeed100, 0x90},        {ui->pushButtonFeedPlus10, 0x91},
        {ui->pushButtonFeedMinus10, 0x92},    {ui->pushButtonFeedPlus1, 0x93},
        {ui->pushButtonFeedMinus1, 0x94},     {ui->pushButtonRapid100, 0x95},
        {ui->pushButtonRapid50, 0x96},        {ui->pushButtonRapid25, 0x97},
        {ui->pushButtonSpindle100, 0x99},     {ui->pushButtonSpindlePlus10, 0x9A},
        {ui->pushButtonSpindleMinus10, 0x9B}, {ui->pushButtonSpindlePlus1, 0x9C},
        {ui->pushButtonSpindleMinus1, 0x9D}};
    for (const auto &[button, byte] : overrides) {
        // As wide as the text needs, not the style's usual button width: thirteen of them
        // would squeeze the terminal and the command field on a laptop's screen.
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 16);
        const char realtime = char(byte);
        connect(button, &QPushButton::clicked, this,
                [this, realtime] { session.sendRealtime(realtime); });
    }
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

// The caption tells what the controller accepted last: it changes with the answer, not the
// click (see ShowSpindleAndCoolant).
void MainWindow::SetSpindle(bool on)
{
    SendCommand(on ? QStringLiteral("M3") : QStringLiteral("M5"));
}

// From the lines the controller accepted (a program's M3 and M5 among them) and its "$G".
void MainWindow::ShowSpindleAndCoolant()
{
    const ModalState &modes = session.controllerModes();
    spindleOn = modes.spindle != 5;
    coolantOn = modes.flood || modes.mist;
    ui->pushButtonSpindle->setText(spindleOn ? tr("Spindle Off") : tr("Spindle On"));
    ui->pushButtonCoolant->setText(coolantOn ? tr("Coolant Off") : tr("Coolant On"));
}

// The program and its preview were read in the usual modes; the operator decides whether the
// controller is put into them, or the program runs in the controller's own (and is drawn so).
void MainWindow::AskStartChoice(const QStringList &differences)
{
    const ModalState usual;
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("The controller is not in the program's modes"),
        tr("The controller is in %1.\n\nThe program and its preview were read in %2.")
            .arg(differences.join(QStringLiteral(";\n")), usual.startWords()),
        QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("startChoiceBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton *setUsual =
        box->addButton(tr("Set %1 and start").arg(usual.startWords()), QMessageBox::AcceptRole);
    QPushButton *asItIs = box->addButton(tr("Start as it is"), QMessageBox::YesRole);
    box->addButton(QMessageBox::Cancel);
    connect(box, &QMessageBox::finished, this, [this, box, setUsual, asItIs] {
        const QAbstractButton *chosen = box->clickedButton();
        if (chosen == asItIs) {
            ReadProgramIn(session.controllerModes().reading());
            session.chooseStart(MachineSession::StartChoice::AsItIs);
        } else if (chosen == setUsual) {
            ReadProgramIn(MachineState());
            session.chooseStart(MachineSession::StartChoice::UsualState);
        } else {
            session.chooseStart(MachineSession::StartChoice::Cancel);
        }
    });
    box->open();
}

// A reset clears a G92 offset without a word; the work positions shown are then the
// controller's own coordinates, not those the operator zeroed.
void MainWindow::ShowWorkOffset()
{
    const QString axes = session.lostOffsetAxes();
    ui->labelWorkOffset->setText(
        tr("The G92 offset on %1 was cleared by a reset: these are not the coordinates you "
           "zeroed. Zero again.")
            .arg(axes));
    ui->labelWorkOffset->setVisible(!axes.isEmpty());
    for (QLCDNumber *display : {ui->lcdNumberWorkX, ui->lcdNumberWorkY, ui->lcdNumberWorkZ})
        display->setToolTip(axes.isEmpty() ? QString() : ui->labelWorkOffset->text());
}

void MainWindow::on_pushButtonSpindle_clicked()
{
    if (ui->pushButtonSpindle->isEnabled())
        SetSpindle(!spindleOn);
}

// Flood: both firmwares' usual builds leave mist (M7) out and refuse it. The caption follows
// the controller's answer (see ShowSpindleAndCoolant).
void MainWindow::on_pushButtonCoolant_clicked()
{
    SendCommand(coolantOn ? QStringLiteral("M9") : QStringLiteral("M8"));
}

// Plain words for the question before closing; empty when nothing moves the machine.
QString MainWindow::RunningOnTheMachine() const
{
    if (session.currentJob().isActive())
        return tr("A program is running on the machine");
    if (session.probeCycle().isActive())
        return tr("A probe is running on the machine");
    if (session.gridProbe().isActive())
        return tr("A height map is being probed on the machine");
    if (!HeldJogDirection(gamepad.heldButtons()).isEmpty())
        return tr("The machine is jogging");
    return {};
}

// Closing would leave the machine running a program nobody watches any more: it is held and
// reset once it stands (keeping its position), and the window closes after that.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (safeStop.isRunning() || closeQuestion) {
        event->ignore(); // already asked, or stopping
        return;
    }
    const QString running = RunningOnTheMachine();
    if (closing || running.isEmpty()) {
        QMainWindow::closeEvent(event);
        return;
    }
    event->ignore();
    closeQuestion = new QMessageBox(QMessageBox::Question, tr("Close"),
                                    tr("%1. Stop it and close?").arg(running),
                                    QMessageBox::Yes | QMessageBox::No, this);
    closeQuestion->setDefaultButton(QMessageBox::No);
    closeQuestion->setAttribute(Qt::WA_DeleteOnClose);
    connect(closeQuestion, &QMessageBox::buttonClicked, this, [this](QAbstractButton *button) {
        if (closeQuestion->standardButton(button) == QMessageBox::Yes)
            QTimer::singleShot(0, this, &MainWindow::StopAndClose); // once the box has gone
    });
    closeQuestion->open();
}

void MainWindow::StopAndClose()
{
    if (closing)
        return;
    closing = true;
    closeQuestion.clear();
    setEnabled(false); // nothing the operator does reaches the machine until it closes
    if (RunningOnTheMachine().isEmpty()) {
        close(); // it ended while the question was open
        return;
    }
    AppendTerminal(tr("Stopping: feed hold, then a reset once the machine stands"), noticeColour);
    safeStop.start();
}

void MainWindow::RefuseOpening(const QString &path)
{
    AppendTerminal(tr("Not opened while a program runs: %1").arg(QDir::toNativeSeparators(path)),
                   noticeColour);
}
