#pragma once

#include "Motion.h"

// The 1.1 override percentages, as the realtime bytes set them.
struct OverridePercent
{
    int feed = 100;    // 10..200
    int rapid = 100;   // 25, 50 or 100
    int spindle = 100; // 10..200
    bool operator!=(const OverridePercent &o) const
    {
        return feed != o.feed || rapid != o.rapid || spindle != o.spindle;
    }
};

// Returns false when the byte is no override command.
bool applyOverrideByte(unsigned char byte, OverridePercent &percent);

// The planner's motion as the overrides pace it. Motion keeps time on a clock of its own; this
// runs that clock faster or slower than real time by how much the move in progress is
// overridden, so a change takes effect in the middle of a move and Motion needs no notion of
// it. The same interface as Motion, in real seconds.
class OverriddenMotion
{
public:
    explicit OverriddenMotion(double maxRate) : maxRate(maxRate) {}

    bool idle() const { return motion.idle(); }
    bool holding() const { return motion.holding(); }
    std::size_t queued() const { return motion.queued(); }
    // The speed the machine moves at now, overrides included.
    double currentFeed() const { return motion.currentFeed() * pace(); }
    double nextEvent() const;

    void add(const Motion::Block &block, double now);
    void advance(double now) { catchUp(now); }
    Vec3 position(double now);
    void hold(double now);
    void pause(double now);
    void resume(double now);
    void stop(double now);
    void cancel(double now);
    void setOverrides(const OverridePercent &percent, double now);

private:
    // Motion seconds per real second for the move in progress.
    double pace() const;
    void catchUp(double now);
    double motionTime() const { return realTime + lead; }

    Motion motion;
    double maxRate;
    int feedPercent = 100;
    int rapidPercent = 100;
    double realTime = 0; // when the clocks were last brought together
    double lead = 0;     // how far the motion clock is ahead; stays 0 without overrides
};
