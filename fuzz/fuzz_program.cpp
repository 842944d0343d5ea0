// A program as the job and the preview read it: the job's cleaning, refusals and stops, the
// running-time estimate, the toolpath, and the program levelled by a height map, whatever the
// text. What the job would send never holds a realtime byte or more than the controller's line
// buffer takes; the preview's path after an edit is the one reading the edited text whole
// gives; a levelled program the controller can take where the operator's could, each of its
// lines from one of theirs.
#include "FuzzInput.h"

#include "machine/Job.h"
#include "preview/PathInterpreter.h"
#include "preview/RunTimeEstimate.h"
#include "program/JobProgram.h"
#include "program/LevelledProgram.h"
#include "program/ProgramLine.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

void checkJob(const QString &text)
{
    const JobProgram program = JobProgram::read(text);
    for (int i = 0; i < program.size(); ++i) {
        const QString line = QString::fromLatin1(program.bytes(i));
        if (ProgramLine::check(line).fault != ProgramLine::Fault::None)
            std::abort();
    }
    Job job(program);
    for (int index = job.nextToSend(); index >= 0; index = job.nextToSend()) {
        job.sent(index);
        job.confirmed(index);
        job.machineStopped();
        job.cycleStart();
    }
    job.describe(0);
}

void checkLevelled(const QString &text)
{
    // Probed every metre: pieces for the longer moves, without a line of a few bytes making
    // more than the second an input may take.
    const HeightMap map({-1000, -1000, 1000, 1000, 3, 3}, {0, 1, 2, -1, 0, 1, -2, -1, 0});
    const LevelledProgram levelled = LevelledProgram::level(text, map);
    if (!levelled.refusal.isEmpty()) {
        if (!levelled.text.isEmpty())
            std::abort();
        return;
    }
    const QVector<int> &from = levelled.sourceLine;
    if (from.size() != levelled.text.count(QLatin1Char('\n')) + 1 ||
        !std::is_sorted(from.begin(), from.end()) || from.first() < 1 ||
        from.last() > text.count(QLatin1Char('\n')) + 1)
        std::abort();
    if (!JobProgram::read(text).refusal() && JobProgram::read(levelled.text).refusal())
        std::abort();
}

bool samePath(const QVector<PathPoint> &a, const QVector<PathPoint> &b)
{
    return a.size() == b.size() &&
           std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(PathPoint)) == 0;
}

// The text before the first 0x01 is the document; what follows replaces some of its lines.
void checkEdit(const QString &input)
{
    const int cut = input.indexOf(QChar(1));
    const QString before = cut < 0 ? input : input.left(cut);
    const QString inserted = cut < 0 ? QString() : input.mid(cut + 1);
    QStringList lines = before.split(QLatin1Char('\n'));
    const int first = int(qHash(inserted) % uint(lines.size()));
    const int removed = qMin(lines.size() - first, inserted.size() % 3);
    PathInterpreter reader;
    QVector<PathPoint> path;
    reader.replaceBlocks(0, 0, lines.join(QChar::ParagraphSeparator));
    reader.update(path);
    const QStringList insertedLines = inserted.split(QLatin1Char('\n'));
    reader.replaceBlocks(first, removed, insertedLines.join(QChar::ParagraphSeparator));
    const bool drawn = reader.update(path);
    for (int i = 0; i < removed; ++i)
        lines.removeAt(first);
    for (int i = insertedLines.size() - 1; i >= 0; --i)
        lines.insert(first, insertedLines.at(i));
    QVector<PathPoint> whole;
    if (PathInterpreter::interpretText(lines.join(QLatin1Char('\n')), whole) && drawn &&
        !samePath(path, whole))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput(data, size).text();
    checkJob(text);
    estimateRunTime(text);
    checkLevelled(text);
    checkEdit(text);
    return 0;
}
