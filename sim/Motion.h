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
    };

    bool full() const { return blocks.size() >= capacity; }
    bool idle() const { return blocks.empty(); }
    bool holding() const { return held; }

    void add(const Block &block, double now);
    void advance(double now);
    Vec3 position(double now) const;
    double currentFeed() const { return blocks.empty() || held ? 0 : blocks.front().feed; }
    // When the block in progress ends; infinity when idle or held.
    double nextEvent() const;

    void hold(double now);
    void resume(double now);
    // Everything stops where it is and the queue is forgotten.
    void stop(double now);
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
