#include "TerminalSender.h"

#include "editor/ProgramFile.h"
#include "machine/ControllerCodes.h"
#include "program/LevelledProgram.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <utility>

#include <unistd.h>

namespace {
constexpr int tickMs = 250;
constexpr qint64 answerTimeoutMs = 10'000;
constexpr qint64 plainProgressMs = 5'000;
} // namespace

TerminalSender::TerminalSender(const Options &options, std::FILE *out, std::FILE *err)
    : options(options), out(out), err(err), terminalOutput(::isatty(::fileno(out)) == 1),
      input(STDIN_FILENO, QSocketNotifier::Read)
{
    settings.name = options.port;
    settings.baudRate = options.baud;
    settings.askStatus = true;
    ticker.setInterval(tickMs);
    connect(&ticker, &QTimer::timeout, this, &TerminalSender::tick);
    connect(&session, &MachineSession::jobChanged, this, &TerminalSender::jobChanged);
    connect(&session, &MachineSession::lineReceived, this, &TerminalSender::lineReceived);
    connect(&session, &MachineSession::notice, this, &TerminalSender::notice);
    connect(&session, &MachineSession::startNeedsChoice, this, &TerminalSender::askStartChoice);
    connect(&safeStop, &SafeStop::notice, this,
            [this](const QString &text) { say(this->err, text); });
    connect(&safeStop, &SafeStop::finished, this, &TerminalSender::stopped);
    input.setEnabled(false);
    connect(&input, &QSocketNotifier::activated, this, &TerminalSender::operatorInput);
}

int TerminalSender::run()
{
    const ProgramFile::Reading reading = ProgramFile::read(options.file);
    if (reading.outcome != ProgramFile::Outcome::Read) {
        say(err, reading.outcome == ProgramFile::Outcome::TooLarge
                     ? QStringLiteral("%1: too large").arg(options.file)
                     : QStringLiteral("%1: cannot be read").arg(options.file));
        return 1;
    }
    program = reading.text;
    if (!options.heightMap.isEmpty() && !level())
        return 1;
    session.reconnect(settings);
    if (!session.isConnected()) {
        say(err, QStringLiteral("%1: cannot be opened").arg(options.port));
        return 1;
    }
    phase = Phase::Waiting;
    ticker.start();
    tick();
    QCoreApplication::exec();
    return exitCode;
}

void TerminalSender::tick()
{
    if (phase == Phase::Done)
        return;
    if (!session.isConnected()) {
        session.reconnect(settings); // notices the loss: the job ends as interrupted
        if (phase != Phase::Running && phase != Phase::Done)
            finish(1, QStringLiteral("%1: the link was lost").arg(options.port));
        return;
    }
    session.pollStatus();
    waitedMs += tickMs;
    if ((phase == Phase::Waiting || phase == Phase::EnteringCheck) && waitedMs > answerTimeoutMs)
        finish(1, QStringLiteral("%1: the controller did not answer").arg(options.port));
    if (phase == Phase::Running)
        showProgress(false);
}

void TerminalSender::lineReceived(const QString &line)
{
    if (!line.startsWith(QLatin1Char('<')))
        return;
    const QString &state = session.state();
    if (phase == Phase::Waiting && state == QLatin1String("Alarm"))
        finish(1, QStringLiteral("The controller is in alarm: unlock it (\"$X\") or home it "
                                 "(\"$H\") first."));
    else if (phase == Phase::Waiting && state == QLatin1String("Idle"))
        startJob();
    else if (phase == Phase::EnteringCheck && state == QLatin1String("Check"))
        startJob();
}

void TerminalSender::startJob()
{
    if (options.check && phase == Phase::Waiting) {
        phase = Phase::EnteringCheck;
        waitedMs = 0;
        session.SendCommand(QStringLiteral("$C"));
        return;
    }
    phase = Phase::Running;
    std::optional<StartFromLine> from;
    if (options.fromLine > 0) {
        from = StartFromLine::plan(program, options.fromLine, {});
        if (from->refusal.isEmpty())
            say(out, QStringLiteral("From line %1, after: %2")
                         .arg(from->line)
                         .arg(from->wayIn.join(QStringLiteral(" | "))));
    }
    if (!session.startJob(program, options.check, from ? &*from : nullptr))
        finish(1, QStringLiteral("%1: nothing was sent").arg(options.file));
}

// The job's own holds and its end are told by jobChanged; everything else the session says
// (refusals, alarms, errors of a check run) goes to the error stream as it comes.
void TerminalSender::notice(const QString &text)
{
    const QString job = session.currentJob().describe(session.jobElapsedMs());
    if (text != job && text != QStringLiteral("Program ") + job)
        say(err, inOperatorLines(text));
}

void TerminalSender::jobChanged()
{
    const Job &job = session.currentJob();
    if (phase == Phase::Running && job.state() == Job::State::Idle && !session.isStarting())
        return finish(1, QStringLiteral("%1: nothing was sent").arg(options.file));
    if (job.state() == Job::State::Holding && job.hold() == Job::Hold::Error &&
        phase == Phase::Running) {
        phase = Phase::Stopping; // held by the session; reset once the machine stands
        safeStop.start();
        return;
    }
    if (job.state() == Job::State::Holding &&
        (job.hold() == Job::Hold::ToolChange || job.hold() == Job::Hold::ProgramPause)) {
        if (options.check) {
            session.sendRealtime('~'); // nothing moves in check mode: nothing to wait for
            return;
        }
        say(out, inOperatorLines(job.describe(session.jobElapsedMs())) +
                     QStringLiteral(" (Enter goes on)"));
        input.setEnabled(true);
        return;
    }
    if (!job.isOver())
        return;
    showProgress(true);
    const bool clean = job.state() == Job::State::Finished && job.refusedLines() == 0;
    finish(clean ? 0 : 1, inOperatorLines(job.describe(session.jobElapsedMs())));
    if (job.state() == Job::State::Finished || options.check)
        return;
    const int rest = operatorLine(job.runningLine());
    say(err, sourceLines.isEmpty()
                 ? QStringLiteral("The rest of the part: --from-line %1").arg(rest)
                 : QStringLiteral("The rest of the part begins at line %1 (a levelled program "
                                  "runs from its first line only)")
                       .arg(rest));
}

// Stopping: the controller is held (by the session on a refused line, or by Ctrl-C); once the
// machine stands a reset throws away what it still holds without losing the position.
void TerminalSender::interrupt(const QString &reason)
{
    if (!reason.isEmpty())
        say(err, reason);
    if (std::exchange(choosingStart, false)) {
        session.chooseStart(MachineSession::StartChoice::Cancel);
        finish(1, QStringLiteral("interrupted before the program started"));
        return;
    }
    if (phase != Phase::Running && phase != Phase::Stopping) {
        finish(1, QStringLiteral("interrupted before the program started"));
        return;
    }
    if (phase == Phase::Stopping) {
        safeStop.resetNow();
        return;
    }
    phase = Phase::Stopping;
    safeStop.start();
}

// The reset ends the job, which tells how it went; a job that was not running says it here.
void TerminalSender::stopped()
{
    if (!session.currentJob().isOver())
        finish(1, inOperatorLines(session.currentJob().describe(session.jobElapsedMs())));
}

// The program would run in other modes than it is read in; only the operator may say so.
void TerminalSender::askStartChoice(const QStringList &)
{
    choosingStart = true;
    say(out,
        QStringLiteral("Enter sets %1 and starts; Ctrl-C stops.").arg(ModalState().startWords()));
    input.setEnabled(true);
}

// Enter: the operator has changed the tool, looked at the paused machine, or chosen the modes.
void TerminalSender::operatorInput()
{
    char buffer[256];
    const ssize_t read = ::read(STDIN_FILENO, buffer, sizeof buffer);
    input.setEnabled(false);
    if (std::exchange(choosingStart, false)) {
        session.chooseStart(read > 0 ? MachineSession::StartChoice::UsualState
                                     : MachineSession::StartChoice::Cancel);
        if (read <= 0)
            finish(1, QStringLiteral("no operator to choose the modes"));
        return;
    }
    if (read <= 0) {
        say(err, QStringLiteral("no operator to go on"));
        interrupt();
        interrupt();
        return;
    }
    session.sendRealtime('~');
}

void TerminalSender::finish(int code, const QString &message)
{
    if (phase == Phase::Done)
        return;
    if (options.check && session.state() == QLatin1String("Check"))
        session.SendCommand(QStringLiteral("$C")); // out of check mode again
    phase = Phase::Done;
    exitCode = code;
    ticker.stop();
    input.setEnabled(false);
    say(code == 0 ? out : err, message);
    QTimer::singleShot(100, QCoreApplication::instance(), &QCoreApplication::quit);
}

QString TerminalSender::progressText(int line, int total, int percent, qint64 elapsedMs,
                                     std::optional<qint64> remainingMs)
{
    QString text = QStringLiteral("line %1 of %2, %3 %, %4 elapsed")
                       .arg(line)
                       .arg(total)
                       .arg(percent)
                       .arg(Job::duration(elapsedMs));
    if (remainingMs)
        text += QStringLiteral(", %1 remaining").arg(Job::duration(*remainingMs));
    return text;
}

// On a terminal one line drawn over a few times a second; into a file or a pipe a plain line
// every few seconds.
void TerminalSender::showProgress(bool force)
{
    const Job &job = session.currentJob();
    const qint64 elapsed = session.jobElapsedMs();
    if (!terminalOutput && !force && lastPlainProgress >= 0 &&
        elapsed - lastPlainProgress < plainProgressMs)
        return;
    std::optional<qint64> remaining;
    if (job.done() > 0)
        remaining = elapsed * (job.total() - job.done()) / job.done();
    const int lastLine = job.total() > 0 ? job.program().editorLine(job.total() - 1) : 0;
    const QString text = progressText(operatorLine(job.runningLine()), operatorLine(lastLine),
                                      job.percent(), elapsed, remaining);
    if (terminalOutput) {
        std::fprintf(out, "\r\033[K%s", qPrintable(text));
        progressShown = true;
    } else {
        std::fprintf(out, "%s\n", qPrintable(text));
        lastPlainProgress = elapsed;
    }
    std::fflush(out);
}

void TerminalSender::say(std::FILE *stream, const QString &text)
{
    if (progressShown) {
        std::fputs("\r\033[K", out);
        std::fflush(out);
    }
    std::fprintf(stream, "%s\n", qPrintable(text));
    std::fflush(stream);
    if (progressShown && phase == Phase::Running)
        showProgress(true);
}

// What is sent is the levelled program; the operator hears of the lines they wrote.
bool TerminalSender::level()
{
    const LevelledProgram levelled = LevelledProgram::level(program, options.heightMap);
    for (const QString &warning : levelled.warnings)
        say(out, warning);
    if (!levelled.refusal.isEmpty()) {
        say(err, QStringLiteral("%1: cannot be levelled: %2").arg(options.file, levelled.refusal));
        return false;
    }
    say(out, QStringLiteral("Levelled by the height map: %1 lines became %2")
                 .arg(levelled.sourceLine.isEmpty() ? 0 : levelled.sourceLine.last())
                 .arg(levelled.sourceLine.size()));
    program = levelled.text;
    sourceLines = levelled.sourceLine;
    return true;
}

int TerminalSender::operatorLine(int line) const
{
    return LevelledProgram::operatorLine(line, sourceLines);
}

// The job and the controller's errors name lines of the program sent.
QString TerminalSender::inOperatorLines(const QString &text) const
{
    return LevelledProgram::inOperatorLines(text, sourceLines);
}
