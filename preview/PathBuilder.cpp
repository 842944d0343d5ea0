#include "PathBuilder.h"

#include <QLineF>

#include <cmath>
#include <cstring>

void MachineState::apply(const LineWords &words)
{
    if (words.has(LineWords::X))
        x = words.x;
    if (words.has(LineWords::Y))
        y = words.y;
    if (words.has(LineWords::Z))
        z = words.z;
    if (words.has(LineWords::I))
        i = words.i;
    if (words.has(LineWords::J))
        j = words.j;
}

bool MachineState::sameAs(const MachineState &other) const
{
    return std::memcmp(this, &other, sizeof(MachineState)) == 0;
}

PathBuilder::PathBuilder(QVector<PathPoint> &out, const PathPoint &last, const MachineState &state,
                         int room)
    : out(out), last(last), machine(state), room(room)
{
}

void PathBuilder::run(const LineWords &words)
{
    machine.apply(words);
    switch (words.g) {
    case 0:
    case 1:
        append(machine.x, machine.y, machine.z, words.g);
        break;
    case 2:
    case 3:
        appendArc(words.g);
        break;
    default:
        break; // no G word, or one the preview does not draw (G17, G90, ...)
    }
}

namespace {

constexpr double radiansPerDegree = 0.017453292519943295;

// Counter-clockwise from +X with Y up, in (0, 360]: +X gives 360, not 0.
double directionDegrees(const QPointF &centre, const QPointF &point)
{
    return 360 - QLineF(centre, point).angle();
}

} // namespace

void PathBuilder::appendArc(int g)
{
    const QPointF centre(double(last.x) + machine.i, double(last.y) + machine.j);
    const QPointF start(last.x, last.y);
    const double radius = QLineF(centre, start).length();
    double a1 = directionDegrees(centre, start);
    double a2 = directionDegrees(centre, QPointF(machine.x, machine.y));
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
    const double zStep = (double(machine.z) - last.z) / (sweep / std::abs(step));

    // A zero radius would put every intermediate point onto the start point.
    const bool drawable = radius > 0 && std::isfinite(radius) && std::isfinite(a1) &&
                          std::isfinite(a2) && std::isfinite(zStep);
    double angle = a1;
    double z = last.z;
    // Counted as well: a step below the angle's precision would never reach the end angle.
    for (int steps = 0; drawable && !full && steps < maxArcSteps; ++steps) {
        angle += step;
        z += zStep;
        if (!(g == 3 ? angle < a2 : angle > a2))
            break;
        append(centre.x() + radius * std::cos(angle * radiansPerDegree),
               centre.y() + radius * std::sin(angle * radiansPerDegree), z, g);
    }
    append(machine.x, machine.y, machine.z, g);
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
    last = point;
}
