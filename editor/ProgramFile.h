#pragma once

#include <QString>

// Reading a G-code file into the editor: only its text up to the first NUL byte, decoded as
// UTF-8. Reading blocks, so it belongs off the GUI thread.
namespace ProgramFile {

// About two million lines of a usual program. The editor needs some twenty times a file's size
// in memory; a larger file is refused rather than allowed to exhaust it.
constexpr qint64 maxTextBytes = 64 * 1024 * 1024;

enum class Outcome
{
    Read,
    Unreadable,
    TooLarge
};

struct Reading
{
    Outcome outcome = Outcome::Unreadable;
    QString text;
};

// ".nc", ".cnc" or ".gcode", in any case.
bool hasProgramEnding(const QString &path);

Reading read(const QString &path);

} // namespace ProgramFile
