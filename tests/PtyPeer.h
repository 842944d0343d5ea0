#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <limits>

// One end of a serial line, byte for byte. Made without a path, the far end of a fresh
// pseudo-terminal standing in for a device the station opens; given a path, a bare client of
// that device (the virtual controller) without the station in between. Reading keeps the event
// loop turning: the station writes from it.
class PtyPeer
{
public:
    PtyPeer();
    explicit PtyPeer(const QString &path);
    ~PtyPeer() { hangUp(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    QString devicePath() const { return path; }
    void write(const QByteArray &bytes);
    unsigned lineSpeed() const; // as the station set it on the device: B115200, ...
    void hangUp();              // the device goes away, as an unplugged adapter does
    // What arrives within timeoutMs; early once `expected` bytes, or `until`, are there.
    QByteArray read(int expected, int timeoutMs = 1000, const QByteArray &until = {});
    QByteArray readUntil(const QByteArray &until, int timeoutMs = 2000)
    {
        return read(std::numeric_limits<int>::max(), timeoutMs, until);
    }
    // Streams the lines as a sender does, within 0.9's 127-byte receive buffer, then asks until
    // the machine stands: the machine seconds it took at the time scale; -1 on a refusal.
    double runProgram(const QStringList &lines, double timeScale);

private:
    int fd = -1;
    int slave = -1;
    QString path;
};
