#include "StartFromLine.h"

#include "JobProgram.h"
#include "LineWords.h"
#include "MachineState.h"
#include "ProgramLine.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double mmPerInch = 25.4;

enum class Axis : quint8
{
    Unset, // not moved yet: the machine stays where it is, as for a run from the top
    Set,
    Lost,    // moved where the program cannot tell (a probe, G28, G30, G53, G92): no way in
    Relative // moved by G91 from wherever the program started: no point to go to
};

QString number(double millimetres, bool inches)
{
    return ModalState::plainNumber(inches ? millimetres / mmPerInch : millimetres);
}

bool isPlunge(const Move &move)
{
    return move.kind == Move::Straight && move.motion == LineWords::Linear &&
           move.start[0] == move.end[0] && move.start[1] == move.end[1] &&
           move.end[2] < move.start[2];
}

bool goesHome(const QString &cleaned)
{
    for (const ProgramLine::Word &word : ProgramLine::words(cleaned)) {
        if (word.letter == 'G' && (word.value == 28 || word.value == 30))
            return true;
    }
    return false;
}

// Where the program has the machine before `line`, read entry by entry as the job sends it.
struct Reading
{
    ModalState modes;
    MachineState machine;
    Axis axes[3] = {Axis::Unset, Axis::Unset, Axis::Unset};
    int lostAt = 0;
    int relativeAt = 0;
    double highestZ = -INFINITY;
    double plungeFeed = 0;

    void take(const QByteArray &bytes, int editorLine)
    {
        const QString text = QString::fromLatin1(bytes);
        modes.apply(text);
        const LineWords words = readLineWords(text);
        const Move move = machine.run(words);
        const bool placed =
            words.motion == LineWords::Probe || (words.special && !words.toolLength);
        // G28 and G30 without axis words send every axis to a stored place.
        const bool allAxes = !(words.present & LineWords::Axes) && goesHome(text);
        for (int axis = 0; axis < 3; ++axis) {
            if ((!(words.present & (LineWords::X << axis)) && !allAxes) || words.dwell ||
                words.refused)
                continue;
            if (placed)
                lostAt = editorLine;
            const bool fromUnknown = modes.incremental && axes[axis] != Axis::Set;
            if (fromUnknown && !placed && move.kind != Move::None && axes[axis] != Axis::Relative)
                relativeAt = editorLine;
            axes[axis] = placed                    ? Axis::Lost
                         : move.kind == Move::None ? axes[axis]
                         : fromUnknown             ? Axis::Relative
                                                   : Axis::Set;
        }
        if (move.kind != Move::None && axes[2] == Axis::Set)
            highestZ = std::max({highestZ, double(move.start[2]), double(move.end[2])});
        if (isPlunge(move))
            plungeFeed = move.feed;
    }
};

// An arc line without its own G word runs in the arc mode in force; the way in leaves the
// machine in G0 or G1, so the line takes the word along.
QString arcPrefix(const QByteArray &first, int motion)
{
    const LineWords words = readLineWords(QString::fromLatin1(first));
    const bool bareAxes =
        (words.present & LineWords::Axes) && words.motion == LineWords::NoMotion && !words.special;
    return bareAxes && (motion == 20 || motion == 30) ? QStringLiteral("G%1 ").arg(motion / 10)
                                                      : QString();
}

} // namespace

// Modes first, so every number after them is read in the program's units and work system;
// the tool; the spindle, with time to come up to speed; then up, over and down, and the
// program's own distance mode, motion mode and feed back.
static QStringList wayInLines(const StartFromLine &start, const StartFromLine::Settings &settings)
{
    const ModalState &modes = start.modes;
    const bool inches = modes.inches;
    QStringList lines{QStringLiteral("G%1 G%2 G90 G94 G%3")
                          .arg(modes.plane)
                          .arg(inches ? 20 : 21)
                          .arg(modes.system)};
    if (modes.toolLength)
        lines << QStringLiteral("G43.1 Z%1").arg(number(*modes.toolLength, inches));
    if (start.toolChangeLine > 0 && start.tool >= 0)
        lines << QStringLiteral("T%1 M6").arg(start.tool);
    if (modes.spindle != 5) {
        lines << QStringLiteral("M%1 S%2").arg(modes.spindle).arg(number(modes.speed, false));
        if (settings.dwellSeconds > 0)
            lines << QStringLiteral("G4 P%1").arg(number(settings.dwellSeconds, false));
    }
    if (modes.flood)
        lines << QStringLiteral("M8");
    if (modes.mist)
        lines << QStringLiteral("M7");
    lines << QStringLiteral("G0 Z%1").arg(number(start.safeZ, inches));
    QString over;
    for (int axis = 0; axis < 2; ++axis) {
        if (start.axisSet[axis])
            over += QStringLiteral(" %1%2")
                        .arg(QLatin1Char("XY"[axis]))
                        .arg(number(start.position[axis], inches));
    }
    if (!over.isEmpty())
        lines << QStringLiteral("G0") + over;
    if (start.axisSet[2] && start.position[2] < start.safeZ)
        lines << QStringLiteral("G1 Z%1 F%2")
                     .arg(number(start.position[2], inches), number(start.plungeFeed, inches));
    ModalState during = modes;
    for (const QString &line : qAsConst(lines))
        during.apply(line);
    lines << modes.restoreWords(during);
    return lines;
}

StartFromLine StartFromLine::plan(QStringView program, int line, const Settings &settings)
{
    StartFromLine start;
    const JobProgram job = JobProgram::read(program);
    if (const auto &refusal = job.refusal()) {
        start.refusal = QStringLiteral("line %1: %2").arg(refusal->line).arg(refusal->reason);
        return start;
    }
    Reading reading;
    int index = 0;
    for (; index < job.size(); ++index) {
        const int editorLine = job.editorLine(index);
        if (editorLine >= line && !job.bytes(index).isEmpty())
            break;
        if (job.kind(index) == JobProgram::Kind::ToolChange) {
            start.toolChangeLine = editorLine;
            start.tool = job.toolChange(index).tool;
        }
        reading.take(job.bytes(index), editorLine);
    }
    if (index == job.size()) {
        const bool ended = job.size() > 0 && job.kind(job.size() - 1) == JobProgram::Kind::End;
        start.refusal = ended ? QStringLiteral("line %1 comes after the program's end").arg(line)
                              : QStringLiteral("nothing to run from line %1 on").arg(line);
        return start;
    }
    start.line = job.editorLine(index);
    for (int axis = 0; axis < 3; ++axis) {
        if (reading.axes[axis] == Axis::Lost) {
            start.refusal = QStringLiteral("where the program stands before line %1 is not "
                                           "known after line %2 (a probe, G28, G30, G53 or G92)")
                                .arg(start.line)
                                .arg(reading.lostAt);
            return start;
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        if (reading.axes[axis] == Axis::Relative) {
            start.refusal = QStringLiteral("where the program stands before line %1 is not "
                                           "known: line %2 moves by G91 before any absolute "
                                           "point")
                                .arg(start.line)
                                .arg(reading.relativeAt);
            return start;
        }
    }
    ModalState atLine = reading.modes;
    atLine.apply(QString::fromLatin1(job.bytes(index)));
    if (atLine.inverseTime) {
        start.refusal = QStringLiteral("line %1 moves in G93 inverse time, which no way in can "
                                       "lead into")
                            .arg(start.line);
        return start;
    }
    start.modes = reading.modes;
    const float reached[] = {reading.machine.x, reading.machine.y, reading.machine.z};
    for (int axis = 0; axis < 3; ++axis) {
        start.axisSet[axis] = reading.axes[axis] == Axis::Set;
        start.position[axis] = double(reached[axis]);
    }
    start.safeZ = std::max(settings.clearance, reading.highestZ);
    start.plungeFeed = reading.plungeFeed > 0 ? reading.plungeFeed : settings.plungeFeed;
    start.motionPrefix = arcPrefix(job.bytes(index), reading.modes.motion);
    start.wayIn = wayInLines(start, settings);
    return start;
}
