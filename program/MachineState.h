#pragma once

#include "LineWords.h"

// One move of a program line, in millimetres and program coordinates.
struct Move
{
    enum Kind : quint8
    {
        None,
        Straight,
        Arc
    };

    Kind kind = None;
    qint8 motion = LineWords::Rapid; // 0 to 3, the G number
    float feed = 0;                  // mm/min; 0 until the program gives one
    float start[3] = {};
    float end[3] = {};
    double i = 0; // arcs: the centre, as an offset from the start
    double j = 0;
};

// What the controller keeps from line to line, as far as the path and its timing depend on
// it: the position, the feed and the modes. Arithmetic on coordinates is in 32-bit floats, as
// the controller's.
struct MachineState
{
    float x = 0;
    float y = 0;
    float z = 0;
    float feed = 0;
    qint8 motion = LineWords::Rapid;
    bool incremental = false;
    bool inches = false;

    // Carries out one line: takes its modal words and returns the move it makes, if any. A line
    // the controller refuses changes nothing.
    Move run(const LineWords &line);
    // Bit for bit: -0 and 0 lead to different points.
    bool sameAs(const MachineState &other) const;

private:
    bool placeMove(const LineWords &line, float unit, Move &move);
};
