#pragma once

#include <string>

// The controller's end of a pseudo-terminal, reachable for the station through a symbolic
// link. The slave side is left to the station: its opens and closes are what tells a board
// to restart, as a USB adapter's DTR line does.
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
    // Becomes readable when the slave is opened or closed; -1 without inotify.
    int watchFd() const { return watch; }
    // Follows the slave's opens and closes: true when it went from nobody having it open to
    // opened since the last call, even if it was closed again meanwhile.
    bool freshlyOpened();
    // Whether anyone has the slave open, as last followed.
    bool slaveHeld() const { return held; }
    // Forgets what the controller wrote and the station has not read: it was for a port closed
    // since.
    void flush();
    const std::string &slavePath() const { return slaveName; }
    const std::string &error() const { return lastError; }

private:
    bool fail(const std::string &what);
    bool hungUp() const;
    void closePair();

    int master = -1;
    int watch = -1;
    int holders = 0; // opens the watch has seen and not their closes
    bool held = false;
    std::string slaveName;
    std::string link;
    std::string lastError;
};
