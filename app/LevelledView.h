#pragma once

#include "preview/PathInterpreter.h"
#include "preview/PathPoint.h"
#include "program/LevelledProgram.h"

#include <QVector>

#include <memory>

// The program as the kept height map makes it, with the preview's path of it.
struct LevelledView
{
    LevelledProgram program;
    PathInterpreter reader; // its blocks are the levelled lines
    QVector<PathPoint> path;

    // Off the GUI thread: the path is read in `modes`, as the editor's own is.
    static std::shared_ptr<LevelledView> make(const QString &text, const HeightMap &map,
                                              const MachineState &modes);
};
