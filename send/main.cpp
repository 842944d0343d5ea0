// orlo-send: streams a program to the controller from a terminal, without a display.

#include "send/TerminalSender.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int interruptPipe[2] = {-1, -1};

// A closed terminal, a service manager or a kill must not leave the machine running the rest of
// a program nobody watches any more.
constexpr int stoppingSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};

void onInterrupt(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(interruptPipe[1], &byte, 1);
}

const char *signalName(int signal)
{
    switch (signal) {
    case SIGHUP:
        return "Hangup";
    case SIGTERM:
        return "Terminated";
    case SIGQUIT:
        return "Quit";
    default:
        return "Interrupted";
    }
}

// A map file of the grid's points, a line each: a few megabytes at the most it can hold.
constexpr qint64 maxMapBytes = 16 * 1024 * 1024;

// The map, or why it cannot be used, said with the file's name.
std::optional<HeightMap> readHeightMap(const QString &path)
{
    QFile file(path);
    QString reason = QStringLiteral("cannot be read");
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.read(maxMapBytes + 1);
        if (bytes.size() > maxMapBytes) {
            reason = QStringLiteral("too large for a height map");
        } else {
            // With its NUL bytes, if any: a map read only up to one would be another map.
            auto read = HeightMap::read(QString::fromUtf8(bytes.constData(), bytes.size()));
            if (auto *map = std::get_if<HeightMap>(&read))
                return std::move(*map);
            reason = std::get<QString>(read);
        }
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(reason));
    return std::nullopt;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("orlo.*.debug=false"));
    QCoreApplication::setApplicationName(QStringLiteral("orlo-send"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORLO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Streams a G-code program to a Grbl controller and waits for its end."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("The serial port."),
                                  QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Bits per second (default 115200)."),
                                  QStringLiteral("N"), QStringLiteral("115200"));
    const QCommandLineOption check(
        QStringLiteral("check"),
        QStringLiteral("Run the program in the controller's check mode: nothing moves, every "
                       "error is told with its line."));
    const QCommandLineOption fromLine(
        QStringLiteral("from-line"),
        QStringLiteral("Start at this line of the program: the modes, tool, spindle and position "
                       "the lines before it leave are set first."),
        QStringLiteral("N"));
    const QCommandLineOption heightMap(
        QStringLiteral("height-map"),
        QStringLiteral("Level the program by this height map of the stock's surface (\"x,y,z\" "
                       "lines, work coordinates in mm): its feed moves follow the surface."),
        QStringLiteral("MAP"));
    parser.addOptions({port, baud, check, fromLine, heightMap});
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The program."));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n\n%s", qPrintable(parser.errorText()),
                     qPrintable(parser.helpText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    bool baudIsNumber = false;
    const int baudRate = parser.value(baud).toInt(&baudIsNumber);
    bool fromIsNumber = true;
    const int from = parser.isSet(fromLine) ? parser.value(fromLine).toInt(&fromIsNumber) : 0;
    if (!parser.isSet(port) || parser.positionalArguments().size() != 1 || !baudIsNumber ||
        baudRate <= 0 || baudRate > 4000000 ||
        (parser.isSet(fromLine) && (!fromIsNumber || from < 1))) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }

    if (parser.isSet(fromLine) && parser.isSet(heightMap)) {
        std::fprintf(stderr, "--from-line cannot be used with --height-map: a levelled program "
                             "runs from its first line\n");
        return 2;
    }
    std::optional<HeightMap> map;
    if (parser.isSet(heightMap) && !(map = readHeightMap(parser.value(heightMap))))
        return 2;

    TerminalSender sender({parser.value(port), baudRate, parser.positionalArguments().first(),
                           parser.isSet(check), from, map.value_or(HeightMap())},
                          stdout, stderr);
    if (::pipe(interruptPipe) != 0)
        return 1;
    QSocketNotifier interrupts(interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupts, &QSocketNotifier::activated, [&sender] {
        char byte = SIGINT;
        [[maybe_unused]] const ssize_t read = ::read(interruptPipe[0], &byte, 1);
        sender.interrupt(byte == SIGINT ? QString()
                                        : QStringLiteral("%1: stopping as for Ctrl-C (feed hold, "
                                                         "then a reset once the machine stands)")
                                              .arg(QLatin1String(signalName(byte))));
    });
    struct sigaction action
    {
    };
    action.sa_handler = onInterrupt;
    ::sigemptyset(&action.sa_mask);
    for (const int number : stoppingSignals)
        ::sigaction(number, &action, nullptr);
    // Output into a pipe whose reader went with the terminal must not end the program before
    // the machine is stopped.
    ::signal(SIGPIPE, SIG_IGN);
    return sender.run();
}
