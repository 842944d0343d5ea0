// Levelling a million-line program by a height map, beside the plain reading of the same text
// the job makes before it sends anything (JobProgram::read): a coarse map, where most moves stay
// one piece, and a fine one, where every move is cut into several.
#include "BenchProgram.h"

#include "program/JobProgram.h"
#include "program/LevelledProgram.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

using namespace BenchProgram;

namespace {

double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// The median of three runs, on the clock and in this thread's own CPU time: on a host shared
// with other work the second is what the code itself costs.
struct Timing
{
    double ms;
    double cpu;
};

Timing median(const std::function<void()> &run)
{
    QVector<Timing> runs;
    for (int k = 0; k < 3; ++k) {
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = cpuMs();
        run();
        runs << Timing{msSince(timer), cpuMs() - cpuBefore};
    }
    std::sort(runs.begin(), runs.end(), [](Timing a, Timing b) { return a.ms < b.ms; });
    return runs[1];
}

void level(const char *name, const QString &text, const HeightMap &map, Timing baseline)
{
    LevelledProgram levelled;
    const Timing took = median([&] { levelled = LevelledProgram::level(text, map); });
    std::printf("levelled, %-16s %7.1f ms (CPU %7.1f ms, %.2f times the plain reading's), "
                "%d lines out, %.1f MB, %d warnings%s\n",
                name, took.ms, took.cpu, took.cpu / baseline.cpu, int(levelled.sourceLine.size()),
                levelled.text.size() / 1e6, int(levelled.warnings.size()),
                levelled.refusal.isEmpty() ? "" : qPrintable(" REFUSED: " + levelled.refusal));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QString text = millionLines();
    std::printf("program: %d lines, %.1f MB of text\n", int(text.count('\n')),
                text.toUtf8().size() / 1e6);
    const Timing read = median([&] { JobProgram::read(text); });
    std::printf("baseline, JobProgram::read: %7.1f ms (CPU %7.1f ms), median of 3\n", read.ms,
                read.cpu);
    level("20 mm spacing:", text, wavedSurface(1000, 101), read);
    level("2 mm spacing:", text, wavedSurface(300, 301), read);
    std::printf("peak memory: %ld MB\n", peakRssMb());
    return 0;
}
