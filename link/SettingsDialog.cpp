#include "SettingsDialog.h"

#include "TerminalCommunication.h"
#include "ui_SettingsDialog.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {
constexpr int customBaudIndex = 4;
constexpr int maxCustomBaudRate = 4000000;

QString orNotAvailable(const QString &text)
{
    return text.isEmpty() ? SettingsDialog::tr("N/A") : text;
}

QString hexIdOrNotAvailable(quint16 id)
{
    return id == 0 ? SettingsDialog::tr("N/A") : QString::number(id, 16);
}

bool isCharacterDevice(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
#else
    Q_UNUSED(path)
    return false;
#endif
}

const QSerialPortInfo *portAt(const QList<QSerialPortInfo> &ports, const QString &device)
{
    for (const QSerialPortInfo &info : ports) {
        if (QFileInfo(info.systemLocation()).canonicalFilePath() == device)
            return &info;
    }
    return nullptr;
}

int indexForValue(int value, std::initializer_list<std::pair<int, int>> valueToIndex, int other)
{
    for (const auto &[v, index] : valueToIndex) {
        if (v == value)
            return index;
    }
    return other;
}
} // namespace

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent), ui(new Ui::SettingsDialog), intValidator(new QIntValidator(this))
{
    ui->setupUi(this);
    intValidator->setRange(0, maxCustomBaudRate);
    ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);

    connect(ui->applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(ui->serialPortInfoListBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::showPortInfo);
    connect(ui->baudRateBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomBaudRatePolicy);
    connect(ui->serialPortInfoListBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomDevicePathPolicy);
    connect(ui->pushButtonSearchPort, &QPushButton::clicked, this, &SettingsDialog::fillPortsInfo);

    fillParameterBoxes();
    fillPortsInfo();
}

SettingsDialog::~SettingsDialog()
{
    delete ui;
}

Settings SettingsDialog::settings() const
{
    return currentSettings;
}

QStringList SettingsDialog::portEntryData(const QString &name, const QString &description,
                                          const QString &manufacturer, const QString &serialNumber,
                                          const QString &location, quint16 vendorId,
                                          quint16 productId)
{
    return {name,
            orNotAvailable(description),
            orNotAvailable(manufacturer),
            orNotAvailable(serialNumber),
            location,
            hexIdOrNotAvailable(vendorId),
            hexIdOrNotAvailable(productId)};
}

void SettingsDialog::showPortInfo(int index)
{
    if (index == -1)
        return;
    const QStringList list = ui->serialPortInfoListBox->itemData(index).toStringList();
    const auto field = [&list](int i) { return i < list.size() ? list.at(i) : tr("N/A"); };
    ui->descriptionLabel->setText(tr("Description: %1").arg(field(1)));
    ui->manufacturerLabel->setText(tr("Manufacturer: %1").arg(field(2)));
    ui->serialNumberLabel->setText(tr("Serial number: %1").arg(field(3)));
    ui->locationLabel->setText(tr("Location: %1").arg(field(4)));
    ui->vidLabel->setText(tr("Vendor Identifier: %1").arg(field(5)));
    ui->pidLabel->setText(tr("Product Identifier: %1").arg(field(6)));
}

void SettingsDialog::apply()
{
    readSettingsFromWidgets();
    emit settingsChanged();
    hide();
}

void SettingsDialog::checkCustomBaudRatePolicy(int index)
{
    const bool isCustomBaudRate = !ui->baudRateBox->itemData(index).isValid();
    ui->baudRateBox->setEditable(isCustomBaudRate);
    if (isCustomBaudRate) {
        ui->baudRateBox->clearEditText();
        ui->baudRateBox->lineEdit()->setValidator(intValidator);
    }
}

void SettingsDialog::checkCustomDevicePathPolicy(int index)
{
    QComboBox *box = ui->serialPortInfoListBox;
    const bool isCustomPath = !box->itemData(index).isValid();
    box->setEditable(isCustomPath);
    // A path the operator typed and confirmed with Return becomes an entry of its own; it must
    // stay in the field, only the "Custom" caption itself makes way for typing.
    if (isCustomPath && box->itemText(index) == tr("Custom"))
        box->clearEditText();
}

void SettingsDialog::fillPortsInfo()
{
    QComboBox *box = ui->serialPortInfoListBox;
    box->clear();
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        box->addItem(info.portName(),
                     portEntryData(info.portName(), info.description(), info.manufacturer(),
                                   info.serialNumber(), info.systemLocation(),
                                   info.vendorIdentifier(), info.productIdentifier()));
    }
    addStableNames(ports);
    box->addItem(tr("Custom"));
}

// A name such as ttyUSB0 goes to whichever adapter was plugged in first; the system's stable
// name is made of the adapter's maker and serial number and stays with it. It is offered with
// the description of the enumerated port it leads to, or else with just that device.
void SettingsDialog::addStableNames(const QList<QSerialPortInfo> &ports)
{
    const QFileInfoList links =
        QDir(stableNamesFolder).entryInfoList(QDir::Files | QDir::System, QDir::Name);
    for (const QFileInfo &link : links) {
        const QString device = link.canonicalFilePath();
        if (!link.isSymLink() || device.isEmpty() || !isCharacterDevice(device))
            continue;
        const QString name = link.absoluteFilePath();
        const QSerialPortInfo *port = portAt(ports, device);
        ui->serialPortInfoListBox->addItem(
            name, port ? portEntryData(name, port->description(), port->manufacturer(),
                                       port->serialNumber(), port->systemLocation(),
                                       port->vendorIdentifier(), port->productIdentifier())
                       : portEntryData(name, QString(), QString(), QString(), device, 0, 0));
    }
}

void SettingsDialog::setStableNamesFolder(const QString &folder)
{
    stableNamesFolder = folder;
    fillPortsInfo();
}

void SettingsDialog::fillParameterBoxes()
{
    ui->baudRateBox->addItem(QStringLiteral("9600"), QSerialPort::Baud9600);
    ui->baudRateBox->addItem(QStringLiteral("19200"), QSerialPort::Baud19200);
    ui->baudRateBox->addItem(QStringLiteral("38400"), QSerialPort::Baud38400);
    ui->baudRateBox->addItem(QStringLiteral("115200"), QSerialPort::Baud115200);
    ui->baudRateBox->addItem(tr("Custom"));

    ui->dataBitsBox->addItem(QStringLiteral("5"), QSerialPort::Data5);
    ui->dataBitsBox->addItem(QStringLiteral("6"), QSerialPort::Data6);
    ui->dataBitsBox->addItem(QStringLiteral("7"), QSerialPort::Data7);
    ui->dataBitsBox->addItem(QStringLiteral("8"), QSerialPort::Data8);
    ui->dataBitsBox->setCurrentIndex(3);

    ui->parityBox->addItem(tr("None"), QSerialPort::NoParity);
    ui->parityBox->addItem(tr("Even"), QSerialPort::EvenParity);
    ui->parityBox->addItem(tr("Odd"), QSerialPort::OddParity);
    ui->parityBox->addItem(tr("Mark"), QSerialPort::MarkParity);
    ui->parityBox->addItem(tr("Space"), QSerialPort::SpaceParity);

    ui->stopBitsBox->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    ui->stopBitsBox->addItem(tr("1.5"), QSerialPort::OneAndHalfStop);
    ui->stopBitsBox->addItem(QStringLiteral("2"), QSerialPort::TwoStop);

    ui->flowControlBox->addItem(tr("None"), QSerialPort::NoFlowControl);
    ui->flowControlBox->addItem(tr("RTS/CTS"), QSerialPort::HardwareControl);
    ui->flowControlBox->addItem(tr("XON/XOFF"), QSerialPort::SoftwareControl);
}

void SettingsDialog::readSettingsFromWidgets()
{
    currentSettings.name = ui->serialPortInfoListBox->currentText();

    if (ui->baudRateBox->currentIndex() == customBaudIndex) {
        bool ok = false;
        const int rate = ui->baudRateBox->currentText().toInt(&ok, 10);
        currentSettings.baudRate = ok ? rate : 0;
    } else {
        currentSettings.baudRate = ui->baudRateBox->currentData().toInt();
    }
    currentSettings.dataBits =
        static_cast<QSerialPort::DataBits>(ui->dataBitsBox->currentData().toInt());
    currentSettings.parity = static_cast<QSerialPort::Parity>(ui->parityBox->currentData().toInt());
    currentSettings.stopBits =
        static_cast<QSerialPort::StopBits>(ui->stopBitsBox->currentData().toInt());
    currentSettings.flowControl =
        static_cast<QSerialPort::FlowControl>(ui->flowControlBox->currentData().toInt());
    currentSettings.askStatus = ui->askStatusCheckBox->isChecked();
    currentSettings.zeroInActiveSystem = ui->zeroInActiveSystemCheckBox->isChecked();
}

void SettingsDialog::setSettings(const Settings &settings)
{
    currentSettings = settings;

    const int baudIndex = indexForValue(
        settings.baudRate, {{9600, 0}, {19200, 1}, {38400, 2}, {115200, 3}}, customBaudIndex);
    ui->baudRateBox->setCurrentIndex(baudIndex);
    if (baudIndex == customBaudIndex) {
        ui->baudRateBox->setEditable(true);
        ui->baudRateBox->setEditText(QString::number(settings.baudRate));
    }
    ui->dataBitsBox->setCurrentIndex(indexForValue(settings.dataBits, {{5, 0}, {6, 1}, {7, 2}}, 3));
    ui->parityBox->setCurrentIndex(
        indexForValue(settings.parity, {{2, 1}, {3, 2}, {5, 3}, {4, 4}}, 0));
    ui->stopBitsBox->setCurrentIndex(indexForValue(settings.stopBits, {{3, 1}, {2, 2}}, 0));
    ui->flowControlBox->setCurrentIndex(indexForValue(settings.flowControl, {{1, 1}, {2, 2}}, 0));
    ui->askStatusCheckBox->setChecked(settings.askStatus);
    ui->zeroInActiveSystemCheckBox->setChecked(settings.zeroInActiveSystem);
    selectPort(settings.name);

    readSettingsFromWidgets();
}

// The stored port name is kept: the enumerated entry of that name, or else the custom field
// holding it, so that the first connection attempt goes to the port the operator chose.
void SettingsDialog::selectPort(const QString &name)
{
    QComboBox *box = ui->serialPortInfoListBox;
    int customIndex = -1;
    for (int i = 0; i < box->count(); ++i) {
        const bool isPortEntry = box->itemData(i).isValid();
        if (isPortEntry && box->itemText(i) == name) {
            box->setCurrentIndex(i);
            return;
        }
        if (!isPortEntry && customIndex < 0 && box->itemText(i) == tr("Custom"))
            customIndex = i;
    }
    box->setCurrentIndex(customIndex);
    box->setEditable(true);
    box->setEditText(name);
}

// Defined beside the dialog, not with the transport: the transport builds without widgets, for
// the terminal sender.
bool TerminalCommunication::TryToConnect(SettingsDialog *settingsDialog)
{
    return TryToConnect(settingsDialog->settings());
}
