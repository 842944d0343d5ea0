#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {
constexpr int maxBaudRate = 4000000;

QString tr(const char *text)
{
    return QCoreApplication::translate("CommandLine", text);
}

CommandLine exitWith(int code, const QString &message)
{
    CommandLine result;
    result.exitCode = code;
    result.message = message;
    return result;
}

CommandLine refuseUsage(const QCommandLineParser &parser, const QString &error)
{
    return exitWith(CommandLine::usageError,
                    QStringLiteral("%1: %2\n\n%3")
                        .arg(QCoreApplication::applicationName(), error, parser.helpText()));
}

QString whyUnreadable(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return tr("no such file");
    if (info.isDir())
        return tr("it is a folder");
    if (!info.isReadable())
        return tr("permission denied");
    return QString();
}

void describeOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        tr("Control station for small CNC mills whose controller runs Grbl on a serial port."));
    parser.addPositionalArgument(QStringLiteral("FILE"), tr("G-code program to open."),
                                 QStringLiteral("[FILE]"));
    parser.addOption({QStringLiteral("port"),
                      tr("Connect to the serial port PATH for this run; the stored settings stay "
                         "as they are."),
                      QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("baud"),
                      tr("Baud rate N (1 to 4000000) for this run; the stored settings stay as "
                         "they are."),
                      QStringLiteral("N")});
    // The toolkit's own help option brings --help-all, whose list of the toolkit's options only
    // a call that ends the process can print; this one is the same without it.
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
                      tr("Displays help on commandline options.")});
    parser.addVersionOption();
}

// A usage error, or nothing when the values are sound.
QString takeRunSettings(const QCommandLineParser &parser, CommandLine &request)
{
    if (parser.isSet(QStringLiteral("port"))) {
        request.port = parser.value(QStringLiteral("port"));
        if (request.port.isEmpty())
            return tr("--port needs the path of a serial port.");
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        bool ok = false;
        request.baudRate = parser.value(QStringLiteral("baud")).toInt(&ok, 10);
        if (!ok || request.baudRate < 1 || request.baudRate > maxBaudRate)
            return tr("--baud takes a whole number from 1 to 4000000.");
    }
    return QString();
}

// A file that cannot be read is refused before any window opens, not left to an editor that
// would silently stay empty.
CommandLine withFile(CommandLine request, const QString &path)
{
    const QString problem = whyUnreadable(path);
    if (!problem.isEmpty())
        return exitWith(
            CommandLine::fileError,
            QStringLiteral("%1: %2: %3\n").arg(QCoreApplication::applicationName(), path, problem));
    request.file = QFileInfo(path).absoluteFilePath();
    return request;
}
} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    describeOptions(parser);
    if (!parser.parse(arguments)) {
        CommandLine result = refuseUsage(parser, parser.errorText());
        result.unknownOption = !parser.unknownOptionNames().isEmpty();
        return result;
    }
    if (parser.isSet(QStringLiteral("help")))
        return exitWith(0, parser.helpText());
    if (parser.isSet(QStringLiteral("version")))
        return exitWith(0, QCoreApplication::applicationName() + QLatin1Char(' ') +
                               QCoreApplication::applicationVersion() + QLatin1Char('\n'));

    CommandLine request;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return refuseUsage(parser, tr("Only one FILE can be opened at a time."));
    const QString error = takeRunSettings(parser, request);
    if (!error.isEmpty())
        return refuseUsage(parser, error);
    return files.isEmpty() ? request : withFile(request, files.first());
}

int CommandLine::report() const
{
    std::fputs(message.toLocal8Bit().constData(), exitCode == 0 ? stdout : stderr);
    return exitCode;
}
