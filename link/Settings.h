#pragma once

#include <QSerialPort>
#include <QString>

// The serial line parameters of the controller link, and how the station sets a work zero on
// it, copied freely between the settings
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
    // The zero buttons write into the work coordinate system in use (G10 L20), which the
    // controller keeps, instead of a G92 offset, which a reset clears.
    bool zeroInActiveSystem = false;
};
