#pragma once

#include "ModalState.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// A program started at one of its lines: what the lines before it leave in force, read as the
// job and the preview read them, and the way in that brings the machine there without cutting
// on the way: the modes, the tool, the spindle at speed, up to a safe height, over, and down at
// the plunge feed.
struct StartFromLine
{
    struct Settings
    {
        double clearance = 5;    // mm above work zero, at least, for the way over
        double dwellSeconds = 3; // for the spindle to reach its speed
        double plungeFeed = 100; // mm/min, where the program has no Z-only feed move before
    };

    int line = 0;            // the editor line the job goes on with: the one asked for, or the next
                             // one that does something
    QString refusal;         // why it cannot start there; empty when it can
    ModalState modes;        // in force before `line`
    bool axisSet[3] = {};    // the program had moved the axis before `line`
    double position[3] = {}; // where it stands then: mm, program coordinates
    double safeZ = 0;        // mm
    double plungeFeed = 0;   // mm/min
    int toolChangeLine = 0;  // the last tool change before `line`, 0 when none
    int tool = -1;           // the T word in force, -1 when none
    QStringList wayIn;       // what goes to the controller before `line`, in the program's units
    // Put before the words of `line`: the arc mode an arc without its own G word runs in.
    QString motionPrefix;

    static StartFromLine plan(QStringView program, int line, const Settings &settings);
};
