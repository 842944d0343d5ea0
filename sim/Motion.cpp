#include "Motion.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The largest value along a direction for which no axis exceeds its own.
double limitAlong(Vec3 unit, Vec3 perAxis)
{
    double limit = std::numeric_limits<double>::infinity();
    for (int axis = 0; axis < 3; ++axis) {
        if (unit[axis] != 0)
            limit = std::min(limit, perAxis[axis] / std::fabs(unit[axis]));
    }
    return limit;
}

} // namespace

Motion::Profile Motion::Profile::plan(double entry, double exit, double nominal,
                                      double acceleration, double length)
{
    Profile p;
    p.acceleration = std::max(acceleration, 1e-9);
    const double a = p.acceleration;
    // Never asked for, but a stop that cannot be made in time brakes all the way.
    exit = std::min(exit, std::sqrt(entry * entry + 2 * a * length));
    if (entry * entry > exit * exit + 2 * a * length)
        exit = std::sqrt(std::max(0.0, entry * entry - 2 * a * length));
    p.entry = entry;
    p.exit = exit;
    const double peakSquared = (2 * a * length + entry * entry + exit * exit) / 2;
    p.peak = std::max({std::min(nominal, std::sqrt(peakSquared)), entry, exit});
    const double accelerating = (p.peak * p.peak - entry * entry) / (2 * a);
    const double braking = (p.peak * p.peak - exit * exit) / (2 * a);
    p.accelerating = (p.peak - entry) / a;
    p.braking = (p.peak - exit) / a;
    p.cruising = p.peak > 0 ? std::max(0.0, length - accelerating - braking) / p.peak : 0;
    return p;
}

double Motion::Profile::distanceAt(double t) const
{
    const double a = acceleration;
    t = std::clamp(t, 0.0, duration());
    if (t <= accelerating)
        return entry * t + a * t * t / 2;
    double distance = (entry + peak) / 2 * accelerating;
    t -= accelerating;
    if (t <= cruising)
        return distance + peak * t;
    distance += peak * cruising;
    t -= cruising;
    return distance + peak * t - a * t * t / 2;
}

double Motion::Profile::speedAt(double t) const
{
    if (t < accelerating)
        return entry + acceleration * t;
    if (t < accelerating + cruising)
        return peak;
    return std::max(exit, peak - acceleration * (t - accelerating - cruising));
}

// The junction speed follows from the angle between the two blocks: the speed at which the
// centripetal acceleration on a circle that keeps the junction deviation from the corner is the
// block's acceleration. A straight continuation sets no limit, a reversal stops.
Motion::Block Motion::makeBlock(Vec3 from, Vec3 target, double feed, const Limits &limits) const
{
    Block block;
    block.target = target;
    block.length = length(target - from);
    block.unit = (target - from) * (1 / block.length);
    block.maxNominal = limitAlong(block.unit, limits.maxRate) / 60;
    block.nominal = std::min(feed / 60, block.maxNominal);
    block.acceleration = limitAlong(block.unit, limits.acceleration);
    if (blocks.empty())
        return block; // from rest
    const Block &before = blocks.back();
    const double cosTheta = -dot(before.unit, block.unit);
    double junction = 0;
    if (cosTheta < -0.999999) {
        junction = std::numeric_limits<double>::infinity();
    } else if (cosTheta < 0.999999) {
        const double sinHalf = std::sqrt(0.5 * (1 - cosTheta));
        junction =
            std::sqrt(block.acceleration * limits.junctionDeviation * sinHalf / (1 - sinHalf));
    }
    block.maxEntry = std::min({junction, block.nominal, before.nominal});
    return block;
}

void Motion::add(Vec3 target, double feed, const Limits &limits, double now, double requestedFeed,
                 Note note)
{
    const Vec3 from = blocks.empty() ? start : blocks.back().target;
    if (length(target - from) <= 0)
        return; // the firmware drops a block that moves no axis
    if (instant) {
        start = target;
        if (traced)
            traced(note, from, target);
        return;
    }
    const bool wasIdle = blocks.empty();
    blocks.push_back(makeBlock(from, target, feed, limits));
    blocks.back().requestedFeed = requestedFeed;
    blocks.back().note = std::move(note);
    if (wasIdle) {
        planFront(now, 0, 0);
        return;
    }
    const double t = clock(now);
    planFront(now, profileFrom + profile.distanceAt(t), profile.speedAt(t));
}

// The fastest the block after the one in progress may be entered so that every block behind
// it can still be entered at its own limit and the last one can stop at its end.
double Motion::exitLimit() const
{
    double speed = 0;
    for (std::size_t i = blocks.size() - 1; i >= 1; --i) {
        const Block &block = blocks[i];
        speed = std::min(block.maxEntry,
                         std::sqrt(speed * speed + 2 * block.acceleration * block.length));
    }
    return speed;
}

void Motion::planFront(double now, double from, double speed)
{
    const Block &front = blocks.front();
    profile = Profile::plan(speed, exitLimit(), front.nominal, front.acceleration,
                            std::max(0.0, front.length - from));
    profileStart = now;
    profileFrom = from;
    heldClock = 0;
}

double Motion::clock(double now) const
{
    return held ? heldClock : now - profileStart;
}

void Motion::advance(double now)
{
    while (!blocks.empty() && !held) {
        const double end = profileStart + profile.duration();
        if (now < end)
            return;
        const double exit = profile.exit;
        if (traced)
            traced(blocks.front().note, start, blocks.front().target);
        start = blocks.front().target;
        blocks.pop_front();
        if (!blocks.empty())
            planFront(end, 0, exit);
    }
}

Vec3 Motion::position(double now) const
{
    if (blocks.empty())
        return start;
    const Block &block = blocks.front();
    const double along = std::min(profileFrom + profile.distanceAt(clock(now)), block.length);
    return start + block.unit * along;
}

double Motion::currentFeed(double now) const
{
    if (blocks.empty() || held)
        return 0;
    return profile.speedAt(clock(now)) * 60;
}

double Motion::nextEvent() const
{
    if (blocks.empty() || held)
        return std::numeric_limits<double>::infinity();
    return profileStart + profile.duration();
}

void Motion::hold(double now)
{
    if (blocks.empty() || held)
        return;
    heldClock = std::min(now - profileStart, profile.duration());
    held = true;
}

void Motion::pause(double now)
{
    if (!blocks.empty())
        return hold(now);
    heldClock = 0;
    held = true;
}

std::optional<Motion::Front> Motion::front() const
{
    if (blocks.empty())
        return std::nullopt;
    const Block &block = blocks.front();
    return Front{block.requestedFeed, block.nominal * 60, block.maxNominal * 60};
}

void Motion::resume(double now)
{
    if (!held)
        return;
    held = false;
    profileStart = now - heldClock;
}

void Motion::stop(double now)
{
    const Vec3 reached = position(now);
    if (traced && !blocks.empty() && length(reached - start) > 0)
        traced(blocks.front().note, start, reached);
    start = reached;
    blocks.clear();
    held = false;
}
