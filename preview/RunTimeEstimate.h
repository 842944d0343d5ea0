#pragma once

#include "MotionTimeline.h"
#include "program/MachineState.h"

#include <QStringView>

#include <vector>

// How long the controller takes to run a program, and how far into the run each line ends.
struct RunTimeEstimate
{
    double totalSeconds = 0;
    // For each line of the text (a line feed ends one; the editor's block number): the seconds
    // from the start until the controller has finished the motion of that line and of every
    // line before it.
    std::vector<double> secondsAtLineEnd;

    // What is left once the given line has been run; all of it for a line before the first.
    double remainingAfter(int line) const
    {
        if (line < 0 || secondsAtLineEnd.empty())
            return totalSeconds;
        return totalSeconds - secondsAtLineEnd[size_t(std::min<qsizetype>(
                                  line, qsizetype(secondsAtLineEnd.size()) - 1))];
    }
};

// The program read as the controller reads it (see LineWords and MachineState), its arcs cut
// into the straight segments the controller runs (each within the arc tolerance of the circle),
// timed as its planner runs them (see MotionTimeline). Dwells add their time; a stop for the
// spindle, the coolant or a dwell lets the motion run out. Neither a feed move without a feed
// rate (the controller refuses it) nor a probe, nor what moves in machine coordinates (G28,
// G30, G53) takes any time here.
RunTimeEstimate estimateRunTime(QStringView program, const MachineLimits &limits = {},
                                const MachineState &start = {});
