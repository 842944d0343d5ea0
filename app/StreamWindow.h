#pragma once

#include <QQueue>

// Commands written to the controller and not yet answered. The controller takes at most five
// of them, and its receive buffer holds 127 bytes and silently drops what does not fit; so a
// command goes out only while both limits hold. Every "ok" or "error" answers the oldest.
class StreamWindow
{
public:
    static constexpr int maxOutstanding = 5;
    static constexpr int receiveBufferBytes = 127;

    // A command of `bytes` bytes, its line feed included, has been written.
    void sent(int bytes);
    // An "ok" or "error" came back.
    void answered();
    void reset();

    int inFlight() const { return sizes.size(); }
    int outstandingBytes() const { return bytesOutstanding; }
    // Whether a command of `bytes` bytes (line feed included) may go out now. One longer than
    // the buffer goes out only when nothing else is outstanding.
    bool admits(int bytes) const;

private:
    int bytesOutstanding = 0;
    QQueue<int> sizes;
};

// The program's lines as they go to the controller: split at every CR and LF, empty parts
// left out, nothing else changed.
QStringList programLines(const QString &text);
