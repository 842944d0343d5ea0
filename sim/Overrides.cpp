#include "Overrides.h"

#include <algorithm>
#include <cmath>

bool applyOverrideByte(unsigned char byte, OverridePercent &percent)
{
    const auto step = [](int &value, int by) { value = std::clamp(value + by, 10, 200); };
    switch (byte) {
    case 0x90:
        percent.feed = 100;
        break;
    case 0x91:
        step(percent.feed, 10);
        break;
    case 0x92:
        step(percent.feed, -10);
        break;
    case 0x93:
        step(percent.feed, 1);
        break;
    case 0x94:
        step(percent.feed, -1);
        break;
    case 0x95:
        percent.rapid = 100;
        break;
    case 0x96:
        percent.rapid = 50;
        break;
    case 0x97:
        percent.rapid = 25;
        break;
    case 0x99:
        percent.spindle = 100;
        break;
    case 0x9A:
        step(percent.spindle, 10);
        break;
    case 0x9B:
        step(percent.spindle, -10);
        break;
    case 0x9C:
        step(percent.spindle, 1);
        break;
    case 0x9D:
        step(percent.spindle, -1);
        break;
    default:
        return false;
    }
    return true;
}

double OverriddenMotion::pace() const
{
    const std::optional<Motion::Front> front = motion.front();
    if (!front || front->nominal <= 0)
        return 1;
    // Like the firmware, an overridden feed still respects the machine's maximum rate.
    const double speed = front->requestedFeed > 0
                             ? std::min(front->requestedFeed * feedPercent / 100.0, front->maxRate)
                             : front->nominal * rapidPercent / 100.0;
    return speed / front->nominal;
}

double OverriddenMotion::currentFeed(double now)
{
    catchUp(now);
    return motion.currentFeed(motionTime()) * pace();
}

// Brings the motion clock to real time `now`, one block at a time, since each block may run
// at a pace of its own.
void OverriddenMotion::catchUp(double now)
{
    motion.advance(motionTime());
    while (now > realTime) {
        const double rate = pace();
        const double blockEnd = motion.nextEvent();
        const double reached = motionTime() + (now - realTime) * rate;
        // Blocks end only at the steps' ends, so a step moves all through or not at all.
        const bool moving = !motion.idle() && !motion.holding();
        if (blockEnd >= reached) {
            lead += (now - realTime) * (rate - 1);
            moved += moving ? now - realTime : 0;
            realTime = now;
            break;
        }
        const double endsAt = realTime + (blockEnd - motionTime()) / rate;
        lead += (endsAt - realTime) * (rate - 1);
        moved += moving ? endsAt - realTime : 0;
        realTime = endsAt;
        motion.advance(blockEnd);
    }
    motion.advance(motionTime());
}

double OverriddenMotion::nextEvent() const
{
    const double next = motion.nextEvent();
    if (std::isinf(next))
        return next;
    return realTime + (next - motionTime()) / pace();
}

void OverriddenMotion::add(Vec3 target, double feed, const Motion::Limits &limits, double now,
                           double requestedFeed, Motion::Note note)
{
    catchUp(now);
    motion.add(target, feed, limits, motionTime(), requestedFeed, std::move(note));
}

Vec3 OverriddenMotion::position(double now)
{
    catchUp(now);
    return motion.position(motionTime());
}

void OverriddenMotion::hold(double now)
{
    catchUp(now);
    motion.hold(motionTime());
}

void OverriddenMotion::pause(double now)
{
    catchUp(now);
    motion.pause(motionTime());
}

void OverriddenMotion::resume(double now)
{
    catchUp(now);
    motion.resume(motionTime());
}

void OverriddenMotion::stop(double now)
{
    catchUp(now);
    motion.stop(motionTime());
}

void OverriddenMotion::cancel(double now)
{
    catchUp(now);
    motion.cancel(motionTime());
}

void OverriddenMotion::setOverrides(const OverridePercent &percent, double now)
{
    catchUp(now);
    feedPercent = percent.feed;
    rapidPercent = percent.rapid;
}
