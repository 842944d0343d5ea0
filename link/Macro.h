#pragma once

#include <QString>
#include <QStringList>

// A short sequence of lines the operator keeps under a name (the tool-change position, parking,
// a spindle warm-up), run through the session as typed lines are.
struct Macro
{
    // What the store keeps at most. No operator writes more; beyond it lies damaged data, which
    // is left out rather than cut, since a cut line could send another number than written.
    static constexpr int maxCount = 100;
    static constexpr int maxNameLength = 60;
    static constexpr int maxLines = 200;
    static constexpr int maxLineLength = 256;

    QString name;
    QStringList lines;
};
