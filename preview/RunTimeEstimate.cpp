#include "RunTimeEstimate.h"

#include "program/MachineState.h"
#include "VectorUnits.h"

#include <algorithm>
#include <cmath>

namespace {

using Point = std::array<double, 3>;

Point startOf(const Move &move)
{
    return {move.start[0], move.start[1], move.start[2]};
}

Point endOf(const Move &move)
{
    return {move.end[0], move.end[1], move.end[2]};
}

// The controller's straight segments along an arc: as many as keep each chord within the arc
// tolerance of the circle, the last ending exactly on the end point, Z moving evenly along.
void addArc(const Move &move, double tolerance, int line, MotionTimeline &timeline)
{
    const Point start = startOf(move), end = endOf(move);
    const double radius = std::hypot(move.i, move.j);
    // From the centre to the start and to the end; the same direction makes a full circle.
    const double sx = -move.i, sy = -move.j;
    const double ex = end[0] - (start[0] + move.i), ey = end[1] - (start[1] + move.j);
    double sweep = std::atan2(sx * ey - sy * ex, sx * ex + sy * ey);
    if (move.motion == LineWords::Clockwise && sweep >= -5e-7)
        sweep -= 2 * M_PI;
    else if (move.motion == LineWords::CounterClockwise && sweep <= 5e-7)
        sweep += 2 * M_PI;
    const double room = tolerance * (2 * radius - tolerance);
    const double fitting =
        room > 0 ? std::floor(std::fabs(0.5 * sweep * radius) / std::sqrt(room)) : 1.0;
    const int segments = int(std::clamp(std::isfinite(fitting) ? fitting : 1.0, 1.0, 100000.0));
    Point from = start;
    for (int k = 1; k <= segments; ++k) {
        Point to = end;
        if (k < segments) {
            const double angle = sweep * k / segments;
            to[0] = start[0] + move.i + sx * std::cos(angle) - sy * std::sin(angle);
            to[1] = start[1] + move.j + sx * std::sin(angle) + sy * std::cos(angle);
            to[2] = start[2] + (end[2] - start[2]) * k / segments;
        }
        timeline.addMove(from, to, move.feed, line);
        from = to;
    }
}

void addMove(const Move &move, double tolerance, int line, MotionTimeline &timeline)
{
    if (move.kind == Move::None || (move.motion != LineWords::Rapid && move.feed <= 0))
        return;
    const double feed = move.motion == LineWords::Rapid ? 0 : move.feed;
    if (move.kind == Move::Straight)
        timeline.addMove(startOf(move), endOf(move), feed, line);
    else
        addArc(move, tolerance, line, timeline);
}

} // namespace

RunTimeEstimate estimateRunTime(QStringView program, const MachineLimits &limits,
                                const MachineState &start)
{
    clearUpperVectorState();
    RunTimeEstimate estimate;
    const auto lines = std::count(program.begin(), program.end(), QLatin1Char('\n')) + 1;
    estimate.secondsAtLineEnd.assign(size_t(lines), 0.0);
    MotionTimeline timeline(limits, estimate.secondsAtLineEnd);
    MachineState state = start;
    int line = 0;
    for (qsizetype start = 0; start < program.size();) {
        qsizetype length = 0;
        const LineWords words = readLineWords(program.mid(start), &length);
        if (!words.refused && words.stops)
            timeline.stop(words.dwell && words.has(LineWords::P) ? words.p : 0.0, line);
        addMove(state.run(words), limits.arcTolerance, line, timeline);
        start += length;
        line += start < program.size() && program[start] == QLatin1Char('\n');
        ++start;
    }
    estimate.totalSeconds = timeline.finish();
    // A line without motion ends when the lines before it have ended.
    for (size_t n = 1; n < estimate.secondsAtLineEnd.size(); ++n)
        estimate.secondsAtLineEnd[n] =
            std::max(estimate.secondsAtLineEnd[n], estimate.secondsAtLineEnd[n - 1]);
    return estimate;
}
