#pragma once

#include "MachineState.h"

#include <array>

// The controller's straight segments along an arc in the XY plane: as many as keep each chord
// within the arc tolerance ($12) of the circle, the last ending exactly on the end point, Z
// moving evenly along. Whatever follows the path the machine runs (the running time, a
// levelled program) cuts arcs here, so all of them cut the same segments.
class ArcSegments
{
public:
    using Point = std::array<double, 3>;
    // An arc of absurd size must not cost unbounded time: its chords grow instead.
    static constexpr int maxSegments = 100000;

    ArcSegments(const Move &arc, double tolerance);

    int count() const { return segments; }
    // Where segment k (1 to count()) ends, in the arc's millimetres.
    Point end(int k) const;

private:
    Point start;
    Point last;
    double i;
    double j;
    double sx; // from the centre to the start
    double sy;
    double sweep; // radians, negative clockwise
    int segments;
};
