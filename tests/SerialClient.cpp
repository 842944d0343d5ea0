#include "SerialClient.h"

#include <QElapsedTimer>
#include <QFile>

#include <deque>

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

double SerialClient::runProgram(const QStringList &lines, double timeScale)
{
    QElapsedTimer clock;
    clock.start();
    std::deque<int> inBuffer; // bytes of each line not answered yet
    int used = 0;
    int next = 0;
    QByteArray received;
    for (int answered = 0; answered < lines.size();) {
        for (; next < lines.size() && used + lines[next].size() + 1 <= 127; ++next) {
            write(lines[next].toLatin1() + '\n');
            inBuffer.push_back(lines[next].size() + 1);
            used += inBuffer.back();
        }
        received += readUntil("\n", 10000);
        for (int end; (end = received.indexOf('\n')) >= 0; received.remove(0, end + 1)) {
            const QByteArray reply = received.left(end).trimmed();
            if (reply.startsWith("error") || inBuffer.empty())
                return -1;
            if (reply == "ok") {
                used -= inBuffer.front();
                inBuffer.pop_front();
                ++answered;
            }
        }
        if (clock.elapsed() > 600000)
            return -1;
    }
    for (write("?"); !readUntil(">\r\n").contains("<Idle"); write("?")) {
        if (clock.elapsed() > 600000)
            return -1;
    }
    return clock.nsecsElapsed() / 1e9 * timeScale;
}
