#include "SerialClient.h"

#include <QElapsedTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

SerialClient::SerialClient(const QString &path)
{
    fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    termios mode{};
    ::tcgetattr(fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(fd, TCSANOW, &mode);
}

SerialClient::~SerialClient()
{
    if (fd >= 0)
        ::close(fd);
}

void SerialClient::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        pollfd wait{fd, POLLOUT, 0};
        if (::poll(&wait, 1, 1000) <= 0)
            return;
    }
}

QByteArray SerialClient::readUntil(const QByteArray &until, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (!until.isEmpty() && received.contains(until))
            break;
        pollfd wait{fd, POLLIN, 0};
        if (::poll(&wait, 1, 10) > 0 && (wait.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, int(n));
        }
    }
    return received;
}
