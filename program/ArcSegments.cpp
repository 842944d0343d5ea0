#include "ArcSegments.h"

#include <algorithm>
#include <cmath>

ArcSegments::ArcSegments(const Move &arc, double tolerance)
    : start{arc.start[0], arc.start[1], arc.start[2]}, last{arc.end[0], arc.end[1], arc.end[2]},
      i(arc.i), j(arc.j), sx(-arc.i), sy(-arc.j)
{
    const double radius = std::hypot(i, j);
    // From the centre to the end; the same direction as to the start makes a full circle.
    const double ex = last[0] - (start[0] + i), ey = last[1] - (start[1] + j);
    sweep = std::atan2(sx * ey - sy * ex, sx * ex + sy * ey);
    if (arc.motion == LineWords::Clockwise && sweep >= -5e-7)
        sweep -= 2 * M_PI;
    else if (arc.motion == LineWords::CounterClockwise && sweep <= 5e-7)
        sweep += 2 * M_PI;
    const double room = tolerance * (2 * radius - tolerance);
    const double fitting =
        room > 0 ? std::floor(std::fabs(0.5 * sweep * radius) / std::sqrt(room)) : 1.0;
    segments = int(std::clamp(std::isfinite(fitting) ? fitting : 1.0, 1.0, double(maxSegments)));
}

ArcSegments::Point ArcSegments::end(int k) const
{
    if (k >= segments)
        return last;
    const double angle = sweep * k / segments;
    return {start[0] + i + sx * std::cos(angle) - sy * std::sin(angle),
            start[1] + j + sx * std::sin(angle) + sy * std::cos(angle),
            start[2] + (last[2] - start[2]) * k / segments};
}
