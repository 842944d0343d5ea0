#include "PathBuilder.h"

#include <QLineF>

#include <cmath>

PathBuilder::PathBuilder(QVector<PathPoint> &out, const MachineState &state, int room)
    : out(out), machine(state), room(room)
{
}

void PathBuilder::run(const LineWords &line)
{
    const Move move = machine.run(line);
    if (move.kind == Move::Straight)
        append(move.end[0], move.end[1], move.end[2], move.motion);
    else if (move.kind == Move::Arc)
        appendArc(move);
}

namespace {

constexpr double radiansPerDegree = 0.017453292519943295;

// Counter-clockwise from +X with Y up, in (0, 360]: +X gives 360, not 0.
double directionDegrees(const QPointF &centre, const QPointF &point)
{
    return 360 - QLineF(centre, point).angle();
}

} // namespace

void PathBuilder::appendArc(const Move &move)
{
    const int g = move.motion;
    const QPointF centre(double(move.start[0]) + move.i, double(move.start[1]) + move.j);
    const QPointF start(move.start[0], move.start[1]);
    const double radius = QLineF(centre, start).length();
    double a1 = directionDegrees(centre, start);
    double a2 = directionDegrees(centre, QPointF(move.end[0], move.end[1]));
    double step = std::min(10.0, 360 / radius);
    if (g == 3) {
        if (a1 >= a2)
            a2 += 360;
    } else {
        step = -step;
        if (a2 >= a1)
            a1 += 360;
    }
    const double sweep = std::abs(a1 - a2);
    if (sweep / std::abs(step) > maxArcSteps)
        step = std::copysign(sweep / maxArcSteps, step);
    const double zStep = (double(move.end[2]) - move.start[2]) / (sweep / std::abs(step));

    // A zero radius would put every intermediate point onto the start point.
    const bool drawable = radius > 0 && std::isfinite(radius) && std::isfinite(a1) &&
                          std::isfinite(a2) && std::isfinite(zStep);
    double angle = a1;
    double z = move.start[2];
    // Counted as well: a step below the angle's precision would never reach the end angle.
    for (int steps = 0; drawable && !full && steps < maxArcSteps; ++steps) {
        angle += step;
        z += zStep;
        if (!(g == 3 ? angle < a2 : angle > a2))
            break;
        append(centre.x() + radius * std::cos(angle * radiansPerDegree),
               centre.y() + radius * std::sin(angle * radiansPerDegree), z, g);
    }
    append(move.end[0], move.end[1], move.end[2], g);
}

void PathBuilder::append(double x, double y, double z, int g)
{
    const PathPoint point{float(x), float(y), float(z), float(g)};
    if (!std::isfinite(point.x) || !std::isfinite(point.y) || !std::isfinite(point.z))
        return;
    if (room <= 0) {
        full = true;
        return;
    }
    --room;
    out.append(point);
}
