#include "PtyPeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>

#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
int madeRaw(int fd)
{
    termios mode{};
    ::tcgetattr(fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(fd, TCSANOW, &mode);
    return fd;
}
} // namespace

PtyPeer::PtyPeer()
{
    char name[256] = {};
    ::openpty(&fd, &slave, name, nullptr, nullptr);
    madeRaw(slave);
    path = QString::fromLocal8Bit(name);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

PtyPeer::PtyPeer(const QString &device)
    : fd(madeRaw(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))),
      path(device)
{
}

unsigned PtyPeer::lineSpeed() const
{
    termios mode{};
    ::tcgetattr(slave, &mode);
    return ::cfgetospeed(&mode);
}

void PtyPeer::hangUp()
{
    for (int *end : {&fd, &slave})
        if (*end >= 0)
            ::close(std::exchange(*end, -1));
}

void PtyPeer::write(const QByteArray &bytes)
{
    // The terminal's queue is small: a long write ends only while the other side reads.
    const QDeadlineTimer deadline(10000);
    for (qsizetype done = 0; done < bytes.size() && !deadline.hasExpired();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QByteArray PtyPeer::read(int expected, int timeoutMs, const QByteArray &until)
{
    QByteArray received;
    const QDeadlineTimer deadline(timeoutMs);
    while (received.size() < expected && (until.isEmpty() || !received.contains(until)) &&
           !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd wait{fd, POLLIN, 0};
        char buffer[4096];
        if (::poll(&wait, 1, 10) > 0 && (wait.revents & POLLIN))
            received.append(buffer, int(qMax<ssize_t>(0, ::read(fd, buffer, sizeof buffer))));
    }
    return received;
}

double PtyPeer::runProgram(const QStringList &lines, double timeScale)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray received;
    // Lines [answered, next) are in the controller's buffer, `used` bytes of it.
    for (int answered = 0, next = 0, used = 0;
         answered < lines.size() && clock.elapsed() < 600000;) {
        for (; next < lines.size() && used + lines[next].size() + 1 <= 127; ++next) {
            write(lines[next].toLatin1() + '\n');
            used += lines[next].size() + 1;
        }
        received += readUntil("\n", 10000);
        for (int end; (end = received.indexOf('\n')) >= 0; received.remove(0, end + 1)) {
            const QByteArray reply = received.left(end).trimmed();
            if (reply.startsWith("error") || (reply == "ok" && answered == next))
                return -1;
            if (reply == "ok")
                used -= lines[answered++].size() + 1;
        }
    }
    for (write("?"); !readUntil(">\r\n").contains("<Idle") && clock.elapsed() < 600000;)
        write("?");
    return clock.nsecsElapsed() / 1e9 * timeScale;
}
