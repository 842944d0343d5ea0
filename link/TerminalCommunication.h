#pragma once

#include "DevicePresence.h"
#include "LineFramer.h"
#include "Settings.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

class QSerialPortInfo;
class SettingsDialog;

// Sole owner of the serial port to the controller: opens it with the current settings, frames
// the received bytes into lines and writes command lines. It never reconnects on its own; the
// main window's supervision tick decides that.
class TerminalCommunication : public QObject
{
    Q_OBJECT

public:
    explicit TerminalCommunication(QObject *parent = nullptr);
    ~TerminalCommunication() override;

    bool TryToConnect(SettingsDialog *settingsDialog);
    bool TryToConnect(const Settings &settings);
    void Disconnect();
    bool IsConnected() const;
    bool WriteRaw(const QByteArray &bytes);
    bool SendLine(const QString &line);

signals:
    void LineReceived(QString line);
    // The device is there but this user may not open it; on Linux, not a member of its group.
    void PermissionDenied(QString device);

public slots:
    void readData();
    void receiveTimeout();
    void HandleError(QSerialPort::SerialPortError error);

private:
    bool applyLineParameters(const Settings &settings);
    bool write(const QByteArray &bytes);

    QSerialPort *port = nullptr;
    QSerialPortInfo *portInfo = nullptr;
    QTimer receiveTimer;
    LineFramer framer;
    DevicePresence presence;
    // Told once: a vanished port reports thousands of read errors within a blink.
    QSerialPort::SerialPortError lastError = QSerialPort::NoError;
};
