#pragma once

#include <QByteArray>
#include <QString>

// The far end of a pseudo-terminal, standing in for a device on the serial line: what the
// station writes arrives here byte for byte, and what is written here reaches the station.
class PtyPeer
{
public:
    PtyPeer();
    ~PtyPeer();

    bool isOpen() const { return master >= 0; }
    QString devicePath() const { return slavePath; }
    void write(const QByteArray &bytes);
    // The line speed the station set on the device, as a termios constant (B115200, ...).
    unsigned lineSpeed() const;
    // The device goes away under the station, as an unplugged adapter does.
    void hangUp();
    // Collects what arrives within timeoutMs, returning early once `expected` bytes are there.
    QByteArray read(int expected, int timeoutMs = 1000);

private:
    int master = -1;
    int slave = -1;
    QString slavePath;
};
