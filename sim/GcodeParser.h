#pragma once

#include "Vec3.h"

#include <string>
#include <vector>

// The modal state of the firmware's G-code parser.
struct ParserState
{
    int motion = 0;       // 0, 1, 2, 3, 80, 382 (G38.2) or 383 (G38.3)
    int plane = 17;       // 17, 18, 19
    bool absolute = true; // G90
    bool inches = false;  // G20
    double feed = 0;      // mm/min
    double spindleSpeed = 0;
    int spindle = 5;    // 3, 4 or 5
    bool mist = false;  // M7
    bool flood = false; // M8
    Vec3 position;      // machine position at the end of everything planned so far
    Vec3 offset;        // G92: machine position = work position + offset
};

// What one accepted line asks of the machine, in the firmware's order.
struct LineAction
{
    struct Move
    {
        Vec3 target;       // machine coordinates
        double length = 0; // mm
        double feed = 0;   // mm/min; 0 means rapid
    };

    bool synchronise = false; // wait until all planned motion has finished
    double dwellSeconds = 0;
    std::vector<Move> moves;
    int probe = 0;           // 0 none, 2 for G38.2 (alarm without contact), 3 for G38.3
    bool programEnd = false; // M2 / M30
};

// Parses one line as the firmware's protocol layer leaves it: upper case, without blanks and
// comments. Returns "" and fills action (updating state) when accepted, otherwise the
// firmware's error text with state untouched. An arc becomes straight segments that keep within
// arcTolerance ($12, mm) of the circle.
std::string parseGcodeLine(const std::string &line, ParserState &state, LineAction &action,
                           double arcTolerance = 0.002);
