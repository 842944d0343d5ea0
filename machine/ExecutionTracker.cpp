#include "ExecutionTracker.h"

#include "program/ProgramLine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double twoPi = 6.283185307179586;

double distance(const ExecutionTracker::Point &a, const ExecutionTracker::Point &b)
{
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

double distanceToSegment(const ExecutionTracker::Point &p, const ExecutionTracker::Point &a,
                         const ExecutionTracker::Point &b)
{
    double along = 0;
    double lengthSquared = 0;
    for (size_t axis = 0; axis < 3; ++axis) {
        along += (p[axis] - a[axis]) * (b[axis] - a[axis]);
        lengthSquared += (b[axis] - a[axis]) * (b[axis] - a[axis]);
    }
    const double t = lengthSquared > 0 ? std::clamp(along / lengthSquared, 0.0, 1.0) : 0.0;
    ExecutionTracker::Point nearest{};
    for (size_t axis = 0; axis < 3; ++axis)
        nearest[axis] = a[axis] + t * (b[axis] - a[axis]);
    return distance(p, nearest);
}

// The angle from `from` to `to` turning the arc's way, in [0, 2 pi).
double turned(double from, double to, bool clockwise)
{
    double angle = clockwise ? from - to : to - from;
    angle = std::fmod(angle, twoPi);
    return angle < 0 ? angle + twoPi : angle;
}

// Words the path reading passes over but the controller's coordinates do not: another work
// system than the one in use (CAM programs name the one in use at their start), or a tool length
// offset.
bool shiftsCoordinates(QStringView line, int &system)
{
    bool shifts = false;
    for (const ProgramLine::Word &word : ProgramLine::words(line)) {
        const int g = int(std::round(word.value * 10));
        if (word.letter != 'G')
            continue;
        if (g >= 540 && g <= 590 && g % 10 == 0) {
            shifts = shifts || g / 10 != system;
            system = g / 10;
        }
        shifts = shifts || g == 431 || g == 490;
    }
    return shifts;
}

} // namespace

void ExecutionTracker::start(const MachineState &initial, int workSystem)
{
    reader = initial;
    system = workSystem;
    pending.clear();
    nextEntry = first = restReports = 0;
}

void ExecutionTracker::confirmed(int entry, QStringView line)
{
    Step step;
    step.entry = entry;
    const LineWords words = readLineWords(line);
    const Move move = reader.run(words);
    if (words.refused || (words.special && !words.dwell) || shiftsCoordinates(line, system) ||
        (reader.motion == LineWords::Probe && (words.present & LineWords::Axes))) {
        step.kind = Step::Unknown;
    } else if (move.kind != Move::None) {
        step.kind = move.kind == Move::Arc ? Step::Arc : Step::Straight;
        for (size_t axis = 0; axis < 3; ++axis) {
            step.start[axis] = double(move.start[axis]);
            step.end[axis] = double(move.end[axis]);
        }
        step.centre = {step.start[0] + move.i, step.start[1] + move.j, 0};
        step.clockwise = move.motion == LineWords::Clockwise;
    }
    pending.push_back(step);
    nextEntry = entry + 1;
    restReports = 0;
}

bool ExecutionTracker::onStep(const Step &step, const Point &p)
{
    if (step.kind == Step::Straight)
        return distanceToSegment(p, step.start, step.end) <= tolerance;
    if (step.kind != Step::Arc)
        return false;
    if (distance(p, step.start) <= tolerance || distance(p, step.end) <= tolerance)
        return true;
    const double cx = step.centre[0];
    const double cy = step.centre[1];
    const double radius = std::hypot(step.start[0] - cx, step.start[1] - cy);
    if (std::fabs(std::hypot(p[0] - cx, p[1] - cy) - radius) > tolerance)
        return false;
    const double startAngle = std::atan2(step.start[1] - cy, step.start[0] - cx);
    double sweep =
        turned(startAngle, std::atan2(step.end[1] - cy, step.end[0] - cx), step.clockwise);
    if (sweep < 1e-9)
        sweep = twoPi; // a full circle
    const double angle = turned(startAngle, std::atan2(p[1] - cy, p[0] - cx), step.clockwise);
    if (angle > sweep)
        return false;
    const double z = step.start[2] + (step.end[2] - step.start[2]) * angle / sweep;
    return std::fabs(p[2] - z) <= tolerance;
}

void ExecutionTracker::reported(const Point &work, bool atRest)
{
    restReports = atRest ? restReports + 1 : 0;
    // Right after an "ok" the controller may still say Idle before its motion starts; a second
    // report at rest, or the tool standing at the end of everything taken in, says it is done.
    if (atRest) {
        const Step *lastMove = nullptr;
        for (const Step &step : pending) {
            if (step.kind != Step::Still)
                lastMove = &step;
        }
        const bool atEnd = !lastMove || (lastMove->kind != Step::Unknown &&
                                         distance(lastMove->end, work) <= tolerance);
        if (atEnd || restReports >= 2)
            return finishAll(work);
    }
    for (size_t k = 0; k < pending.size(); ++k) {
        if (pending[k].kind == Step::Unknown)
            break;
        if (onStep(pending[k], work)) {
            pending.erase(pending.begin(), pending.begin() + long(k));
            break;
        }
    }
    first = pending.empty() ? nextEntry : pending.front().entry;
}

void ExecutionTracker::finishAll(const Point &work)
{
    pending.clear();
    first = nextEntry;
    reader.x = float(work[0]);
    reader.y = float(work[1]);
    reader.z = float(work[2]);
}
