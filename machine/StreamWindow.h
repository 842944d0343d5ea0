#pragma once

#include <QQueue>

// Lines written to the controller and not yet answered. The controller takes at most five of
// them, and its receive buffer silently drops what does not fit; so a line goes out only while
// both limits hold. Every "ok" or "error" answers the oldest. Each line carries a tag, so the
// answer can be given to whoever sent it.
class StreamWindow
{
public:
    static constexpr int maxOutstanding = 5;
    static constexpr int receiveBufferBytes = 127; // Grbl 0.9; 1.1 says its own size

    // A line of `bytes` bytes, its line feed included, has been written.
    void sent(int bytes, int tag = 0);
    // An "ok" or "error" came back: returns the tag of the line it answers, or `none` when
    // nothing was outstanding.
    int answered(int none = -1);
    void reset();
    void setBufferBytes(int bytes) { bufferBytes = bytes; }

    int inFlight() const { return lines.size(); }
    int outstandingBytes() const { return bytesOutstanding; }
    // Whether a line of `bytes` bytes (line feed included) may go out now. One longer than
    // the buffer goes out only when nothing else is outstanding.
    bool admits(int bytes) const;

private:
    struct Line
    {
        int bytes;
        int tag;
    };
    int bufferBytes = receiveBufferBytes;
    int bytesOutstanding = 0;
    QQueue<Line> lines;
};
