#include "PtyPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPeer::PtyPeer()
{
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    termios mode{};
    ::tcgetattr(slave, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(slave, TCSANOW, &mode);
    slavePath = QString::fromLocal8Bit(name);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer()
{
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
}

unsigned PtyPeer::lineSpeed() const
{
    termios mode{};
    ::tcgetattr(slave, &mode);
    return ::cfgetospeed(&mode);
}

void PtyPeer::hangUp()
{
    ::close(master);
    ::close(slave);
    master = slave = -1;
}

void PtyPeer::write(const QByteArray &bytes)
{
    // The terminal's queue is small; the station must keep reading for a long write to end.
    qsizetype done = 0;
    QElapsedTimer clock;
    clock.start();
    while (done < bytes.size() && clock.elapsed() < 10000) {
        const ssize_t n = ::write(master, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

QByteArray PtyPeer::read(int expected, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < expected && clock.elapsed() < timeoutMs) {
        // The station writes from its event loop, so keep it turning while waiting.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 10) > 0 && (fd.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                received.append(buffer, int(n));
        }
    }
    return received;
}
