#pragma once

#include "Vec3.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>

// The planner queue and the motion it drives, in machine seconds. Each straight block runs at
// its feed, limited by every axis's maximum rate, with trapezoidal acceleration limited by every
// axis's acceleration. Consecutive blocks join at the speed the junction deviation allows for
// the angle between them, and the queue is planned so that its last block can stop at its end,
// as the firmware's planner does: the block in progress is planned again whenever a block joins
// the queue.
class Motion
{
public:
    static constexpr std::size_t capacity = 16;

    // The firmware's settings $110-$112 (mm/min), $120-$122 (mm/s^2) and $11 (mm).
    struct Limits
    {
        Vec3 maxRate{500, 500, 500};
        Vec3 acceleration{10, 10, 10};
        double junctionDeviation = 0.01;
    };

    // Motion takes no time at all.
    void setInstant(bool on) { instant = on; }

    // What a block is to whoever watches the motion: the kind of move and the state it runs in,
    // in words. Carried along untouched.
    struct Note
    {
        std::string kind;
        std::string state;
    };
    // Told of every block once the machine is done with it: at its end, or where a stop left
    // it. A block the machine never started is not told.
    using Trace = std::function<void(const Note &note, Vec3 from, Vec3 to)>;
    void setTrace(Trace trace) { traced = std::move(trace); }

    bool full() const { return blocks.size() >= capacity; }
    bool idle() const { return blocks.empty(); }
    bool holding() const { return held; }
    std::size_t queued() const { return blocks.size(); }

    // Queues a straight move to target at feed mm/min (within the axes' limits). requestedFeed
    // is what the line asked for, 0 for a rapid: the overrides scale it.
    void add(Vec3 target, double feed, const Limits &limits, double now, double requestedFeed = 0,
             Note note = {});
    void advance(double now);
    Vec3 position(double now) const;
    // mm/min; 0 when idle or held.
    double currentFeed(double now) const;
    // When the block in progress ends; infinity when idle or held.
    double nextEvent() const;

    void hold(double now);
    // The program's own pause: whatever is queued next waits for resume(), even when nothing
    // moves now.
    void pause(double now);
    void resume(double now);
    // Everything stops where it is and the queue is forgotten.
    void stop(double now);
    // Jog cancel; the hold it comes down to takes no time in this model.
    void cancel(double now) { stop(now); }

    // The block in progress, for the overrides: the feed its line asked for (0 for a rapid),
    // the speed it is planned at and the most its axes allow, in mm/min; nullopt when idle.
    struct Front
    {
        double requestedFeed;
        double nominal;
        double maxRate;
    };
    std::optional<Front> front() const;
    // After homing or a reset the position is what the controller says it is.
    void setPosition(Vec3 position) { start = position; }

    // Speed over time within one block: up from the entry speed, a cruise, down to the exit
    // speed. Speeds in mm/s.
    struct Profile
    {
        double entry = 0;
        double peak = 0;
        double exit = 0;
        double acceleration = 1;
        double accelerating = 0; // seconds
        double cruising = 0;
        double braking = 0;

        static Profile plan(double entry, double exit, double nominal, double acceleration,
                            double length);
        double duration() const { return accelerating + cruising + braking; }
        double distanceAt(double t) const;
        double speedAt(double t) const;
    };

private:
    struct Block
    {
        Vec3 target;
        Vec3 unit;
        double length = 0;       // mm
        double nominal = 0;      // mm/s
        double acceleration = 0; // mm/s^2
        double maxEntry = 0;     // mm/s, by the junction with the block before
        double maxNominal = 0;   // mm/s, the axes' maximum rates along the block
        double requestedFeed = 0;
        Note note;
    };

    Block makeBlock(Vec3 from, Vec3 target, double feed, const Limits &limits) const;
    double exitLimit() const;
    void planFront(double now, double from, double speed);
    double clock(double now) const;

    bool instant = false;
    Trace traced;
    std::deque<Block> blocks;
    Vec3 start; // where the block in progress began (or the position when idle)
    // The block in progress runs its profile from profileFrom mm on, since profileStart.
    Profile profile;
    double profileStart = 0;
    double profileFrom = 0;
    bool held = false;
    double heldClock = 0; // seconds into the profile when it was held
};
