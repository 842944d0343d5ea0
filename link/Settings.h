#pragma once

#include <QSerialPort>
#include <QString>

// The serial line parameters of the controller link, copied freely between the settings
// dialog, the transport and the settings store.
struct Settings
{
    QString name;
    qint32 baudRate = 9600;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QSerialPort::FlowControl flowControl = QSerialPort::NoFlowControl;
    bool askStatus = false;
};
