#pragma once

#include "HeightMap.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>

// A program that follows the stock's surface: every feed move cut into pieces no longer than the
// map's spacing in XY, each piece's Z raised or lowered by the map's height under it.
struct LevelledProgram
{
    QString text; // the program as it is sent and previewed; empty when refused
    // For each line of `text` (from 0): the operator's line it came from (from 1).
    QVector<int> sourceLine;
    QStringList warnings; // for the operator, e.g. "line 12 leaves the map by 7.5 mm"
    QString refusal;      // "line N: why", when the program cannot be levelled
    static LevelledProgram level(QStringView program, const HeightMap &map,
                                 double arcTolerance = 0.002);

    // Line `line` (from 1) of a levelled text as the operator's line; without a mapping, or for
    // 0, the line itself.
    static int operatorLine(int line, const QVector<int> &sourceLine);
    // What the job and the controller say of the levelled text's lines ("at line N"), in the
    // operator's lines.
    static QString inOperatorLines(const QString &text, const QVector<int> &sourceLine);
};
