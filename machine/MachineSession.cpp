#include "MachineSession.h"

#include "ControllerCodes.h"
#include "program/ProgramLine.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr int drainPollMs = 250;
// Continuous jogging keeps this much motion queued, in moves of this length: enough that the
// machine never waits for the next move, little enough that a lost cancel ends soon.
constexpr double jogMoveSeconds = 0.15;
constexpr double jogAheadSeconds = 0.3;
constexpr int jogPumpMs = 40;
// 0.9 cannot cancel a jog: the machine runs out what it holds. So it jogs at a speed it can stop
// from within a quarter of a second, keeps at most 0.3 s of motion ahead of the position it
// reports, in moves of a tenth of a second, and is asked where it is at every pump.
constexpr double jog09StopSeconds = 0.25;
constexpr double jog09AheadSeconds = 0.3;
constexpr double jog09MoveSeconds = 0.1;
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
const char *const axisLetters[] = {"X", "Y", "Z"};

QString axesText(int bits)
{
    QStringList axes;
    for (int axis = 0; axis < 3; ++axis) {
        if (bits & (1 << axis))
            axes << QLatin1String(axisLetters[axis]);
    }
    return axes.join(QStringLiteral(", "));
}

// What a jog or a probe says before its move: relative, and in millimetres per minute whatever
// the controller was left in (a step in inches would go 25.4 times as far).
QString relativeLine(const ModalState &before)
{
    QString line = QStringLiteral("G91");
    if (before.inches)
        line += QStringLiteral(" G21");
    if (before.inverseTime)
        line += QStringLiteral(" G94");
    return line;
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
    if (!linkWasUp)
        return;
    // A controller that does not restart as the port opens is in whatever system and offsets it
    // was left in, and may still have lost the G92 offset while the link was down. It is asked
    // once it has shown it did not restart: a question written before a restart may or may not
    // be answered after the banner, and its answer would be taken for another line's.
    connectQuestionsOwed = true;
    offsetCheckOwed = offsetAxes != 0;
    offsetsWanted = true;
    offsetsTries = 0;
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
    if (const QString refused = refusal(line, cleaned, locked); !refused.isEmpty()) {
        emit notice(refused);
        return false;
    }
    if (cleaned.isEmpty())
        return true; // a comment alone: nothing for the controller
    if (!cleaned.startsWith(QLatin1Char('$')))
        payOwedRestore();
    enqueue(cleaned.toLatin1(), CommandTag);
    return true;
}

// What the operator is told of a line that does not go; empty when it may.
QString MachineSession::refusal(const QString &line, const QString &cleaned, bool locked) const
{
    const ProgramLine::Check check = ProgramLine::check(cleaned);
    if (check.fault != ProgramLine::Fault::None)
        return QStringLiteral("Not sent: %1: %2").arg(line, ProgramLine::faultText(check));
    if (locked)
        return QStringLiteral("Not sent while %1: %2").arg(lockReason(), line);
    return {};
}

void MachineSession::runMacro(const Macro &macro)
{
    if (!isConnected())
        return;
    MacroRun run(macro);
    QString refused;
    if (macroRun.isActive())
        refused = QStringLiteral("macro \"%1\" still runs").arg(macroRun.name());
    bool anything = false;
    for (int index = 0; refused.isEmpty() && index < run.lines().size(); ++index) {
        const QString &line = run.lines().at(index);
        const QString cleaned = ProgramLine::cleaned(line);
        anything = anything || !cleaned.isEmpty();
        if (cleaned.isEmpty() || isRealtimeCommand(cleaned))
            continue;
        refused = refusal(line, cleaned, isMotionLocked());
        if (!refused.isEmpty())
            refused = QStringLiteral("line %1: %2").arg(index + 1).arg(refused);
    }
    if (refused.isEmpty() && !anything)
        refused = QStringLiteral("it holds nothing for the controller");
    if (!refused.isEmpty()) {
        emit notice(run.notRun(refused));
        return;
    }
    macroRun = run;
    ++macroRuns;
    pumpMacro();
}

// The run's lines up to the next one that waits for the controller's answer.
void MachineSession::pumpMacro()
{
    while (macroRun.isActive()) {
        const QString line = macroRun.line();
        const QString cleaned = ProgramLine::cleaned(line);
        if (isRealtimeCommand(cleaned)) {
            sendRealtime(cleaned.at(0).toLatin1()); // a reset among the lines ends the run
            if (!macroRun.isActive())
                return;
        } else if (const QString refused = refusal(line, cleaned, isMotionLocked());
                   !refused.isEmpty()) {
            return endMacro(refused);
        } else if (!cleaned.isEmpty()) {
            if (!cleaned.startsWith(QLatin1Char('$')))
                payOwedRestore();
            return enqueue(cleaned.toLatin1(), macroTag());
        }
        if (!macroRun.advance())
            emit notice(macroRun.finished());
    }
}

void MachineSession::macroAnswered(bool ok, const QByteArray &line, const QString &reply)
{
    if (!ok)
        endMacro(QStringLiteral("the controller refused %1: %2")
                     .arg(QString::fromLatin1(line), ControllerCodes::readable(reply)));
    else if (macroRun.advance())
        pumpMacro();
    else
        emit notice(macroRun.finished());
}

void MachineSession::endMacro(const QString &why)
{
    if (!macroRun.isActive())
        return;
    for (int i = queue.size() - 1; i >= 0; --i) {
        if (queue.at(i).tag == macroTag())
            queue.removeAt(i);
    }
    emit notice(macroRun.stop(why));
}

// The modes the controller will be in once it has taken everything on its way: what a jog or a
// probe must put back, even when the line before it has not been answered yet.
ModalState MachineSession::expectedModes() const
{
    ModalState expected = modes;
    const auto follow = [&expected](const QByteArray &line) {
        if (!line.startsWith('$'))
            expected.apply(QString::fromLatin1(line));
    };
    for (const QByteArray &line : sentLines)
        follow(line);
    follow(restoreOwed);
    for (const Queued &queued : queue)
        follow(queued.bytes);
    return expected;
}

QString MachineSession::lostOffsetAxes() const
{
    return axesText(lostAxes);
}

void MachineSession::holdFeeding()
{
    feedingHeld = true;
}

QString MachineSession::lockReason() const
{
    return job.isActive() || starting ? QStringLiteral("a program runs")
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
        if (grid.isActive())
            endGrid(grid.fail(QStringLiteral("the controller was reset")), false);
        cancelStart(QStringLiteral("the controller was reset"));
        endMacro(QStringLiteral("the controller was reset"));
        restoreOwed.clear();
    }
    jobMayHaveChanged();
    return true;
}

bool MachineSession::startJob(QStringView program, bool check, const StartFromLine *from)
{
    const bool ready = check ? machineState == QLatin1String("Check") : isIdle();
    if (!isConnected() || !ready || isMotionLocked())
        return false;
    if (from && !from->refusal.isEmpty()) {
        emit notice(QStringLiteral("Program not started: ") + from->refusal);
        return false;
    }
    const JobProgram lines = JobProgram::read(program, {}, from);
    if (lines.isEmpty())
        return false;
    if (const auto &refusal = lines.refusal()) {
        emit notice(QStringLiteral("Program not started: line %1: %2")
                        .arg(refusal->line)
                        .arg(refusal->reason));
        return false;
    }
    payOwedRestore();
    starting = true;
    startText = program.toString();
    startCheck = check;
    startFrom = from ? std::optional(*from) : std::nullopt;
    enqueue(QByteArrayLiteral("$G"), StartCheckTag);
    return true;
}

// The program was read (and the preview drawn) in the usual modes; a controller left in
// inches, G91 or another work system would cut it somewhere else.
void MachineSession::decideStart(bool ok, const QString &reply)
{
    if (!starting)
        return;
    if (!ok)
        return cancelStart(QStringLiteral("the controller did not tell its modes: ") +
                           ControllerCodes::readable(reply));
    // A start from a line goes to where the program stands in work coordinates: without a work
    // offset (after a power loss, before homing and zeroing) that place means nothing.
    if (startFrom && !hasWorkOffset())
        return cancelStart(QStringLiteral("the controller has no work offset: home the machine "
                                          "and set the work zero first"));
    // A start from a line sets every mode the program relies on in its way in.
    QStringList differences = startFrom ? QStringList() : modes.differencesFrom(ModalState{});
    if (lostAxes)
        differences << QStringLiteral("the G92 offset on %1 set here was cleared by a reset")
                           .arg(lostOffsetAxes());
    if (differences.isEmpty())
        return beginJob(ModalState{});
    emit notice(QStringLiteral("The controller is in %1: the program waits for a choice.")
                    .arg(differences.join(QStringLiteral("; "))));
    emit startNeedsChoice(differences);
}

QString MachineSession::zeroWork(int axes, bool intoSystem)
{
    const ModalState expected = expectedModes();
    const QStringList lines =
        intoSystem ? WorkOffsets::systemZeroLines(axes, expected.system, {}, {}, false)
                   : QStringList{WorkOffsets::g92ZeroLine(axes)};
    if (!intoSystem || !isConnected() || isMotionLocked()) {
        sendLine(lines.constFirst(), isMotionLocked());
        return {};
    }
    if (offsetsWanted || !workSystems.g92) {
        wantOffsets();
        return QStringLiteral("the controller has not told its offsets yet: try again in a "
                              "moment");
    }
    // The other axes keep their work position through the G92 offset's clearing: read at rest.
    if (workSystems.hasG92() && (!isIdle() || !work))
        return QStringLiteral("a G92 offset is in force and the machine is not idle");
    for (const QString &line :
         WorkOffsets::systemZeroLines(axes, expected.system, *workSystems.g92,
                                      work ? work->value : WorkOffsets::Axes{}, expected.inches)) {
        if (!sendLine(line, isMotionLocked()))
            break;
    }
    return {};
}

bool MachineSession::hasWorkOffset() const
{
    return offset && std::any_of(offset->value.begin(), offset->value.end(),
                                 [](double axis) { return axis != 0; });
}

void MachineSession::chooseStart(StartChoice choice)
{
    if (!starting)
        return;
    if (choice == StartChoice::Cancel)
        return cancelStart(QStringLiteral("cancelled"));
    if (choice == StartChoice::AsItIs)
        return beginJob(modes);
    const ModalState usual;
    enqueue(usual.startWords().toLatin1(), CommandTag);
    beginJob(usual);
}

void MachineSession::cancelStart(const QString &why)
{
    if (!starting)
        return;
    starting = false;
    startText.clear();
    startFrom.reset();
    emit notice(QStringLiteral("Program not started: ") + why);
    emit jobChanged();
}

void MachineSession::beginJob(const ModalState &start)
{
    starting = false;
    if (lostAxes) {
        lostAxes = 0; // the operator has seen it and goes on
        emit workOffsetChanged();
    }
    job = Job(JobProgram::read(startText, start, startFrom ? &*startFrom : nullptr), !startCheck);
    startText.clear();
    startFrom.reset();
    MachineState reading = start.reading();
    if (work) {
        reading.x = float(work->value[0]);
        reading.y = float(work->value[1]);
        reading.z = float(work->value[2]);
    }
    tracker.start(reading, start.system);
    jobClock.start();
    jobEndedMs = -1;
    drainPolled = false;
    SendQueuedLines();
    jobMayHaveChanged();
}

qint64 MachineSession::jobElapsedMs() const
{
    if (jobEndedMs >= 0)
        return jobEndedMs;
    return jobClock.isValid() ? jobClock.elapsed() : 0;
}

// Why no probe of either kind may start now; empty when one may.
QString MachineSession::probeRefusal() const
{
    if (!isConnected())
        return QStringLiteral("the controller is not connected");
    if (probe.isActive() || grid.isActive())
        return QStringLiteral("a probe is already running");
    if (isJogLocked())
        return QStringLiteral("a program is running");
    if (!isIdle())
        return QStringLiteral("the machine is not idle");
    return {};
}

QString MachineSession::startProbe(const ProbeRequest &request)
{
    if (const QString refusal = probeRefusal(); !refusal.isEmpty())
        return refusal;
    ProbeRequest asked = request;
    if (asked.toolLength) {
        if (asked.axis != QLatin1Char('Z') || asked.distance >= 0)
            return QStringLiteral("a tool length is probed downwards along Z");
        asked.setHeight.reset();
        asked.referenceTouch = asked.asReference ? std::nullopt : referenceTouch;
    }
    const QStringList lines = ProbeCycle::startLines(asked);
    const ModalState before = expectedModes();
    const QString relative = relativeLine(before);
    ModalState during = before;
    during.apply(relative);
    during.apply(lines.at(1));
    probeRestore = before.restoreWords(during).toLatin1();
    enqueue(relative.toLatin1(), CommandTag);
    enqueue(lines.at(1).toLatin1(), ProbeTag);
    probe.start(asked);
    probeTimer.start(ProbeCycle::timeoutMs(asked));
    return {};
}

QString MachineSession::startGridProbe(const GridProbeRequest &request)
{
    if (const QString refusal = probeRefusal(); !refusal.isEmpty())
        return refusal;
    if (feedingHeld)
        return QStringLiteral("the machine is not idle");
    if (const QString fault = request.fault(); !fault.isEmpty())
        return fault;
    if (lostAxes & 4)
        return QStringLiteral("a reset cleared the G92 offset on Z set here: set the work zero "
                              "on Z again");
    if (!offset || offsetUnreported) {
        pollStatus();
        return QStringLiteral("the controller has not reported its work offset yet: try again "
                              "in a moment");
    }
    if (offset->value[2] == 0)
        return QStringLiteral("the controller has no work zero on Z: the heights are measured "
                              "from it, so set it on the stock first");
    payOwedRestore();
    const ModalState before = expectedModes();
    QString words;
    if (before.inches)
        words += QStringLiteral(" G21");
    if (before.inverseTime)
        words += QStringLiteral(" G94");
    ModalState during = before;
    during.apply(
        QStringLiteral("G90%1 G0 F%2").arg(words, ModalState::plainNumber(request.lastFeed())));
    gridRestore = before.restoreWords(during).toLatin1();
    grid.start(request, offset->value[2], words, QStringLiteral("G%1").arg(before.system));
    gridClock.start();
    showGridProgress();
    pumpGrid();
    return {};
}

void MachineSession::stopGridProbe()
{
    if (!grid.isActive())
        return;
    for (int i = queue.size() - 1; i >= 0; --i) {
        if (queue.at(i).tag == GridTag)
            queue.removeAt(i);
    }
    restoreOwed = gridRestore; // unless the reset that should follow puts the modes back
    endGrid(grid.fail(QStringLiteral("stopped by the operator")), false);
}

void MachineSession::pumpGrid()
{
    const QString line = grid.nextLine();
    if (!line.isEmpty())
        enqueue(line.toLatin1(), GridTag);
}

void MachineSession::showGridProgress()
{
    const double rapidXY = std::min(maxRate[0], maxRate[1]);
    emit gridProbeProgress(grid.done(), grid.total(),
                           grid.secondsLeft(gridClock.elapsed(), rapidXY, maxRate[2]));
}

void MachineSession::gridAnswered(bool ok, const QString &reply)
{
    const int doneBefore = grid.done();
    if (const auto outcome = grid.answered(ok, ControllerCodes::readable(reply)))
        return endGrid(*outcome, true);
    if (grid.done() != doneBefore)
        showGridProgress();
    pumpGrid();
}

void MachineSession::endGrid(const GridProbeOutcome &outcome, bool sendLines)
{
    if (sendLines) {
        queue.enqueue({gridRestore, RestoreTag});
        SendQueuedLines();
    }
    emit notice(outcome.message);
    emit gridProbeFinished(outcome);
}

double MachineSession::workPosition(int axis) const
{
    return work && axis >= 0 && axis < 3 ? work->value[size_t(axis)] : 0.0;
}

QString MachineSession::jogLine(const QString &direction, const QString &step, int feed)
{
    return QStringLiteral("$J=G91 %1%2 F%3").arg(direction, step).arg(feed);
}

// Jog steps are millimetres: a controller left in inches would go 25.4 times as far.
bool MachineSession::jogStep(const QString &direction, const QString &step, int feed)
{
    const ModalState before = expectedModes();
    if (grbl.speaks11()) {
        QString line = jogLine(direction, step, feed);
        if (before.inches)
            line.insert(3, QStringLiteral("G21 "));
        return sendLine(line, isJogLocked());
    }
    const QString relative = relativeLine(before);
    const QString move = QStringLiteral("G01 %1%2 F%3").arg(direction, step).arg(feed);
    ModalState after = before;
    after.apply(relative);
    after.apply(move);
    if (!sendLine(relative, isJogLocked()))
        return false;
    sendLine(move, isJogLocked());
    enqueue(before.restoreWords(after).toLatin1(), RestoreTag);
    sendRealtime(statusQuery);
    return true;
}

void MachineSession::holdJog(const QString &direction, int feed)
{
    if (direction == jogDirection && (direction.isEmpty() || feed == jogFeed))
        return;
    if (!jogDirection.isEmpty())
        cancelJog();
    if (direction.isEmpty() || !isConnected() || isJogLocked())
        return;
    jogDirection = direction;
    jogFeed = feed;
    jogClock.start();
    jogQueuedUntil = 0;
    if (!grbl.speaks11()) {
        if (!settingsRead && !settingsAsked) {
            settingsAsked = true;
            enqueue(QByteArrayLiteral("$$"), SettingsTag);
        }
        const ModalState before = expectedModes();
        const QString relative = relativeLine(before);
        ModalState during = before;
        during.apply(relative);
        during.apply(QStringLiteral("G1 F%1").arg(qMax(1, feed)));
        jogRestore = before.restoreWords(during).toLatin1();
        enqueue(relative.toLatin1(), CommandTag);
        jogSentDistance = 0;
        jogStartPosition.reset();
        pollStatus();
    }
    pumpJog();
    jogPump.start();
}

void MachineSession::pumpJog()
{
    if (jogDirection.isEmpty() || !isConnected())
        return cancelJog();
    if (!grbl.speaks11())
        return pumpJog09();
    const double now = jogClock.elapsed() / 1000.0;
    jogQueuedUntil = qMax(jogQueuedUntil, now);
    while (jogQueuedUntil - now < jogAheadSeconds) {
        const double distance = jogFeed / 60.0 * jogMoveSeconds;
        enqueue(jogLine(jogDirection, QString::number(distance, 'f', 3), jogFeed).toLatin1(),
                JogTag);
        jogQueuedUntil += jogMoveSeconds;
    }
}

double MachineSession::jogSpeed09(int axis, int feed) const
{
    const size_t at = size_t(qBound(0, axis, 2));
    return qMax(1.0,
                std::min({double(feed), maxRate[at], acceleration[at] * jog09StopSeconds * 60}));
}

// What the machine has done is read from its reports, not from a clock: a controller that
// falls behind (a busy host, a slow link) gets no more motion ahead of it.
void MachineSession::pumpJog09()
{
    pollStatus();
    if (!settingsRead || !jogStartPosition || !machine)
        return;
    const int axis = jogDirection.at(0).unicode() - 'X';
    const double speed = jogSpeed09(axis, jogFeed);
    const double step = speed / 60 * jog09MoveSeconds;
    const double travelled =
        std::fabs(machine->value[size_t(qBound(0, axis, 2))] - *jogStartPosition);
    double ahead = jogSentDistance - travelled;
    while (ahead + step <= speed / 60 * jog09AheadSeconds + 1e-9) {
        enqueue(
            QStringLiteral("G01 %1%2 F%3")
                .arg(jogDirection, QString::number(step, 'f', 3), QString::number(speed, 'f', 0))
                .toLatin1(),
            JogTag);
        jogSentDistance += step;
        ahead += step;
    }
}

// Jog cancel empties the controller's planner of jog moves with a controlled stop; the moves
// not yet written are dropped here, so nothing follows the release. 0.9 runs out the little
// it holds, and gets its modes back.
void MachineSession::cancelJog()
{
    jogPump.stop();
    const bool wasJogging = !jogDirection.isEmpty();
    jogDirection.clear();
    for (int i = queue.size() - 1; i >= 0; --i) {
        if (queue.at(i).tag == JogTag)
            queue.removeAt(i);
    }
    if (!wasJogging)
        return;
    if (grbl.speaks11())
        sendRealtime(jogCancel);
    else if (!jogRestore.isEmpty() && isConnected())
        enqueue(std::exchange(jogRestore, QByteArray()), RestoreTag);
}

void MachineSession::readLine(const QString &line)
{
    if (line.startsWith(QLatin1Char('<'))) {
        readStatus(line);
        return;
    }
    emit lineReceived(line);
    // "$#"'s answer ends with the last probe's place, "[PRB:...]": no touch of the probe under
    // way, which a "$#" asked just before it started would otherwise end.
    inParameters = inParameters || line.startsWith(QLatin1String("[G54:"));
    const bool parameterLine = inParameters;
    if (line == QLatin1String("ok") || line.startsWith(QLatin1String("error")))
        inParameters = false;
    if (line.startsWith(QLatin1Char('[')))
        readIdentity(line);
    else if (line.startsWith(QLatin1Char('$')))
        readSetting(line);
    if (line == QLatin1String("ok"))
        answered(true, line);
    else if (line.startsWith(QLatin1String("error")))
        answered(false, line);
    else if (line.startsWith(QLatin1String("ALARM")))
        alarmed(line);
    else if (parameterLine && line.startsWith(QLatin1String("[PRB:")))
        return;
    else if (const auto gridEnding = grid.probeReport(line))
        endGrid(*gridEnding, true);
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
        readOffsets(line);
        readModalState(line);
    }
}

// "$110=500.000 (x max rate, mm/min)" (0.9) or "$110=500.000" (1.1).
void MachineSession::readSetting(const QString &line)
{
    const int equals = line.indexOf(QLatin1Char('='));
    bool numbered = false;
    bool readable = false;
    const int number = line.mid(1, equals - 1).toInt(&numbered);
    const double value = line.mid(equals + 1).section(QLatin1Char(' '), 0, 0).toDouble(&readable);
    if (equals < 0 || !numbered || !readable || !std::isfinite(value))
        return;
    if (number >= 110 && number <= 112 && value > 0)
        maxRate[size_t(number - 110)] = value;
    else if (number >= 120 && number <= 122 && value > 0)
        acceleration[size_t(number - 120)] = value;
    else if (number == 22)
        homingEnabled = value != 0;
}

// A line of "$#"'s answer: "[G55:10.000,0.000,-5.000]" .. "[G92:0.000,0.000,0.000]".
void MachineSession::readOffsets(const QString &line)
{
    if (workSystems.read(line))
        emit coordinateSystemsChanged();
    if (!line.startsWith(QLatin1String("[G92:")) || !std::exchange(offsetCheckOwed, false) ||
        !offsetAxes || !workSystems.g92)
        return;
    for (size_t axis = 0; axis < 3; ++axis) {
        if ((offsetAxes & (1 << axis)) && !WorkOffsets::isZero((*workSystems.g92)[axis]))
            return;
    }
    offsetLost();
}

void MachineSession::wantOffsets()
{
    offsetsWanted = true;
    offsetsTries = 0;
    askOffsets();
}

// The controller tells them only at rest: "$#" is refused while it moves, holds or checks. It
// waits until nothing else is outstanding, so it never takes a place the operator's lines need.
void MachineSession::askOffsets()
{
    const bool atRest = machineState.isEmpty() || machineState == QLatin1String("Idle") ||
                        machineState == QLatin1String("Alarm");
    if (!offsetsWanted || offsetsAsked || offsetsAwaitReport || offsetsTries >= 3 ||
        connectQuestionsOwed || !isConnected() || isMotionLocked() || feedingHeld || !atRest ||
        !sentLines.isEmpty() || !queue.isEmpty())
        return;
    offsetsAsked = true;
    ++offsetsTries;
    enqueue(QByteArrayLiteral("$#"), OffsetsTag);
}

void MachineSession::tellSystem()
{
    if (modes.system == std::exchange(shownSystem, modes.system))
        return;
    emit coordinateSystemsChanged();
}

void MachineSession::offsetLost()
{
    if (!offsetAxes)
        return;
    lostAxes |= offsetAxes;
    offsetAxes = 0;
    emit notice(QStringLiteral("The controller's reset cleared the G92 offset on %1 set here: the "
                               "work coordinates are the controller's own again. Zero again "
                               "before running a program.")
                    .arg(lostOffsetAxes()));
    emit workOffsetChanged();
}

// What the controller accepted changes its modes; a G92 with axis words sets an offset that a
// reset clears without a word, so it is remembered. A line that moves the work offset leaves
// the one last reported behind until a report tells the new one.
void MachineSession::followAccepted(const QByteArray &line)
{
    if (line.startsWith('$'))
        return;
    const QString text = QString::fromLatin1(line);
    const ModalState before = modes;
    modes.apply(text);
    int axes = 0;
    bool offsetWord = false;
    bool offsetCleared = false;
    bool systemSet = false;
    bool offsetsMoved = false;
    double l = -1, p = -1;
    for (const ProgramLine::Word &word : ProgramLine::words(text)) {
        if (word.letter >= 'X' && word.letter <= 'Z')
            axes |= 1 << (word.letter - 'X');
        l = word.letter == 'L' ? word.value : l;
        p = word.letter == 'P' ? word.value : p;
        const double code = word.letter == 'G' ? std::round(word.value * 10) : -1;
        offsetWord = offsetWord || code == 920;
        offsetCleared = offsetCleared || code == 921;
        systemSet = systemSet || code == 100;
        offsetsMoved = offsetsMoved || code == 100 || (code >= 920 && code <= 923);
        offsetUnreported = offsetUnreported || code == 100 || (code >= 920 && code <= 923) ||
                           code == 431 || code == 490;
    }
    offsetUnreported = offsetUnreported || modes.system != before.system;
    const int lostBefore = lostAxes;
    if (offsetWord) {
        offsetAxes |= axes;
        lostAxes &= ~axes;
    } else if (offsetCleared) {
        offsetAxes = 0;
    }
    // A zero written into the system in use is kept by the controller: nothing for a reset to
    // take there, unless a G92 offset is in force as well.
    if (systemSet && (l == 2 || l == 20) && (p == 0 || p == modes.system - 53)) {
        lostAxes &= ~axes;
        for (size_t axis = 0; axis < 3 && workSystems.g92; ++axis) {
            if (WorkOffsets::isZero((*workSystems.g92)[axis]))
                offsetAxes &= ~(axes & (1 << axis));
        }
    }
    if (offsetsMoved)
        wantOffsets();
    tellSystem();
    if (lostAxes != lostBefore)
        emit workOffsetChanged();
    if (modes.spindle != before.spindle || modes.flood != before.flood || modes.mist != before.mist)
        emit modesChanged();
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
    if (const std::optional<ModalState> told = ModalState::fromParserState(line)) {
        modes = *told;
        emit modesChanged();
        tellSystem();
    }
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
    // Only a report that follows the jog's ok was made after the jog set off.
    jogUnreported = std::any_of(sentLines.begin(), sentLines.end(),
                                [](const QByteArray &sent) { return sent.startsWith("$J="); });
    // A readable 1.1 report tells the dialect of a controller that said nothing else yet.
    if (report.barForm && (report.machine || report.work) && grbl.kind == Dialect::Unknown)
        learnDialect(Dialect{Dialect::Grbl11, QStringLiteral("1.1"), false, 127});
    derivePositions();
    probe.machineState(machineState);
    if (!jogDirection.isEmpty() && !jogStartPosition && machine && !grbl.speaks11())
        jogStartPosition = machine->value[size_t(qBound(0, jogDirection.at(0).unicode() - 'X', 2))];
    if (job.isActive() && work) {
        tracker.reported(work->value, atRestState());
        job.finishedBefore(tracker.firstUnfinished());
        if (machineState == QLatin1String("Hold"))
            job.controllerHeld();
        jobMayHaveChanged();
    }
    emit lineReceived(line);
    emit statusReported();
    if (std::exchange(connectQuestionsOwed, false))
        enqueue(QByteArrayLiteral("$G"), CommandTag);
    offsetsAwaitReport = false;
    askOffsets();
    if (atRestState() && drainPolled) {
        job.machineStopped();
        if (job.hold() == Job::Hold::ToolChange && shownHold != Job::Hold::ToolChange)
            enqueue(QByteArrayLiteral("M5"), CommandTag);
        jobMayHaveChanged();
    }
}

void MachineSession::answered(bool ok, const QString &reply)
{
    const int tag = window.answered(NoTag);
    const QByteArray line = sentLines.isEmpty() ? QByteArray() : sentLines.dequeue();
    if (ok)
        followAccepted(line);
    if (tag >= 0) {
        if (ok) {
            tracker.confirmed(tag, QString::fromLatin1(line));
            job.confirmed(tag);
        } else {
            jobRefusedLine(tag, reply);
        }
    } else if (tag == GridTag && grid.isActive()) {
        gridAnswered(ok, reply);
    } else if (tag == ProbeTag && !ok && probe.isActive()) {
        endProbe(probe.fail(ControllerCodes::readable(reply)), true);
    } else if (tag == RestoreTag && !ok) {
        restoreOwed = line; // refused in an alarm: owed until the controller takes it
    } else if (tag == StartCheckTag) {
        decideStart(ok, reply);
    } else if (tag == SettingsTag) {
        settingsRead = true;
        tellAlarmHint();
    } else if (tag == macroTag() && macroRun.isActive()) {
        macroAnswered(ok, line, reply);
    } else if (tag == OffsetsTag) {
        offsetsAsked = false;
        offsetsWanted = offsetsWanted && !ok;
        offsetsAwaitReport = !ok; // refused while it moves: asked again once a report says rest
    }
    SendQueuedLines();
    askOffsets();
    jobMayHaveChanged();
}

// 1.1 sends one of the two positions and the work offset now and then; 0.9 sends both. What is
// missing is derived from the last offset; without one it stays as it was.
void MachineSession::derivePositions()
{
    if (report.offset || (report.machine && report.work))
        offsetUnreported = false;
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
    const bool toldAlready = job.state() == Job::State::Stopped && !job.faultReply().isEmpty();
    job.alarm(readable);
    cancelJog();
    // A probe's own alarm leaves the machine where it knows it is; any other may not.
    if (!probe.isActive() && !grid.isActive())
        forgetToolReference(readable);
    if (probe.isActive())
        endProbe(probe.fail(readable), true);
    if (grid.isActive())
        endGrid(grid.alarm(line), true);
    cancelStart(readable);
    endMacro(readable);
    jobMayHaveChanged();
    // The alarm that follows a reset in motion belongs to the job the reset stopped.
    if (!toldAlready && job.state() == Job::State::Stopped && job.faultReply() == readable) {
        emit notice(QStringLiteral("Program ") + job.describe(jobElapsedMs()));
        emit jobChanged();
    }
    // Homing on a machine without it only gets another error: the hint waits for the settings
    // that say whether it has it.
    alarmHintOwed = true;
    if (homingEnabled || settingsAsked)
        return tellAlarmHint();
    settingsAsked = true;
    enqueue(QByteArrayLiteral("$$"), SettingsTag);
}

void MachineSession::tellAlarmHint()
{
    if (!std::exchange(alarmHintOwed, false))
        return;
    QString hint =
        QStringLiteral("The controller is in alarm: \"$X\" (Kill Alarm Lock) unlocks it");
    if (homingEnabled.value_or(false))
        hint += QStringLiteral(", \"$H\" (homing) homes it");
    emit notice(hint + QLatin1Char('.'));
}

// A controller that starts afresh has dropped every line it held; going on would run the rest
// of a program with a gap.
void MachineSession::controllerRestarted(const QString &banner)
{
    buildInfoAsked = false;
    settingsAsked = settingsRead = false;
    jogDirection.clear();
    jogPump.stop();
    job.reset();
    dropEverything();
    if (probe.isActive())
        endProbe(probe.fail(QStringLiteral("the controller was reset")), false);
    if (grid.isActive())
        endGrid(grid.fail(QStringLiteral("the controller was reset")), false);
    cancelStart(QStringLiteral("the controller was reset"));
    endMacro(QStringLiteral("the controller restarted"));
    restoreOwed.clear(); // a reset puts the controller back into its usual modes
    offsetUnreported = true;
    modes = ModalState{};
    emit modesChanged();
    tellSystem();
    offsetLost();
    connectQuestionsOwed = offsetCheckOwed = false;
    // The systems are kept in the controller's settings store; the G92 offset is gone. What a
    // restart as the port opened threw away is asked again.
    if (workSystems.hasG92()) {
        workSystems.g92 = WorkOffsets::Axes{};
        emit coordinateSystemsChanged();
    }
    askOffsets();
    if (alarmHintOwed) { // asked before the reset, and thrown away by it
        settingsAsked = true;
        enqueue(QByteArrayLiteral("$$"), SettingsTag);
    }
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
    workSystems = WorkOffsets{};
    emit coordinateSystemsChanged();
    grbl = Dialect{};
    buildInfoAsked = false;
    window.setBufferBytes(grbl.receiveBuffer);
    emit dialectChanged();
    job.linkLost();
    dropEverything();
    forgetToolReference(QStringLiteral("link lost"));
    cancelStart(QStringLiteral("link lost"));
    endMacro(QStringLiteral("link lost"));
    if (probe.isActive()) {
        endProbe(probe.fail(QStringLiteral("link lost")), false);
        restoreOwed = probeRestore;
    }
    if (grid.isActive()) {
        endGrid(grid.fail(QStringLiteral("link lost")), false);
        restoreOwed = gridRestore;
    }
    jobMayHaveChanged();
}

void MachineSession::dropEverything()
{
    queue.clear();
    window.reset();
    sentLines.clear();
    machineState.clear();
    feedingHeld = false;
    offsetsAsked = offsetsAwaitReport = inParameters = false;
}

void MachineSession::enqueue(const QByteArray &bytes, int tag)
{
    queue.enqueue({bytes, tag});
    SendQueuedLines();
}

void MachineSession::payOwedRestore()
{
    if (restoreOwed.isEmpty())
        return;
    queue.enqueue({std::exchange(restoreOwed, QByteArray()), RestoreTag});
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
    sentLines.enqueue(bytes);
    jogUnreported = jogUnreported || bytes.startsWith("$J=");
    emit lineSent(QString::fromLatin1(bytes));
    return true;
}

void MachineSession::endProbe(const ProbeCycle::Ending &ending, bool sendLines)
{
    probeTimer.stop();
    if (ending.toolTouch && !probe.request().referenceTouch)
        referenceTouch = ending.toolTouch;
    if (sendLines) {
        for (const QString &line : ending.lines) {
            if (line == QLatin1String("G90"))
                queue.enqueue({probeRestore, RestoreTag});
            else
                queue.enqueue({line.toLatin1(), CommandTag});
        }
        SendQueuedLines();
    }
    emit notice(ending.message);
    emit probeFinished(ending.contact, ending.message);
}

void MachineSession::forgetToolReference(const QString &why)
{
    if (!referenceTouch)
        return;
    referenceTouch.reset();
    emit notice(QStringLiteral("The reference tool's length is forgotten (%1): the machine may "
                               "not be where it was. Touch the reference tool again.")
                    .arg(why));
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
