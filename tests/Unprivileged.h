#pragma once

#include <pwd.h>
#include <unistd.h>

// Runs a stretch of a test with an operator's rights: as root (CI), with the real and effective
// user `nobody`, keeping root as the saved user so that the test gets its rights back after;
// as any other user, as that user. A device node with mode 000 is then closed to the test, as
// it is to an operator outside the device's group, where root would open it regardless.
class Unprivileged
{
public:
    Unprivileged()
    {
        const passwd *nobody = ::getpwnam("nobody");
        if (::geteuid() == 0 && nobody)
            dropped = ::setresuid(nobody->pw_uid, nobody->pw_uid, 0) == 0;
    }
    ~Unprivileged()
    {
        if (dropped && ::setresuid(0, 0, 0) != 0)
            qFatal("could not become root again");
    }
    Unprivileged(const Unprivileged &) = delete;
    Unprivileged &operator=(const Unprivileged &) = delete;

    bool holds() const { return ::geteuid() != 0; }

private:
    bool dropped = false;
};
