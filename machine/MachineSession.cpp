#include "MachineSession.h"

#include "ControllerCodes.h"
#include "program/ProgramLine.h"

namespace {
constexpr int drainPollMs = 250;
// Continuous jogging keeps this much motion queued, in moves of this length: enough that the
// machine never waits for the next move, little enough that a lost cancel ends soon.
constexpr double jogMoveSeconds = 0.15;
constexpr double jogAheadSeconds = 0.3;
constexpr int jogPumpMs = 40;
constexpr char jogCancel = char(0x85);
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
    connect(&link, &TerminalCommunication::PermissionDenied, this,
            &MachineSession::permissionDenied);
    drainPoll.setInterval(drainPollMs);
    connect(&drainPoll, &QTimer::timeout, this, &MachineSession::pollWhileDraining);
    jogPump.setInterval(jogPumpMs);
    connect(&jogPump, &QTimer::timeout, this, &MachineSession::pumpJog);
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
    return sendLine(line, isMotionLocked());
}

bool MachineSession::sendLine(const QString &line, bool locked)
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
    if (locked) {
        emit notice(QStringLiteral("Not sent while %1: %2").arg(lockReason(), line));
        return false;
    }
    if (cleaned.isEmpty())
        return true; // a comment alone: nothing for the controller
    if (!cleaned.startsWith(QLatin1Char('$')))
        payOwedAbsolute();
    enqueue(cleaned.toLatin1(), CommandTag);
    return true;
}

void MachineSession::holdFeeding()
{
    feedingHeld = true;
}

QString MachineSession::lockReason() const
{
    return job.isActive() ? QStringLiteral("a program runs")
                          : QStringLiteral("the probe is moving");
}

bool MachineSession::sendRealtime(char byte)
{
    const bool extended = uchar(byte) >= 0x80;
    if (!isConnected() || (extended && !grbl.speaks11()) || !link.WriteRaw(QByteArray(1, byte)))
        return false;
    emit lineSent(extended ? QStringLiteral("0x%1").arg(uchar(byte), 2, 16)
                           : QString(QLatin1Char(byte)));
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
    jobMayHaveChanged();
    return true;
}

bool MachineSession::startJob(QStringView program, bool check)
{
    const bool ready = check ? machineState == QLatin1String("Check") : isIdle();
    if (!isConnected() || !ready || isMotionLocked())
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
    job = Job(std::move(lines), !check);
    jobClock.start();
    jobEndedMs = -1;
    drainPolled = false;
    SendQueuedLines();
    jobMayHaveChanged();
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
    if (probe.isActive())
        return QStringLiteral("a probe is already running");
    if (isJogLocked())
        return QStringLiteral("a program is running");
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
    return work && axis >= 0 && axis < 3 ? work->value[size_t(axis)] : 0.0;
}

QString MachineSession::jogLine(const QString &direction, const QString &step, int feed)
{
    return QStringLiteral("$J=G91 %1%2 F%3").arg(direction, step).arg(feed);
}

bool MachineSession::jogStep(const QString &direction, const QString &step, int feed)
{
    if (grbl.speaks11())
        return sendLine(jogLine(direction, step, feed), isJogLocked());
    if (!sendLine(QStringLiteral("G91"), isJogLocked()))
        return false;
    sendLine(QStringLiteral("G01 %1%2 F%3").arg(direction, step).arg(feed), isJogLocked());
    sendRealtime(statusQuery);
    return true;
}

void MachineSession::holdJog(const QString &direction, int feed)
{
    if (direction == jogDirection && (direction.isEmpty() || feed == jogFeed))
        return;
    if (!jogDirection.isEmpty())
        cancelJog();
    if (direction.isEmpty() || !grbl.speaks11() || !isConnected() || isJogLocked())
        return;
    jogDirection = direction;
    jogFeed = feed;
    jogClock.start();
    jogQueuedUntil = 0;
    pumpJog();
    jogPump.start();
}

void MachineSession::pumpJog()
{
    if (jogDirection.isEmpty() || !isConnected())
        return cancelJog();
    const double now = jogClock.elapsed() / 1000.0;
    jogQueuedUntil = qMax(jogQueuedUntil, now);
    while (jogQueuedUntil - now < jogAheadSeconds) {
        const double distance = jogFeed / 60.0 * jogMoveSeconds;
        enqueue(jogLine(jogDirection, QString::number(distance, 'f', 3), jogFeed).toLatin1(),
                JogTag);
        jogQueuedUntil += jogMoveSeconds;
    }
}

// Jog cancel empties the controller's planner of jog moves with a controlled stop; the moves
// not yet written are dropped here, so nothing follows the release.
void MachineSession::cancelJog()
{
    jogPump.stop();
    const bool wasJogging = !jogDirection.isEmpty();
    jogDirection.clear();
    for (int i = queue.size() - 1; i >= 0; --i) {
        if (queue.at(i).tag == JogTag)
            queue.removeAt(i);
    }
    if (wasJogging)
        sendRealtime(jogCancel);
}

void MachineSession::readLine(const QString &line)
{
    if (line.startsWith(QLatin1Char('<'))) {
        readStatus(line);
        return;
    }
    emit lineReceived(line);
    if (line.startsWith(QLatin1Char('[')))
        readIdentity(line);
    if (line == QLatin1String("ok"))
        answered(true, line);
    else if (line.startsWith(QLatin1String("error")))
        answered(false, line);
    else if (line.startsWith(QLatin1String("ALARM")))
        alarmed(line);
    else if (const auto ending = probe.probeReport(line))
        endProbe(*ending, true);
    else if (line.startsWith(QLatin1String("Grbl ")))
        controllerRestarted(line);
}

void MachineSession::readIdentity(const QString &line)
{
    if (const auto dialect = Dialect::fromBuildInfo(line)) {
        Dialect confirmed = *dialect;
        confirmed.receiveBuffer = grbl.kind == confirmed.kind ? grbl.receiveBuffer : 127;
        learnDialect(confirmed);
    } else if (const auto bytes = Dialect::receiveBufferFromOptions(line);
               bytes && grbl.speaks11()) {
        Dialect bigger = grbl;
        bigger.receiveBuffer = *bytes;
        learnDialect(bigger);
    } else {
        readModalState(line);
    }
}

void MachineSession::learnDialect(const Dialect &dialect)
{
    const bool changed = dialect.kind != grbl.kind || dialect.version != grbl.version ||
                         dialect.receiveBuffer != grbl.receiveBuffer;
    grbl = dialect;
    window.setBufferBytes(grbl.receiveBuffer);
    // 1.1 says its receive buffer's size only when asked; until then the smaller one is used.
    if (grbl.speaks11() && !buildInfoAsked && !isMotionLocked()) {
        buildInfoAsked = true;
        enqueue(QByteArrayLiteral("$I"), CommandTag);
    }
    if (changed)
        emit dialectChanged();
}

// "[GC:G0 G54 G17 G21 G90 G94 M5 M9 T0 F0 S0]" (1.1) or "[G0 G54 G17 G21 G90 ...]" (0.9).
void MachineSession::readModalState(const QString &line)
{
    QString inner = line.mid(1, line.size() - 2);
    if (inner.startsWith(QLatin1String("GC:")))
        inner = inner.mid(3);
    else if (!inner.startsWith(QLatin1Char('G')) || inner.contains(QLatin1Char(':')))
        return;
    QStringList kept;
    for (const QString &word : inner.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        static const QStringList shown = {"G20", "G21", "G90", "G91", "G54",
                                          "G55", "G56", "G57", "G58", "G59"};
        if (shown.contains(word))
            kept << word;
    }
    if (kept.isEmpty() || kept.join(QLatin1Char(' ')) == modal)
        return;
    modal = kept.join(QLatin1Char(' '));
    emit modalStateChanged();
}

void MachineSession::readStatus(const QString &line)
{
    report = parseStatusReport(line);
    machineState = report.state;
    // A readable 1.1 report tells the dialect of a controller that said nothing else yet.
    if (report.barForm && (report.machine || report.work) && grbl.kind == Dialect::Unknown)
        learnDialect(Dialect{Dialect::Grbl11, QStringLiteral("1.1"), false, 127});
    derivePositions();
    probe.machineState(machineState);
    emit lineReceived(line);
    emit statusReported();
    const bool atRest =
        machineState == QLatin1String("Idle") || machineState == QLatin1String("Check");
    if (atRest && drainPolled) {
        job.machineStopped();
        if (job.hold() == Job::Hold::ToolChange && shownHold != Job::Hold::ToolChange)
            enqueue(QByteArrayLiteral("M5"), CommandTag);
        jobMayHaveChanged();
    }
}

void MachineSession::answered(bool ok, const QString &reply)
{
    const int tag = window.answered(NoTag);
    if (tag >= 0) {
        if (ok)
            job.confirmed(tag);
        else
            jobRefusedLine(tag, reply);
    } else if (tag == ProbeTag && !ok && probe.isActive()) {
        endProbe(probe.fail(ControllerCodes::readable(reply)), true);
    } else if (tag == AbsoluteTag && !ok) {
        absoluteOwed = true; // refused in an alarm: owed until the controller takes it
    }
    SendQueuedLines();
    jobMayHaveChanged();
}

// 1.1 sends one of the two positions and the work offset now and then; 0.9 sends both. What is
// missing is derived from the last offset; without one it stays as it was.
void MachineSession::derivePositions()
{
    if (report.offset)
        offset = report.offset;
    if (report.machine && report.work) {
        std::array<double, 3> difference{};
        for (size_t axis = 0; axis < 3; ++axis)
            difference[axis] = report.machine->value[axis] - report.work->value[axis];
        offset = positionOf(difference);
    }
    const auto shifted = [this](const StatusReport::Position &from, double sign) {
        std::array<double, 3> value{};
        for (size_t axis = 0; axis < 3; ++axis)
            value[axis] = from.value[axis] + sign * offset->value[axis];
        return positionOf(value);
    };
    if (report.machine)
        machine = report.machine;
    else if (report.work && offset)
        machine = shifted(*report.work, 1);
    if (report.work)
        work = report.work;
    else if (report.machine && offset)
        work = shifted(*report.machine, -1);
}

// Going on after a refused line would cut the part with that line missing; the controller is
// held while the operator looks, and nothing more is sent until Cycle Start.
void MachineSession::jobRefusedLine(int index, const QString &reply)
{
    const QString readable = ControllerCodes::readable(reply);
    job.refused(index, readable);
    if (job.hold() != Job::Hold::Error) {
        if (job.isActive())
            emit notice(QStringLiteral("error at line %1 (%2): %3")
                            .arg(job.faultLine())
                            .arg(QString::fromLatin1(job.program().bytes(index)), readable));
        return;
    }
    link.WriteRaw(QByteArray(1, feedHold));
    emit lineSent(QString(QLatin1Char(feedHold)));
}

void MachineSession::alarmed(const QString &line)
{
    const QString readable = ControllerCodes::readable(line);
    job.alarm(readable);
    cancelJog();
    if (probe.isActive())
        endProbe(probe.fail(readable), true);
    jobMayHaveChanged();
    emit notice(QStringLiteral("The controller is in alarm: \"$X\" (Kill Alarm Lock) unlocks "
                               "it, \"$H\" (homing) homes it."));
}

// A controller that starts afresh has dropped every line it held; going on would run the rest
// of a program with a gap.
void MachineSession::controllerRestarted(const QString &banner)
{
    buildInfoAsked = false;
    jogDirection.clear();
    jogPump.stop();
    job.reset();
    dropEverything();
    if (probe.isActive())
        endProbe(probe.fail(QStringLiteral("the controller was reset")), false);
    absoluteOwed = false; // a reset puts the controller back into G90
    jobMayHaveChanged();
    if (const auto dialect = Dialect::fromBanner(banner))
        learnDialect(*dialect);
}

// The controller may or may not have taken what was on its way; the program is not resumed
// with a gap after reconnecting.
void MachineSession::linkLost()
{
    jogDirection.clear();
    jogPump.stop();
    offset.reset(); // another controller may answer next
    grbl = Dialect{};
    buildInfoAsked = false;
    window.setBufferBytes(grbl.receiveBuffer);
    emit dialectChanged();
    job.linkLost();
    dropEverything();
    if (probe.isActive()) {
        endProbe(probe.fail(QStringLiteral("link lost")), false);
        absoluteOwed = true;
    }
    jobMayHaveChanged();
}

void MachineSession::dropEverything()
{
    queue.clear();
    window.reset();
    machineState.clear();
    feedingHeld = false;
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
    while (isConnected() && !feedingHeld) {
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
    if (!job.waitsForRest()) {
        drainPoll.stop();
        return;
    }
    pollStatus();
    drainPolled = true;
}

void MachineSession::jobMayHaveChanged()
{
    if (job.waitsForRest() && !drainPoll.isActive()) {
        drainPolled = false;
        drainPoll.start();
    }
    const bool changed = job.state() != shownState || job.hold() != shownHold;
    shownState = job.state();
    shownHold = job.hold();
    if (!changed && !job.isActive())
        return;
    if (changed && job.isOver()) {
        jobEndedMs = jobClock.elapsed();
        drainPoll.stop();
        emit notice(QStringLiteral("Program ") + job.describe(jobEndedMs));
    } else if (changed && job.state() == Job::State::Holding && job.hold() != Job::Hold::Operator) {
        emit notice(job.describe(jobElapsedMs()));
    }
    emit jobChanged();
}
