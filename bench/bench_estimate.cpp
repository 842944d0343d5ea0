// The station's estimate of a program's running time beside the virtual controller's run of it,
// streamed through its serial link at a raised time scale: the example part and a generated mix
// of ten thousand short and long moves, with the factory settings.
#include "SerialClient.h"
#include "SimProcess.h"

#include "preview/RunTimeEstimate.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <random>

namespace {

QString shortAndLongMoves(int lines)
{
    std::mt19937 random(4711);
    std::uniform_real_distribution<double> unit(0, 1);
    QString program = "G21 G90\nG0 Z1\n";
    double x = 0, y = 0;
    for (int n = 2; n < lines; ++n) {
        const bool longMove = unit(random) < 0.2;
        const double length = longMove ? 5 + 25 * unit(random) : 0.2 + 1.8 * unit(random);
        const double angle = 2 * M_PI * unit(random);
        x = std::clamp(x + length * std::cos(angle), -60.0, 60.0);
        y = std::clamp(y + length * std::sin(angle), -60.0, 60.0);
        if (n % 50 == 0)
            program += QString::asprintf("G0 X%.3f Y%.3f\n", x, y);
        else
            program += QString::asprintf("G1 X%.3f Y%.3f F%d\n", x, y, 200 + 100 * (n % 4));
    }
    return program;
}

// About 20 s of real time, and never less than ten times as fast as the machine.
void compare(const char *name, const QString &program)
{
    const double estimated = estimateRunTime(program).totalSeconds;
    const double scale = std::max(10.0, std::round(estimated / 20));
    SimProcess sim({"--time-scale", QString::number(scale)});
    if (!sim.start())
        qFatal("no controller");
    SerialClient client(sim.linkPath());
    client.readUntil("help]\r\n");
    QStringList lines = program.split('\n');
    lines.removeAll(QString());
    const double ran = client.runProgram(lines, scale);
    std::printf("%-30s %6d lines: ran %8.1f s (time scale %.0f), estimated %8.1f s, "
                "error %+.2f %%\n",
                name, int(lines.size()), ran, scale, estimated, 100 * (estimated - ran) / ran);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QFile part(QStringLiteral(ORLO_SOURCE_DIR "/examples/part.nc"));
    if (!part.open(QIODevice::ReadOnly))
        qFatal("no example part");
    compare("examples/part.nc", QString::fromUtf8(part.readAll()));
    compare("short and long moves", shortAndLongMoves(10000));
    return 0;
}
