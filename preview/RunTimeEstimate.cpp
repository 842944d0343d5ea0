#include "RunTimeEstimate.h"

#include "VectorUnits.h"
#include "program/ArcSegments.h"
#include "program/MachineState.h"

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

void addArc(const Move &move, double tolerance, int line, MotionTimeline &timeline)
{
    const ArcSegments arc(move, tolerance);
    Point from = startOf(move);
    for (int k = 1; k <= arc.count(); ++k) {
        const Point to = arc.end(k);
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
