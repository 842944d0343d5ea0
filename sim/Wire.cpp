#include "Wire.h"

#include <algorithm>
#include <cmath>

void Wire::send(const std::string &bytes, double now)
{
    if (bytes.empty())
        return;
    const double start = std::max(now, lineFreeAt);
    lineFreeAt = start + byteSeconds * static_cast<double>(bytes.size());
    pending += bytes.size();
    chunks.push_back({start, bytes});
}

void Wire::receive(double now, std::string &out)
{
    while (!chunks.empty()) {
        Chunk &chunk = chunks.front();
        if (now < chunk.start)
            return;
        std::size_t arrived = chunk.bytes.size();
        if (byteSeconds > 0) {
            const double crossed = std::floor((now - chunk.start) / byteSeconds + 1e-9);
            arrived = crossed <= 0 ? 0 : std::min(arrived, static_cast<std::size_t>(crossed));
        }
        if (arrived > chunk.taken) {
            out.append(chunk.bytes, chunk.taken, arrived - chunk.taken);
            pending -= arrived - chunk.taken;
            chunk.taken = arrived;
        }
        if (chunk.taken < chunk.bytes.size())
            return;
        chunks.pop_front();
    }
}

void Wire::holdUntil(double when)
{
    lineFreeAt = std::max(lineFreeAt, when);
}

double Wire::nextArrival() const
{
    if (chunks.empty())
        return std::numeric_limits<double>::infinity();
    const Chunk &chunk = chunks.front();
    return chunk.start + byteSeconds * static_cast<double>(chunk.taken + 1);
}
