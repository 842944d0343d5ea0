#pragma once

#include "PathPoint.h"

#include <algorithm>

// The box around the program as the preview draws it. It always holds the origin, since its
// bounds start at 0; its top is the plane Z = 0 and it reaches 10 units beyond the path in X
// and Y.
struct Envelope
{
    float xMin = 0;
    float xMax = 0;
    float yMin = 0;
    float yMax = 0;
    float zMin = 0;
    float zMax = 0;

    void include(const PathPoint &point)
    {
        xMin = std::min(xMin, point.x);
        xMax = std::max(xMax, point.x);
        yMin = std::min(yMin, point.y);
        yMax = std::max(yMax, point.y);
        zMin = std::min(zMin, point.z);
        zMax = std::max(zMax, point.z);
    }

    void addMargins()
    {
        zMax = 0;
        xMin -= 10;
        yMin -= 10;
        xMax += 10;
        yMax += 10;
    }

    float width() const { return xMax - xMin; }
    float depth() const { return yMax - yMin; }
    float height() const { return zMax - zMin; }
};
