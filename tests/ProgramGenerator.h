#pragma once

#include <QStringList>

// A valid program of mixed line lengths (short moves, arcs, long commented lines over 60
// bytes), the kind a CAM post-processor writes.
QStringList generatedProgram(int lines, int seed = 1);
