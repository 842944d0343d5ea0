#pragma once

#include "Vec3.h"

#include <cstddef>
#include <deque>

// The planner queue and the motion it drives, in real seconds (already scaled). Motion runs at
// constant speed: enough to see Run, Hold and moving positions, without acceleration.
class Motion
{
public:
    static constexpr std::size_t capacity = 16;

    struct Block
    {
        Vec3 target;
        double seconds = 0; // how long the move takes
        double feed = 0;    // mm/min, for the status report
        // mm/min the line asked for, before limits; 0 for a rapid (overrides scale it)
        double requestedFeed = 0;
    };

    bool full() const { return blocks.size() >= capacity; }
    bool idle() const { return blocks.empty(); }
    bool holding() const { return held; }
    std::size_t queued() const { return blocks.size(); }
    const Block *front() const { return blocks.empty() ? nullptr : &blocks.front(); }

    void add(const Block &block, double now);
    void advance(double now);
    Vec3 position(double now) const;
    double currentFeed() const { return blocks.empty() || held ? 0 : blocks.front().feed; }
    // When the block in progress ends; infinity when idle or held.
    double nextEvent() const;

    void hold(double now);
    // The program's own pause: whatever is queued next waits for resume(), even when nothing
    // moves now.
    void pause(double now)
    {
        if (!blocks.empty())
            return hold(now);
        heldElapsed = 0;
        held = true;
    }
    void resume(double now);
    // Everything stops where it is and the queue is forgotten.
    void stop(double now);
    // A cancelled jog: the motion comes to a controlled stop as soon as it can and the rest of
    // the queue is forgotten. At constant speed that is at once.
    void cancel(double now) { stop(now); }
    // After homing or a reset the position is what the controller says it is.
    void setPosition(Vec3 position) { start = position; }

private:
    double elapsed(double now) const;

    std::deque<Block> blocks;
    Vec3 start;              // where the block in progress began (or the position when idle)
    double frontStarted = 0; // when the block in progress began
    bool held = false;
    double heldElapsed = 0;
};
