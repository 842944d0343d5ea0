#pragma once

#include "link/Macro.h"

#include <QString>
#include <QStringList>

// One run of a macro: its lines in turn, each written once the controller has accepted the one
// before. Streamed ahead, the lines after a refused one would already sit in the controller's
// buffer and run without it; one at a time, a refusal stops the run with nothing after it sent.
class MacroRun
{
public:
    MacroRun() = default;
    // A line holding a line break is two lines, as the controller would read it.
    explicit MacroRun(const Macro &macro);

    bool isActive() const { return active; }
    const QString &name() const { return macroName; }
    const QStringList &lines() const { return macroLines; }
    // The line whose turn it is, as the operator wrote it.
    QString line() const { return macroLines.value(at); }

    // Its line needs nothing more; false when that was the last, and the run is over.
    bool advance();
    // What the operator is told: why it never began (nothing sent), why it stopped at its line
    // (and ends it), or that the controller took every line.
    QString notRun(const QString &why) const;
    QString stop(const QString &why);
    QString finished() const;

private:
    QString macroName;
    QStringList macroLines;
    int at = 0;
    bool active = false;
};
