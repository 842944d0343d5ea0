#pragma once

#include "Vec3.h"

#include <array>
#include <string>
#include <vector>

// The modal state of the firmware's G-code parser.
struct ParserState
{
    int motion = 0;           // 0, 1, 2, 3, 80, 382 (G38.2) or 383 (G38.3)
    int plane = 17;           // 17, 18, 19
    bool absolute = true;     // G90
    bool inches = false;      // G20
    bool inverseTime = false; // G93: F is the reciprocal of the minutes a move takes
    double feed = 0;          // mm/min; in G93 the F word as given
    double spindleSpeed = 0;
    int spindle = 5;             // 3, 4 or 5
    bool mist = false;           // M7
    bool flood = false;          // M8
    Vec3 position;               // machine position at the end of everything planned so far
    std::array<Vec3, 6> systems; // G54..G59 as G10 set them
    std::size_t system = 0;      // the one selected, 0 for G54
    Vec3 g92;
    double toolLength = 0; // G43.1, along Z
    int tool = 0;          // 1.1 reports the T word of the last line; 0.9 none
    // machine position = work position + work offset
    Vec3 workOffset() const { return systems[system] + g92 + Vec3{0, 0, toolLength}; }
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
    bool pause = false;      // M0: hold once everything before it is done
    bool jog = false;
    int toolNamed = -1; // the line's T word; none: -1
};

// Parses one line as the firmware's protocol layer leaves it: upper case, without blanks and
// comments. Returns Ok (0) and fills action (updating state) when accepted, otherwise the
// firmware's status code with state untouched. An arc becomes straight segments that keep
// within arcTolerance ($12, mm) of the circle.
// grbl11 picks 1.1's answer where the two versions disagree.
int parseGcodeLine(const std::string &line, ParserState &state, LineAction &action,
                   double arcTolerance = 0.002, bool grbl11 = false);
// The words after "$J=". A jog moves the machine but leaves the modal state as it was.
int parseJogLine(const std::string &line, ParserState &state, LineAction &action);
