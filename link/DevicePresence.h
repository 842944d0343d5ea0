#pragma once

#include <QString>

// Remembers which device a serial port was opened under, so that the link can tell when that
// device has gone: the node removed with an unplugged adapter, or the path (a typed link such
// as /dev/serial/by-id/... or a pseudo-terminal's link) now leading to another device.
class DevicePresence
{
public:
    // portName as given to QSerialPort: a bare name ("ttyUSB0") lives under /dev.
    static QString devicePath(const QString &portName);

    void remember(const QString &portName);
    void forget();
    bool isPresent() const;

private:
    QString path;
    bool known = false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    unsigned long long rdev = 0;
};
