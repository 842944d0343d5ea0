#include "PseudoTerminal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::~PseudoTerminal()
{
    if (!link.empty())
        ::unlink(link.c_str());
    closePair();
}

void PseudoTerminal::closePair()
{
    if (watch >= 0)
        ::close(watch);
    if (master >= 0)
        ::close(master);
    watch = master = -1;
    holders = 0;
    held = false;
}

bool PseudoTerminal::freshlyOpened()
{
    bool fresh = false;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t got; watch >= 0 && (got = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                holders = hungUp() ? 0 : std::max(holders, 1);
            } else if (event->mask & IN_OPEN) {
                fresh = fresh || holders == 0;
                ++holders;
            } else if (holders > 0) {
                --holders;
            }
        }
    }
    // The hang-up has the last word: events may be lost, or missing without inotify.
    if (hungUp()) {
        holders = 0;
    } else if (holders == 0) {
        fresh = fresh || !held;
        holders = 1;
    }
    held = holders > 0;
    return fresh;
}

// A master whose slave nobody holds reports a hang-up, for as long as that lasts.
bool PseudoTerminal::hungUp() const
{
    pollfd state{master, 0, 0};
    return ::poll(&state, 1, 0) > 0 && (state.revents & POLLHUP);
}

void PseudoTerminal::flush()
{
    ::tcflush(master, TCOFLUSH);
}

bool PseudoTerminal::reopen()
{
    const std::string linkPath = link;
    ::unlink(link.c_str());
    link.clear();
    closePair();
    return open(linkPath);
}

bool PseudoTerminal::fail(const std::string &what)
{
    lastError = what + ": " + std::strerror(errno);
    return false;
}

bool PseudoTerminal::open(const std::string &linkPath)
{
    char name[256] = {};
    int slave = -1;
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return fail("openpty");
    slaveName = name;

    // Without raw mode the line discipline would echo and edit what the controller says; the
    // mode stays with the terminal while the master is held.
    termios mode{};
    const bool gotMode = ::tcgetattr(slave, &mode) == 0;
    if (gotMode)
        ::cfmakeraw(&mode);
    const bool raw = gotMode && ::tcsetattr(slave, TCSANOW, &mode) == 0;
    ::close(slave);
    if (!raw)
        return fail("tcsetattr");

    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    // Without inotify the hang-up alone tells, checked now and then.
    watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 &&
        ::inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch);
        watch = -1;
    }

    // Replace a link left behind by a killed run, but never a file of the operator's.
    struct stat existing
    {
    };
    if (::lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode)) {
            errno = EEXIST;
            return fail("refusing to replace " + linkPath);
        }
        ::unlink(linkPath.c_str());
    }
    if (::symlink(slaveName.c_str(), linkPath.c_str()) != 0)
        return fail("symlink " + linkPath);
    link = linkPath;
    return true;
}
