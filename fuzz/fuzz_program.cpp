// A program as the job and the preview read it: the job's cleaning, refusals and stops, the
// running-time estimate, and the toolpath, whatever the text. What the job would send never
// holds a realtime byte or more than the controller's line buffer takes; the preview's path
// after an edit is the one reading the edited text whole gives.
#include "FuzzInput.h"

#include "machine/Job.h"
#include "program/JobProgram.h"
#include "program/ProgramLine.h"
#include "preview/PathInterpreter.h"
#include "preview/RunTimeEstimate.h"

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
    checkEdit(text);
    return 0;
}
