#include "MachineState.h"

#include <cmath>
#include <cstring>

namespace {

// The centre of an arc by its radius: a positive radius takes the shorter way round, a
// negative one the longer. The controller refuses a radius shorter than half the chord, and a
// radius for an arc that ends where it starts, whose centre the radius cannot tell.
bool centreByRadius(const LineWords &line, float unit, Move &move)
{
    const double dx = double(move.end[0]) - double(move.start[0]);
    const double dy = double(move.end[1]) - double(move.start[1]);
    const double radius = double(line.r * unit);
    const double heightSquared = 4 * radius * radius - dx * dx - dy * dy;
    const double chord = std::hypot(dx, dy);
    if (heightSquared < 0 || chord == 0)
        return false;
    double height = -std::sqrt(heightSquared) / chord;
    if (move.motion == LineWords::CounterClockwise)
        height = -height;
    if (radius < 0)
        height = -height;
    move.i = 0.5 * (dx - dy * height);
    move.j = 0.5 * (dy + dx * height);
    return true;
}

// The controller refuses an arc without an axis word in its plane, and one with neither a
// radius nor a centre offset; a missing offset counts as 0.
bool placeArc(const LineWords &line, float unit, Move &move)
{
    if (!(line.present & (LineWords::X | LineWords::Y)))
        return false;
    if (line.has(LineWords::R))
        return centreByRadius(line, unit, move);
    if (!(line.present & (LineWords::I | LineWords::J)))
        return false;
    move.i = line.has(LineWords::I) ? double(line.i * unit) : 0.0;
    move.j = line.has(LineWords::J) ? double(line.j * unit) : 0.0;
    return true;
}

} // namespace

Move MachineState::run(const LineWords &line)
{
    if (line.refused)
        return {};
    MachineState next = *this;
    if (line.units != LineWords::UnitsUnsaid)
        next.inches = line.units == LineWords::Inches;
    if (line.distance != LineWords::DistanceUnsaid)
        next.incremental = line.distance == LineWords::Incremental;
    const float unit = next.inches ? 25.4f : 1.0f;
    if (line.has(LineWords::F))
        next.feed = line.f * unit;
    if (line.motion != LineWords::NoMotion)
        next.motion = line.motion;
    Move move;
    const bool moves = (line.present & LineWords::Axes) && !line.special;
    if (moves && !next.placeMove(line, unit, move))
        return {};
    *this = next;
    return move;
}

// False when the controller refuses the line.
bool MachineState::placeMove(const LineWords &line, float unit, Move &move)
{
    if (motion == LineWords::Cancel)
        return false; // axis words, and no motion to use them
    if (motion == LineWords::Probe)
        return true; // where a probe stops is known only when it touches
    move.kind = motion >= LineWords::Clockwise ? Move::Arc : Move::Straight;
    move.motion = motion;
    move.feed = feed;
    float *const axes[] = {&x, &y, &z};
    const float values[] = {line.x, line.y, line.z};
    for (int axis = 0; axis < 3; ++axis) {
        float &position = *axes[axis];
        move.start[axis] = position;
        if (line.present & (LineWords::X << axis))
            position = incremental ? position + values[axis] * unit : values[axis] * unit;
        move.end[axis] = position;
    }
    return move.kind == Move::Straight || placeArc(line, unit, move);
}

bool MachineState::sameAs(const MachineState &other) const
{
    return std::memcmp(&x, &other.x, 4 * sizeof(float)) == 0 && motion == other.motion &&
           incremental == other.incremental && inches == other.inches;
}
