#pragma once

#include "preview/RunTimeEstimate.h"

#include <QString>
#include <QVector>

// What the window tells of a program before it runs: how long the controller will take, and
// where it stops for the operator (their time cannot be known, so it is not counted).
struct ProgramSurvey
{
    RunTimeEstimate estimate;
    QVector<int> toolChanges; // editor lines, from 1
    QVector<int> pauses;

    // "estimated 12:04", with the stops it leaves out.
    QString describe() const;
};

// Reads the whole text; a million lines take a good part of a second, so off the GUI thread.
// `start`: the modes the program begins in, as the preview reads it.
ProgramSurvey surveyProgram(const QString &program, const MachineLimits &limits,
                            const MachineState &start = {});
