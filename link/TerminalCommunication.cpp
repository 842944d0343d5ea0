#include "TerminalCommunication.h"

#include <QDebug>
#include <QFile>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

Q_LOGGING_CATEGORY(lcLink, "orlo.link", QtInfoMsg)

namespace {
constexpr int receiveTimeoutMs = 300;

// The toolkit reports a port that another program holds (its lock file, or exclusive use) as a
// permission error too; only the device's own permissions call for joining its group.
bool lacksPermission(const QString &portName)
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(DevicePresence::devicePath(portName));
    return ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(portName)
    return false;
#endif
}
} // namespace

TerminalCommunication::TerminalCommunication(QObject *parent) : QObject(parent)
{
    connect(&receiveTimer, &QTimer::timeout, this, &TerminalCommunication::receiveTimeout);
    receiveTimer.setSingleShot(true);
    receiveTimer.setInterval(receiveTimeoutMs);
}

TerminalCommunication::~TerminalCommunication()
{
    Disconnect();
}

bool TerminalCommunication::TryToConnect(const Settings &settings)
{
    qCDebug(lcLink) << "TryToConnect";
    if (settings.name.isEmpty())
        return false;

    Disconnect();
    port = new QSerialPort(this);
    connect(port, &QSerialPort::readyRead, this, &TerminalCommunication::readData);
    connect(port, &QSerialPort::errorOccurred, this, &TerminalCommunication::HandleError);
    port->setPortName(settings.name);

    if (!port->open(QIODevice::ReadWrite)) {
        qCDebug(lcLink) << "Konnte Port nicht öffnen";
        const QString name = settings.name;
        if (port->error() == QSerialPort::PermissionError && lacksPermission(name))
            emit PermissionDenied(DevicePresence::devicePath(name));
        return false;
    }
    portInfo = new QSerialPortInfo(*port);
    presence.remember(settings.name);
    lastError = QSerialPort::NoError;
    qCDebug(lcLink) << "Connected";

    if (applyLineParameters(settings))
        return true;
    port->close();
    qCDebug(lcLink) << "Fehler beim Einstellen des Ports";
    return false;
}

bool TerminalCommunication::applyLineParameters(const Settings &settings)
{
    if (!port->setBaudRate(settings.baudRate, QSerialPort::AllDirections))
        return false;
    if (!port->setDataBits(settings.dataBits))
        return false;
    if (!port->setParity(settings.parity))
        return false;
    if (!port->setStopBits(settings.stopBits))
        return false;
    if (!port->setFlowControl(settings.flowControl))
        return false;
    if (port->setDataTerminalReady(true))
        return true;
    // Pseudo-terminals and some adapters have no modem-control lines at all; the link works
    // without DTR there, so only a genuine failure counts.
    if (port->error() == QSerialPort::UnsupportedOperationError) {
        qCDebug(lcLink) << "DTR not supported by" << port->portName() << "- skipped";
        port->clearError();
        return true;
    }
    return false;
}

void TerminalCommunication::Disconnect()
{
    if (portInfo) {
        delete portInfo;
        portInfo = nullptr;
    }
    presence.forget();
    if (port) {
        if (port->isOpen())
            port->close();
        delete port;
        port = nullptr;
    }
}

// Present means: the path still leads to the device it was opened under, and the port has not
// reported that device as gone (a node can come back under the same name, but not this port).
bool TerminalCommunication::IsConnected() const
{
    if (portInfo && !presence.isPresent())
        return false;
    if (!port || port->error() == QSerialPort::ResourceError)
        return false;
    return port->isOpen();
}

void TerminalCommunication::readData()
{
    receiveTimer.start();
    // The port may be dropped by a slot reached through LineReceived; take what is there first.
    const QByteArray bytes = port ? port->readAll() : QByteArray();
    for (const char byte : bytes) {
        framer.push(byte, [this](const QString &line, const QByteArray &raw) {
            emit LineReceived(line);
            qCDebug(lcLink) << raw;
        });
    }
    receiveTimer.start();
}

void TerminalCommunication::receiveTimeout()
{
    framer.clear();
}

void TerminalCommunication::HandleError(QSerialPort::SerialPortError error)
{
    // Pseudo-terminals have no DTR line: handled where it is set (applyLineParameters).
    if (error == QSerialPort::NoError || error == QSerialPort::UnsupportedOperationError ||
        error == lastError)
        return;
    lastError = error;
    const char *name = QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error);
    qCWarning(lcLink) << "serial port error:" << name << (port ? port->errorString() : QString());
}

bool TerminalCommunication::WriteRaw(const QByteArray &bytes)
{
    if (!IsConnected())
        return false;
    return write(bytes);
}

bool TerminalCommunication::SendLine(const QString &line)
{
    if (!IsConnected())
        return false;
    return write(line.toUtf8() + '\n');
}

// Hands the bytes to the device at once instead of at a later turn of the event loop, which
// may first have to repaint the window; flush() never blocks.
bool TerminalCommunication::write(const QByteArray &bytes)
{
    if (port->write(bytes) == -1)
        return false;
    port->flush();
    return true;
}
