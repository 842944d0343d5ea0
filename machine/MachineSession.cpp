#include "MachineSession.h"

#include "ProgramLine.h"

namespace {
constexpr int drainPollMs = 250;
constexpr char feedHold = '!';
constexpr char cycleStart = '~';
constexpr char statusQuery = '?';
constexpr char softReset = 0x18;

bool isRealtimeCommand(const QString &line)
{
    return line.size() == 1 &&
           (line.at(0) == QLatin1Char(statusQuery) || line.at(0) == QLatin1Char(feedHold) ||
            line.at(0) == QLatin1Char(cycleStart) || line.at(0) == QChar(softReset));
}
} // namespace

MachineSession::MachineSession(QObject *parent) : QObject(parent)
{
    connect(&link, &TerminalCommunication::LineReceived, this, &MachineSession::readLine);
    drainPoll.setInterval(drainPollMs);
    connect(&drainPoll, &QTimer::timeout, this, &MachineSession::pollWhileDraining);
    probeTimer.setSingleShot(true);
    connect(&probeTimer, &QTimer::timeout, this, [this] {
        const int seconds = ProbeCycle::timeoutMs(probe.request()) / 1000;
        endProbe(probe.fail(QStringLiteral("no answer within %1 s").arg(seconds)), true);
    });
}

void MachineSession::reconnect(const Settings &settings)
{
    if (link.IsConnected())
        return;
    if (linkWasUp)
        linkLost();
    link.TryToConnect(settings);
    linkWasUp = link.IsConnected();
}

void MachineSession::disconnectLink()
{
    link.Disconnect();
    if (linkWasUp)
        linkLost();
    linkWasUp = false;
}

void MachineSession::pollStatus()
{
    link.WriteRaw(QByteArray(1, statusQuery));
}

bool MachineSession::SendCommand(const QString &line)
{
    if (!isConnected())
        return false;
    const QString cleaned = ProgramLine::cleaned(line);
    if (isRealtimeCommand(cleaned))
        return sendRealtime(cleaned.at(0).toLatin1());
    const ProgramLine::Check check = ProgramLine::check(cleaned);
    if (check.fault != ProgramLine::Fault::None) {
        emit notice(QStringLiteral("Not sent: %1: %2").arg(line, ProgramLine::faultText(check)));
        return false;
    }
    if (refuseWhileLocked(line))
        return false;
    if (cleaned.isEmpty())
        return true; // a comment alone: nothing for the controller
    if (!cleaned.startsWith(QLatin1Char('$')))
        payOwedAbsolute();
    enqueue(cleaned.toLatin1(), CommandTag);
    return true;
}

QString MachineSession::lockReason() const
{
    return job.isActive() ? QStringLiteral("a program runs")
                          : QStringLiteral("the probe is moving");
}

bool MachineSession::refuseWhileLocked(const QString &line)
{
    if (!isMotionLocked())
        return false;
    emit notice(QStringLiteral("Not sent while %1: %2").arg(lockReason(), line));
    return true;
}

bool MachineSession::sendRealtime(char byte)
{
    if (!isConnected() || !link.WriteRaw(QByteArray(1, byte)))
        return false;
    emit lineSent(QString(QLatin1Char(byte)));
    const Job::State before = job.state();
    if (byte == feedHold) {
        job.feedHold();
    } else if (byte == cycleStart) {
        job.cycleStart();
        SendQueuedLines();
    } else if (byte == softReset) {
        // Whatever was on its way is thrown away by the controller; nothing of it is answered.
        job.reset();
        dropEverything();
        if (probe.isActive())
            endProbe(probe.fail(QStringLiteral("the controller was reset")), false);
        absoluteOwed = false;
    }
    jobMayHaveChanged(before);
    return true;
}

bool MachineSession::startJob(QStringView program)
{
    if (!isIdle() || isMotionLocked())
        return false;
    JobProgram lines = JobProgram::read(program);
    if (lines.isEmpty())
        return false;
    if (const auto &refusal = lines.refusal()) {
        emit notice(QStringLiteral("Program not started: line %1: %2")
                        .arg(refusal->line)
                        .arg(refusal->reason));
        return false;
    }
    payOwedAbsolute();
    job = Job(std::move(lines));
    jobClock.start();
    jobEndedMs = -1;
    drainPolled = false;
    emit jobChanged();
    SendQueuedLines();
    return true;
}

qint64 MachineSession::jobElapsedMs() const
{
    if (jobEndedMs >= 0)
        return jobEndedMs;
    return jobClock.isValid() ? jobClock.elapsed() : 0;
}

QString MachineSession::startProbe(const ProbeRequest &request)
{
    if (!isConnected())
        return QStringLiteral("the controller is not connected");
    if (job.isActive())
        return QStringLiteral("a program is running");
    if (probe.isActive())
        return QStringLiteral("a probe is already running");
    if (!isIdle())
        return QStringLiteral("the machine is not idle");
    const QStringList lines = ProbeCycle::startLines(request);
    enqueue(lines.at(0).toLatin1(), CommandTag);
    enqueue(lines.at(1).toLatin1(), ProbeTag);
    probe.start(request);
    probeTimer.start(ProbeCycle::timeoutMs(request));
    return {};
}

double MachineSession::workPosition(int axis) const
{
    return axis >= 0 && axis < 3 ? work[size_t(axis)] : 0.0;
}

void MachineSession::readLine(const QString &line)
{
    if (line.startsWith(QLatin1Char('<'))) {
        readStatus(line);
        return;
    }
    emit lineReceived(line);
    if (line == QLatin1String("ok"))
        answered(true, line);
    else if (line.startsWith(QLatin1String("error")))
        answered(false, line);
    else if (line.startsWith(QLatin1String("ALARM")))
        alarmed(line);
    else if (const auto ending = probe.probeReport(line))
        endProbe(*ending, true);
    else if (line.startsWith(QLatin1String("Grbl ")))
        controllerRestarted();
}

void MachineSession::readStatus(const QString &line)
{
    report = parseStatusReport(line);
    machineState = report.state;
    if (report.work) {
        for (int axis = 0; axis < 3; ++axis)
            work[size_t(axis)] = report.work->at(axis).toDouble();
    }
    probe.machineState(machineState);
    emit lineReceived(line);
    emit statusReported();
    if (machineState == QLatin1String("Idle") && drainPolled) {
        const Job::State before = job.state();
        job.machineStopped();
        jobMayHaveChanged(before);
    }
}

void MachineSession::answered(bool ok, const QString &reply)
{
    const int tag = window.answered(NoTag);
    const Job::State before = job.state();
    if (tag >= 0) {
        if (ok)
            job.confirmed(tag);
        else
            jobRefusedLine(tag, reply);
    } else if (tag == ProbeTag && !ok && probe.isActive()) {
        endProbe(probe.fail(reply), true);
    } else if (tag == AbsoluteTag && !ok) {
        absoluteOwed = true; // refused in an alarm: owed until the controller takes it
    }
    SendQueuedLines();
    jobMayHaveChanged(before);
}

// Going on after a refused line would cut the part with that line missing; the controller is
// held while the operator looks, and nothing more is sent until Cycle Start.
void MachineSession::jobRefusedLine(int index, const QString &reply)
{
    job.refused(index, reply);
    if (job.hold() != Job::Hold::Error)
        return;
    link.WriteRaw(QByteArray(1, feedHold));
    emit lineSent(QString(QLatin1Char(feedHold)));
}

void MachineSession::alarmed(const QString &line)
{
    const Job::State before = job.state();
    job.alarm(line);
    if (probe.isActive())
        endProbe(probe.fail(line), true);
    jobMayHaveChanged(before);
}

// A controller that starts afresh has dropped every line it held; going on would run the rest
// of a program with a gap.
void MachineSession::controllerRestarted()
{
    const Job::State before = job.state();
    job.reset();
    dropEverything();
    if (probe.isActive())
        endProbe(probe.fail(QStringLiteral("the controller was reset")), false);
    absoluteOwed = false; // a reset puts the controller back into G90
    jobMayHaveChanged(before);
}

// The controller may or may not have taken what was on its way; the program is not resumed
// with a gap after reconnecting.
void MachineSession::linkLost()
{
    const Job::State before = job.state();
    job.linkLost();
    dropEverything();
    if (probe.isActive()) {
        endProbe(probe.fail(QStringLiteral("link lost")), false);
        absoluteOwed = true;
    }
    jobMayHaveChanged(before);
}

void MachineSession::dropEverything()
{
    queue.clear();
    window.reset();
    machineState.clear();
}

void MachineSession::enqueue(const QByteArray &bytes, int tag)
{
    queue.enqueue({bytes, tag});
    SendQueuedLines();
}

void MachineSession::payOwedAbsolute()
{
    if (!absoluteOwed)
        return;
    absoluteOwed = false;
    queue.enqueue({QByteArrayLiteral("G90"), AbsoluteTag});
}

// Lines queued by anyone go first: during a job the lock keeps everyone else out, so they
// are only the job's own companions.
void MachineSession::SendQueuedLines()
{
    while (isConnected()) {
        if (!queue.isEmpty()) {
            if (!write(queue.head().bytes, queue.head().tag))
                return;
            queue.dequeue();
            continue;
        }
        const int index = job.nextToSend();
        if (index < 0 || !write(job.program().bytes(index), index))
            return;
        job.sent(index);
    }
}

bool MachineSession::write(const QByteArray &bytes, int tag)
{
    const int size = bytes.size() + 1;
    if (!window.admits(size) || !link.WriteRaw(bytes + '\n'))
        return false;
    window.sent(size, tag);
    emit lineSent(QString::fromLatin1(bytes));
    return true;
}

void MachineSession::endProbe(const ProbeCycle::Ending &ending, bool sendLines)
{
    probeTimer.stop();
    if (sendLines) {
        for (const QString &line : ending.lines)
            queue.enqueue(
                {line.toLatin1(), line == QLatin1String("G90") ? AbsoluteTag : CommandTag});
        SendQueuedLines();
    }
    emit notice(ending.message);
    emit probeFinished(ending.contact, ending.message);
}

// The last lines may still be in the controller's planner: the machine is asked until it says
// it stands, whether or not the owner polls.
void MachineSession::pollWhileDraining()
{
    if (!job.isDraining()) {
        drainPoll.stop();
        return;
    }
    pollStatus();
    drainPolled = true;
}

void MachineSession::jobMayHaveChanged(Job::State before)
{
    if (job.isDraining() && !drainPoll.isActive()) {
        drainPolled = false;
        drainPoll.start();
    }
    if (job.state() == before && job.isActive()) {
        emit jobChanged();
        return;
    }
    if (job.state() == before)
        return;
    if (job.isOver()) {
        jobEndedMs = jobClock.elapsed();
        drainPoll.stop();
        emit notice(QStringLiteral("Program ") + job.describe(jobEndedMs));
    } else if (job.hold() == Job::Hold::Error) {
        emit notice(job.describe(jobElapsedMs()));
    }
    emit jobChanged();
}
