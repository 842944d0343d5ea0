#pragma once

#include "LineWords.h"
#include "PathPoint.h"

#include <QVector>

// The values a program line leaves to the next ones. I and J are kept too: an arc without them
// reuses the last offsets given.
struct MachineState
{
    float x = 0;
    float y = 0;
    float z = 0;
    float i = 0;
    float j = 0;

    void apply(const LineWords &words);
    // Bit for bit: -0 and 0 lead to different points.
    bool sameAs(const MachineState &other) const;
};

// Runs program lines one after another and appends the points each reaches: straight moves for
// G0 and G1, arcs in the XY plane around the centre offsets I and J for G2 and G3, with Z
// changing along the arc.
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

    // Appends to out; last is the point the next move starts from; room is how many points may
    // still be appended.
    PathBuilder(QVector<PathPoint> &out, const PathPoint &last, const MachineState &state,
                int room);

    void run(const LineWords &words);

    const MachineState &state() const { return machine; }
    const PathPoint &lastPoint() const { return last; }
    bool isFull() const { return full; }

private:
    void appendArc(int g);
    void append(double x, double y, double z, int g);

    QVector<PathPoint> &out;
    PathPoint last;
    MachineState machine;
    int room;
    bool full = false;
};
