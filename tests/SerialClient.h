#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// A bare serial client on a device path, for talking to the virtual controller without the
// station in between.
class SerialClient
{
public:
    explicit SerialClient(const QString &path);
    ~SerialClient();
    SerialClient(const SerialClient &) = delete;
    SerialClient &operator=(const SerialClient &) = delete;

    bool isOpen() const { return fd >= 0; }
    void write(const QByteArray &bytes);
    // Reads until `until` has arrived (or, when empty, until timeoutMs passes).
    QByteArray readUntil(const QByteArray &until, int timeoutMs = 2000);
    QByteArray readFor(int ms) { return readUntil({}, ms); }
    // Streams the lines as a sender does, keeping within the controller's 127-byte receive
    // buffer, then asks for the state until it is idle: the machine seconds the run took at the
    // given time scale; -1 when the controller refused a line or stopped answering.
    double runProgram(const QStringList &lines, double timeScale);

private:
    int fd = -1;
};
