// Streams a long program from the station to the virtual controller and reports throughput,
// CPU per line, event-loop stalls and memory, beside a baseline measured in the same run.
//
//   bench_streaming [--lines N] [--skip-paced] [--hide-preview]
//
// Paced, the terminal sender streams the program too, beside the station.
//
// Needs a display (run it under xvfb-run) and the grblsim binary built beside it.

#include "BenchProgram.h"
#include "EventLoopWatch.h"
#include "ProgramGenerator.h"

#include "app/MainWindow.h"
#include "link/SettingsDialog.h"
#include "link/TerminalCommunication.h"
#include "machine/StreamWindow.h"
#include "program/ProgramLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>

#include <array>
#include <malloc.h>
#include <sys/resource.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double heapMiB()
{
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

double residentMiB()
{
    return BenchProgram::statusKb("VmRSS:") / 1024.0;
}

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class Controller
{
public:
    Controller(const QString &directory, const QStringList &options)
    {
        link = directory + "/ttyGRBL";
        process.setProgram(QCoreApplication::applicationDirPath() + "/../sim/grblsim");
        process.setArguments(QStringList{"--link", link, "--stats", directory + "/stats"} +
                             options);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start();
        process.waitForReadyRead(5000);
    }
    ~Controller()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    QString link;
    QProcess process;
};

struct StationFigures
{
    double seconds = 0;
    double cpuPerLineUs = 0;
    double longestStallMs = 0;
    double heapBeforeMiB = 0;
    double heapAfterMiB = 0;
    double heapClearedMiB = 0;
    int terminalBlocks = 0;
    std::array<double, 3> residentAt{}; // MiB at 10, 50 and 100 % of the job
    bool complete = false;
};

bool hidePreview = false;

StationFigures streamWithStation(const QString &link, const QStringList &program)
{
    {
        QSettings store("Orlo", "Orlo-CNC");
        store.clear();
        store.setValue("ComSettings/PortName", link);
        store.setValue("ComSettings/AskStatus", 1);
    }
    MainWindow window;
    window.show();
    if (hidePreview) // to tell the preview's repaints from the rest of the station's work
        window.findChild<QWidget *>("dockWidget3DPeview")->hide();
    auto *label = window.findChild<QLabel *>("labelGrblStatus");
    auto *bar = window.findChild<QProgressBar *>("progressBar");
    auto *terminal = window.findChild<QPlainTextEdit *>("plainTextEditSerial");
    window.findChild<QPlainTextEdit *>("plainTextEditGCode")->setPlainText(program.join('\n'));
    waitFor([&] { return label->text() == "Idle"; }, 10000);

    StationFigures figures;
    figures.heapBeforeMiB = heapMiB();
    EventLoopWatch watch;
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    window.findChild<QPushButton *>("pushButtonSendGCode")->click();
    figures.complete = waitFor(
        [&] {
            const int marks[] = {10, 50, 100};
            for (size_t k = 0; k < 3; ++k) {
                if (figures.residentAt[k] == 0 && bar->value() >= marks[k])
                    figures.residentAt[k] = residentMiB();
            }
            return bar->value() == 100;
        },
        3600 * 1000);
    figures.seconds = clock.elapsed() / 1000.0;
    figures.cpuPerLineUs = (cpuSeconds() - cpuStart) / program.size() * 1e6;
    figures.longestStallMs = watch.longestGapMs();
    figures.heapAfterMiB = heapMiB();
    figures.terminalBlocks = terminal->document()->blockCount();
    window.findChild<QPushButton *>("pushButtonResetGRBLCmd_2")->click();
    QCoreApplication::processEvents();
    figures.heapClearedMiB = heapMiB();
    return figures;
}

// The same windowed streaming without any window: the floor the station's own work sits on.
double streamBare(const QString &link, const QStringList &program)
{
    SettingsDialog dialog;
    Settings settings = dialog.settings();
    settings.name = link;
    dialog.setSettings(settings);
    TerminalCommunication port;
    if (!port.TryToConnect(&dialog))
        return -1;
    StreamWindow window;
    int next = 0;
    int answered = 0;
    const auto pump = [&] {
        while (next < program.size()) {
            const int bytes = program[next].toUtf8().size() + 1;
            if (!window.admits(bytes))
                return;
            port.SendLine(program[next++]);
            window.sent(bytes);
        }
    };
    QObject::connect(&port, &TerminalCommunication::LineReceived, [&](const QString &line) {
        if (line == "ok" || line.startsWith("error")) {
            window.answered();
            ++answered;
            pump();
        }
    });
    QElapsedTimer clock;
    clock.start();
    pump();
    waitFor([&] { return answered == program.size(); }, 3600 * 1000);
    return clock.elapsed() / 1000.0;
}

// The terminal sender streaming the same program: seconds, and its largest resident memory as
// /proc tells it just before it ends.
struct SenderFigures
{
    double seconds = 0;
    double peakMiB = 0;
    bool complete = false;
};

SenderFigures streamWithSender(const QString &link, const QStringList &program)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("part.nc"));
    file.open(QIODevice::WriteOnly);
    file.write(program.join('\n').toUtf8());
    file.close();
    QProcess sender;
    sender.setProgram(QCoreApplication::applicationDirPath() + "/../orlo-send");
    sender.setArguments({"--port", link, file.fileName()});
    sender.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    sender.start();
    sender.waitForStarted();
    SenderFigures figures;
    const QString status = QStringLiteral("/proc/%1/status").arg(sender.processId());
    while (!sender.waitForFinished(200)) {
        QFile proc(status);
        if (!proc.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : proc.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                figures.peakMiB = line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
        }
    }
    figures.seconds = clock.elapsed() / 1000.0;
    figures.complete = sender.exitCode() == 0;
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("QT_LOGGING_RULES", "orlo.*.debug=false");
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    int lines = 100000;
    if (const int at = arguments.indexOf("--lines"); at > 0 && at + 1 < arguments.size())
        lines = arguments[at + 1].toInt();
    const bool paced = !arguments.contains("--skip-paced");
    hidePreview = arguments.contains("--hide-preview");

    const QStringList program = generatedProgram(lines);
    // The station sends what the controller reads: the comments stay behind, and so does
    // the baseline, so both put the same bytes on the wire.
    QStringList sent;
    qint64 programBytes = 0;
    for (const QString &line : program) {
        sent << ProgramLine::cleaned(line);
        programBytes += sent.last().toUtf8().size() + 1;
    }
    std::printf("program: %d lines, %lld bytes sent (%.1f bytes a line)\n\n", lines, programBytes,
                double(programBytes) / lines);

    {
        QTemporaryDir dir;
        Controller bare(dir.path(), {"--instant"});
        const double seconds = streamBare(bare.link, sent);
        std::printf(
            "instant, unpaced  baseline (transport + window, no GUI): %.2f s, %.0f lines/s\n",
            seconds, lines / seconds);
    }
    {
        QTemporaryDir dir;
        Controller instant(dir.path(), {"--instant"});
        const StationFigures f = streamWithStation(instant.link, program);
        std::printf("instant, unpaced  station: %.2f s, %.0f lines/s, CPU %.1f us a line, "
                    "longest stall %.1f ms%s\n",
                    f.seconds, lines / f.seconds, f.cpuPerLineUs, f.longestStallMs,
                    f.complete ? "" : " (INCOMPLETE)");
        std::printf("                  heap %.1f MiB before, %.1f MiB after (terminal: %d "
                    "lines), %.1f MiB after clearing it\n",
                    f.heapBeforeMiB, f.heapAfterMiB, f.terminalBlocks, f.heapClearedMiB);
        std::printf("                  resident memory at 10 %%, 50 %% and 100 %% of the job: "
                    "%.0f, %.0f, %.0f MiB\n",
                    f.residentAt[0], f.residentAt[1], f.residentAt[2]);
    }
    if (paced) {
        QTemporaryDir dir;
        Controller wire(dir.path(), {"--instant", "--baud", "115200"});
        const StationFigures f = streamWithStation(wire.link, program);
        const double limit = 115200 / 10.0;
        std::printf("paced at 115200   station: %.1f s, %.0f program bytes/s = %.3f of the "
                    "wire's %.0f bytes/s; longest stall %.1f ms%s\n",
                    f.seconds, programBytes / f.seconds, programBytes / f.seconds / limit, limit,
                    f.longestStallMs, f.complete ? "" : " (INCOMPLETE)");
    }
    if (paced) {
        QTemporaryDir dir;
        Controller wire(dir.path(), {"--instant", "--baud", "115200"});
        const SenderFigures f = streamWithSender(wire.link, program);
        const double limit = 115200 / 10.0;
        std::printf("paced at 115200   orlo-send: %.1f s, %.0f program bytes/s = %.3f of the "
                    "wire's %.0f bytes/s; peak resident memory %.1f MiB%s\n",
                    f.seconds, programBytes / f.seconds, programBytes / f.seconds / limit, limit,
                    f.peakMiB, f.complete ? "" : " (INCOMPLETE)");
    }
    std::printf("\npeak resident memory of the station process: %.0f MiB\n", peakRssMiB());
    return 0;
}
