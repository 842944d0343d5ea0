// A program as the job and the preview read it: the job's cleaning, refusals and stops, and
// the toolpath, whatever the text. What the job would send never holds a realtime byte or
// more than the controller's line buffer takes.
#include "FuzzInput.h"

#include "machine/Job.h"
#include "machine/JobProgram.h"
#include "machine/ProgramLine.h"
#include "preview/PathInterpreter.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = FuzzInput(data, size).text();
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

    QVector<PathPoint> path;
    PathInterpreter::interpretText(text, path);
    return 0;
}
