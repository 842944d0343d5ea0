#pragma once

#include <QByteArray>
#include <QString>

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

private:
    int fd = -1;
};
