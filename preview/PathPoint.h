#pragma once

// One vertex of the preview toolpath; moveType is the G number (0 to 3) of the move that
// reached it.
struct PathPoint
{
    float x;
    float y;
    float z;
    float moveType;
};
