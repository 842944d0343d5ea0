#include "DevicePresence.h"

#include <QFile>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

QString DevicePresence::devicePath(const QString &portName)
{
#ifdef Q_OS_UNIX
    if (portName.startsWith(QLatin1Char('/')))
        return portName;
    return QStringLiteral("/dev/") + portName;
#else
    return portName;
#endif
}

void DevicePresence::remember(const QString &portName)
{
    path = devicePath(portName);
    known = false;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        known = true;
        device = info.st_dev;
        inode = info.st_ino;
        rdev = info.st_rdev;
    }
#endif
}

void DevicePresence::forget()
{
    path.clear();
    known = false;
}

bool DevicePresence::isPresent() const
{
    if (path.isEmpty())
        return false;
#ifdef Q_OS_UNIX
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return !known || (info.st_dev == device && info.st_ino == inode && info.st_rdev == rdev);
#else
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        if (info.portName() == path || info.systemLocation() == path)
            return true;
    }
    return false;
#endif
}
