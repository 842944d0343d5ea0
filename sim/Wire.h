#pragma once

#include <deque>
#include <limits>
#include <string>

// One direction of the serial line. Unpaced, bytes cross at once; paced, each byte takes ten
// bit times (start, eight data bits, stop), so a burst trickles out at the baud rate.
class Wire
{
public:
    explicit Wire(int baud) : byteSeconds(baud > 0 ? 10.0 / baud : 0.0) {}

    void send(const std::string &bytes, double now);
    // Appends to out the bytes that have crossed by `now`.
    void receive(double now, std::string &out);
    // Nothing sent from now on starts to cross before `when`.
    void holdUntil(double when);
    double nextArrival() const;
    bool empty() const { return chunks.empty(); }
    std::size_t pendingBytes() const { return pending; }

private:
    struct Chunk
    {
        double start; // when the first byte began to cross
        std::string bytes;
        std::size_t taken = 0;
    };

    double byteSeconds;
    double lineFreeAt = 0; // when the last queued byte will have crossed
    std::size_t pending = 0;
    std::deque<Chunk> chunks;
};
