#include "PseudoTerminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
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
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    slave = master = -1;
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
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return fail("openpty");
    slaveName = name;

    // Without raw mode the line discipline would echo and edit what the controller says.
    termios mode{};
    if (::tcgetattr(slave, &mode) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&mode);
    if (::tcsetattr(slave, TCSANOW, &mode) != 0)
        return fail("tcsetattr");

    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

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
