#include "PtyPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <deque>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
void makeRaw(int fd)
{
    termios mode{};
    ::tcgetattr(fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(fd, TCSANOW, &mode);
}
} // namespace

PtyPeer::PtyPeer()
{
    char name[256] = {};
    ::openpty(&fd, &slave, name, nullptr, nullptr);
    makeRaw(slave);
    path = QString::fromLocal8Bit(name);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

PtyPeer::PtyPeer(const QString &device)
    : fd(::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)),
      path(device)
{
    makeRaw(fd);
}

PtyPeer::~PtyPeer()
{
    hangUp();
}

unsigned PtyPeer::lineSpeed() const
{
    termios mode{};
    ::tcgetattr(slave, &mode);
    return ::cfgetospeed(&mode);
}

void PtyPeer::hangUp()
{
    for (int *end : {&fd, &slave}) {
        if (*end >= 0)
            ::close(*end);
        *end = -1;
    }
}

void PtyPeer::write(const QByteArray &bytes)
{
    // The terminal's queue is small: a long write ends only while the other side reads.
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (done < bytes.size() && clock.elapsed() < 10000) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

template <typename Done> QByteArray PtyPeer::readWhileNot(Done done, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (!done(received) && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
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

QByteArray PtyPeer::read(int expected, int timeoutMs)
{
    return readWhileNot([expected](const QByteArray &in) { return in.size() >= expected; },
                        timeoutMs);
}

QByteArray PtyPeer::readUntil(const QByteArray &until, int timeoutMs)
{
    return readWhileNot([&until](const QByteArray &in) { return in.contains(until); }, timeoutMs);
}

double PtyPeer::runProgram(const QStringList &lines, double timeScale)
{
    QElapsedTimer clock;
    clock.start();
    std::deque<int> unanswered; // bytes of each line
    int used = 0;
    int next = 0;
    QByteArray received;
    for (int answered = 0; answered < lines.size() && clock.elapsed() < 600000;) {
        for (; next < lines.size() && used + lines[next].size() + 1 <= 127; ++next) {
            write(lines[next].toLatin1() + '\n');
            unanswered.push_back(lines[next].size() + 1);
            used += unanswered.back();
        }
        received += readUntil("\n", 10000);
        for (int end; (end = received.indexOf('\n')) >= 0; received.remove(0, end + 1)) {
            const QByteArray reply = received.left(end).trimmed();
            if (reply.startsWith("error") || unanswered.empty())
                return -1;
            if (reply == "ok") {
                used -= unanswered.front();
                unanswered.pop_front();
                ++answered;
            }
        }
    }
    for (write("?"); !readUntil(">\r\n").contains("<Idle") && clock.elapsed() < 600000;)
        write("?");
    return clock.nsecsElapsed() / 1e9 * timeScale;
}
