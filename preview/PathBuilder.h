#pragma once

#include "program/MachineState.h"
#include "PathPoint.h"

#include <QVector>

// Runs program lines one after another and appends the points each move reaches: the end of a
// straight move, and for an arc in the XY plane the points of its sweep in steps of 10 degrees
// (360 / radius for a radius beyond 36) and its exact end, with Z changing along the arc.
//
// Three limits keep absurd programs from eating memory or time, and none of them touches a
// sensible program: an arc gets at most maxArcSteps intermediate points (a larger step beyond
// that), the path holds at most pointLimit points, and a point with a coordinate beyond the
// float range is left out, so it cannot blow up the envelope.
class PathBuilder
{
public:
    static constexpr int maxArcSteps = 3600;
    static constexpr int pointLimit = 10'000'000;

    // Appends to out; room is how many points may still be appended.
    PathBuilder(QVector<PathPoint> &out, const MachineState &state, int room);

    void run(const LineWords &line);

    const MachineState &state() const { return machine; }
    bool isFull() const { return full; }

private:
    void appendArc(const Move &move);
    void append(double x, double y, double z, int g);

    QVector<PathPoint> &out;
    MachineState machine;
    int room;
    bool full = false;
};
