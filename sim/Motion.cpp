#include "Motion.h"

#include <algorithm>
#include <limits>

void Motion::add(const Block &block, double now)
{
    if (blocks.empty())
        frontStarted = now;
    blocks.push_back(block);
}

void Motion::advance(double now)
{
    while (!blocks.empty() && !held) {
        const double end = frontStarted + blocks.front().seconds;
        if (now < end)
            return;
        start = blocks.front().target;
        blocks.pop_front();
        frontStarted = end;
    }
}

double Motion::elapsed(double now) const
{
    return held ? heldElapsed : now - frontStarted;
}

Vec3 Motion::position(double now) const
{
    if (blocks.empty())
        return start;
    const Block &block = blocks.front();
    if (block.seconds <= 0)
        return block.target;
    const double fraction = std::clamp(elapsed(now) / block.seconds, 0.0, 1.0);
    return start + (block.target - start) * fraction;
}

double Motion::nextEvent() const
{
    if (blocks.empty() || held)
        return std::numeric_limits<double>::infinity();
    return frontStarted + blocks.front().seconds;
}

void Motion::hold(double now)
{
    if (blocks.empty() || held)
        return;
    heldElapsed = std::min(now - frontStarted, blocks.front().seconds);
    held = true;
}

void Motion::resume(double now)
{
    if (!held)
        return;
    held = false;
    frontStarted = now - heldElapsed;
}

void Motion::stop(double now)
{
    start = position(now);
    blocks.clear();
    held = false;
}
