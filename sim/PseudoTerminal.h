#pragma once

#include <string>

// The controller's end of a pseudo-terminal, reachable for the station through a symbolic
// link. The slave side is kept open here as well, so that the station may close and reopen
// its port any number of times without the master seeing a hang-up.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;
    ~PseudoTerminal();

    // Opens the pair in raw mode and points linkPath at the slave. Returns false with a
    // message in error() on failure.
    bool open(const std::string &linkPath);
    // Closes the pair and opens a fresh one behind the same link, as a re-plugged adapter.
    bool reopen();
    int masterFd() const { return master; }
    const std::string &slavePath() const { return slaveName; }
    const std::string &error() const { return lastError; }

private:
    bool fail(const std::string &what);
    void closePair();

    int master = -1;
    int slave = -1;
    std::string slaveName;
    std::string link;
    std::string lastError;
};
