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
// runs that clock faster or slower than the controller's by how much the move in progress is
// overridden, so a change takes effect in the middle of a move and Motion needs no notion of
// it (its accelerations scale along, which a simulation can afford). The same interface as
// Motion, on the controller's clock.
class OverriddenMotion
{
public:
    bool idle() const { return motion.idle(); }
    bool holding() const { return motion.holding(); }
    std::size_t queued() const { return motion.queued(); }
    void setInstant(bool on) { motion.setInstant(on); }
    void setTrace(Motion::Trace trace) { motion.setTrace(std::move(trace)); }
    // The speed the machine moves at now, overrides included.
    double currentFeed(double now);
    double nextEvent() const;

    void add(Vec3 target, double feed, const Motion::Limits &limits, double now,
             double requestedFeed, Motion::Note note = {});
    void advance(double now) { catchUp(now); }
    Vec3 position(double now);
    void hold(double now);
    void pause(double now);
    void resume(double now);
    void stop(double now);
    void cancel(double now);
    // At rest only: a board that starts afresh counts from where it stands.
    void setPosition(Vec3 position) { motion.setPosition(position); }
    void setOverrides(const OverridePercent &percent, double now);
    // Seconds something has moved since the start, up to now; a hold's standstill is no
    // running time.
    double movingSeconds(double now)
    {
        catchUp(now);
        return moved;
    }

private:
    // Motion seconds per real second for the move in progress.
    double pace() const;
    void catchUp(double now);
    double motionTime() const { return realTime + lead; }

    Motion motion;
    int feedPercent = 100;
    int rapidPercent = 100;
    double realTime = 0; // the controller's time when the clocks were last brought together
    double lead = 0;     // how far the motion clock is ahead; stays 0 without overrides
    double moved = 0;
};
