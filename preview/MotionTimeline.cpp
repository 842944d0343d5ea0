#include "MotionTimeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double infinite = std::numeric_limits<double>::infinity();

// The largest value along a direction for which no axis goes beyond its own.
double alongAxes(const std::array<double, 3> &unit, const std::array<double, 3> &perAxis)
{
    double limit = infinite;
    for (size_t axis = 0; axis < 3; ++axis) {
        if (unit[axis] != 0)
            limit = std::min(limit, perAxis[axis] / std::fabs(unit[axis]));
    }
    return limit;
}

// Up from the entry speed, a cruise at the nominal speed if there is room for one, down to the
// exit speed.
double trapezoidSeconds(double entry, double exit, double nominal, double acceleration,
                        double length)
{
    const double a = std::max(acceleration, 1e-9);
    const double peak =
        std::max({std::min(nominal, std::sqrt(a * length + (entry * entry + exit * exit) / 2)),
                  entry, exit});
    const double speedingUp = (peak * peak - entry * entry) / (2 * a);
    const double slowingDown = (peak * peak - exit * exit) / (2 * a);
    const double cruise = std::max(0.0, length - speedingUp - slowingDown);
    return (peak - entry) / a + (peak > 0 ? cruise / peak : 0) + (peak - exit) / a;
}

} // namespace

bool MachineLimits::set(int number, double value)
{
    if (number >= 110 && number <= 112)
        maxRate[size_t(number - 110)] = value;
    else if (number >= 120 && number <= 122)
        acceleration[size_t(number - 120)] = value;
    else if (number == 11)
        junctionDeviation = value;
    else if (number == 12)
        arcTolerance = value;
    else
        return false;
    return true;
}

MotionTimeline::MotionTimeline(const MachineLimits &limits, std::vector<double> &lineEnds)
    : limits(limits), lineEnds(lineEnds)
{
}

// The speed at which the acceleration keeps a circle through the corner within the junction
// deviation of it. A straight continuation sets no limit; a reversal stops.
double MotionTimeline::junctionSpeed(const Planned &move) const
{
    if (last.nominal <= 0)
        return 0; // from rest
    double cosTheta = 0;
    for (size_t axis = 0; axis < 3; ++axis)
        cosTheta -= last.unit[axis] * move.unit[axis];
    if (cosTheta < -0.999999)
        return infinite;
    if (cosTheta > 0.999999)
        return 0;
    const double sinHalf = std::sqrt(0.5 * (1 - cosTheta));
    return std::sqrt(move.acceleration * limits.junctionDeviation * sinHalf / (1 - sinHalf));
}

void MotionTimeline::addMove(const std::array<double, 3> &from, const std::array<double, 3> &to,
                             double feed, int line)
{
    Planned move;
    for (size_t axis = 0; axis < 3; ++axis)
        move.unit[axis] = to[axis] - from[axis];
    move.length = std::sqrt(move.unit[0] * move.unit[0] + move.unit[1] * move.unit[1] +
                            move.unit[2] * move.unit[2]);
    if (!(move.length > 0) || !std::isfinite(move.length))
        return; // the controller moves no axis for it
    for (double &component : move.unit)
        component /= move.length;
    const double rate = feed > 0 ? feed : infinite;
    move.nominal = std::min(rate, alongAxes(move.unit, limits.maxRate)) / 60;
    move.acceleration = alongAxes(move.unit, limits.acceleration);
    move.maxEntry = std::min({junctionSpeed(move), move.nominal, last.nominal});
    move.line = line;
    last = move;
    planner.push_back(move);
    if (int(planner.size()) == plannerMoves)
        runFront();
}

// The fastest the move after the front one may be entered so that each move behind it can be
// entered within its own limit and the last can stop at its end.
double MotionTimeline::exitLimit() const
{
    double speed = 0;
    for (size_t index = planner.size() - 1; index >= 1; --index) {
        const Planned &move = planner[index];
        speed =
            std::min(move.maxEntry, std::sqrt(speed * speed + 2 * move.acceleration * move.length));
    }
    return speed;
}

void MotionTimeline::runFront()
{
    const Planned &front = planner.front();
    const double reachable =
        std::sqrt(frontEntry * frontEntry + 2 * front.acceleration * front.length);
    const double exit = std::min(exitLimit(), reachable);
    seconds += trapezoidSeconds(frontEntry, exit, front.nominal, front.acceleration, front.length);
    lineEnds[size_t(front.line)] = seconds;
    frontEntry = exit;
    planner.pop_front();
}

void MotionTimeline::stop(double dwellSeconds, int line)
{
    finish();
    last = Planned();
    seconds += std::max(0.0, dwellSeconds);
    lineEnds[size_t(line)] = seconds;
}

double MotionTimeline::finish()
{
    while (!planner.empty())
        runFront();
    frontEntry = 0;
    return seconds;
}
