#include "Controller.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

constexpr std::size_t maxLoggedLine = 1 << 20;
// How often the bar reports repeat what rarely changes: 0.9's WCO; 1.1's WCO and Ov (with A)
// while busy and while idle.
constexpr int offsetEvery = 10;
constexpr int offsetEveryBusy = 30, offsetEveryIdle = 10;
constexpr int overridesEveryBusy = 20, overridesEveryIdle = 10;

std::string number3(double value)
{
    if (std::fabs(value) < 0.0005)
        value = 0; // no "-0.000"
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string triple(Vec3 v)
{
    return number3(v.x) + "," + number3(v.y) + "," + number3(v.z);
}

// Up to three decimals, without trailing zeros.
std::string shortNumber(double value)
{
    std::string text = number3(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

std::string wholeNumber(double value, const char *suffix = "")
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f%s", value, suffix);
    return text;
}

bool readSettingNumber(const std::string &text, std::size_t &at, double &value)
{
    const char *start = text.c_str() + at;
    if (*start != '-' && *start != '+' && *start != '.' && (*start < '0' || *start > '9'))
        return false;
    char *end = nullptr;
    value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value))
        return false;
    for (const char *c = start; c < end; ++c) {
        if (*c == 'e' || *c == 'E' || *c == 'x' || *c == 'X' || *c == 'n' || *c == 'N' ||
            *c == 'i' || *c == 'I')
            return false; // the firmware reads plain decimals only
    }
    at = static_cast<std::size_t>(end - text.c_str());
    return true;
}

} // namespace

Controller::Controller(const SimConfig &config, Output output, std::FILE *log, std::FILE *motionLog)
    : config(config), dialect(config.grbl11), output(std::move(output)), log(log),
      motionLog(motionLog), ringSize(dialect.receiveBufferSize()), settings(config.grbl11)
{
    motion.setInstant(config.instant);
    if (!motionLog)
        return;
    // Written as each segment ends, so what the file holds has happened, even when the
    // process is killed.
    motion.setTrace([motionLog](const Motion::Note &note, Vec3 from, Vec3 to) {
        const std::string entry =
            note.kind + " " + triple(from) + " " + triple(to) + " " + note.state + "\n";
        std::fwrite(entry.data(), 1, entry.size(), motionLog);
        std::fflush(motionLog);
    });
}

double Controller::machineTime(double now) const
{
    return now * config.timeScale;
}

Motion::Limits Controller::limits() const
{
    Motion::Limits limits;
    for (int axis = 0; axis < 3; ++axis) {
        limits.maxRate[axis] = settings.value(110 + axis);
        limits.acceleration[axis] = settings.value(120 + axis);
    }
    limits.junctionDeviation = settings.value(11);
    return limits;
}

// The board restarts whenever its port is opened: everything the firmware keeps only in memory
// starts anew, the position too; what it keeps in EEPROM (settings, work systems) stays.
void Controller::powerUp(double now)
{
    ++count.restarts;
    motion.stop(machineTime(now));
    motion.setPosition(Vec3{});
    clearInput();
    hasPending = false;
    homing = jogging = doorHold = false;
    checkMode = false;
    alarm = Alarm::None;
    resetParser(Vec3{});
    lastProbe = Vec3{};
    lastProbeTouched = false;
    resetOverrides(now);
    output(dialect.banner());
    // With homing enabled the firmware boots locked, so nothing moves before the machine knows
    // where it is.
    if (settings.value(22) != 0) {
        alarm = Alarm::Locked;
        output(dialect.unlockHint());
    }
}

void Controller::clearInput()
{
    ring.clear();
    rawLine.clear();
    line.clear();
    inParenComment = inSemicolonComment = lineOverflow = false;
}

// The work systems live in the settings store and survive a reset; the rest starts anew.
void Controller::resetParser(Vec3 position)
{
    const auto systems = parser.systems;
    parser = ParserState{};
    parser.systems = systems;
    parser.position = position;
    // The first report names the offset, the next one the overrides.
    reportedOffset = Vec3{1e300, 0, 0};
    reportsSinceOffset = reportsToOffset = reportsToOverrides = 0;
}

void Controller::resetOverrides(double now)
{
    if (!(overrides != OverridePercent{}))
        return;
    overrides = OverridePercent{};
    overridesChanged = true;
    motion.setOverrides(overrides, machineTime(now));
}

bool Controller::receiveByte(char byte, double now)
{
    switch (byte) {
    case '?':
    case '!':
    case '~':
    case 0x18:
        realtime(byte, now);
        return false;
    default:
        break;
    }
    const unsigned char code = static_cast<unsigned char>(byte);
    if (dialect.isV11() && code >= 0x80) {
        extendedRealtime(code, now);
        return false;
    }
    // The firmware's interrupt drops a byte it has no room for, without a word.
    if (ring.size() >= ringSize) {
        ++count.overflowedBytes;
        return true;
    }
    ring.push_back(byte);
    return true;
}

void Controller::realtime(char byte, double now)
{
    logLine(std::string(1, byte));
    motion.advance(machineTime(now));
    switch (byte) {
    case '?':
        ++count.statusQueries;
        output(statusReport(now) + "\r\n");
        break;
    case '!':
        if (!motion.idle() && !homing)
            motion.hold(machineTime(now));
        break;
    case '~':
        doorHold = false;
        motion.resume(machineTime(now));
        break;
    default:
        softReset(now);
    }
}

void Controller::extendedRealtime(unsigned char byte, double now)
{
    char name[8];
    std::snprintf(name, sizeof name, "0x%02X", byte);
    logLine(name);
    motion.advance(machineTime(now));
    const OverridePercent before = overrides;
    if (byte == 0x84) {
        // Nothing models the door switch itself: it counts as closed again at once, so the
        // hold waits only for a cycle start.
        if (!motion.idle() && !homing) {
            doorHold = true;
            motion.hold(machineTime(now));
        }
    } else if (byte == 0x85) {
        cancelJog(now);
    } else if (applyOverrideByte(byte, overrides) && overrides != before) {
        overridesChanged = true;
        motion.setOverrides(overrides, machineTime(now));
    }
}

void Controller::cancelJog(double now)
{
    const bool jogWaiting = hasPending && pending.action.jog;
    if (!jogging || (motion.idle() && !jogWaiting))
        return;
    motion.cancel(machineTime(now));
    if (jogWaiting) {
        hasPending = false;
        reply("ok");
    }
    // The parser planned from where the jogs would have ended.
    syncParserPosition(now);
}

void Controller::softReset(double now)
{
    ++count.resets;
    // A reset during a feed hold that has come to rest loses no position: no alarm.
    const bool wasMoving = !motion.idle() && !motion.holding();
    motion.stop(machineTime(now));
    clearInput();
    hasPending = false;
    homing = jogging = doorHold = false;
    resetParser(motion.position(machineTime(now)));
    checkMode = false;
    resetOverrides(now);
    if (wasMoving)
        raiseAlarm(AbortDuringCycle);
    output(dialect.banner());
    if (alarm != Alarm::None)
        output(dialect.unlockHint());
}

void Controller::service(double now)
{
    motion.advance(machineTime(now));
    if (motion.idle())
        cycleStarted = false;
    double dwelling = 0;
    if (hasPending && pending.stage == 1)
        dwelling = machineTime(std::min(now, pending.dwellUntil)) - machineTime(pending.dwellFrom);
    count.motionMs = std::llround(
        (motion.movingSeconds(machineTime(now)) + dwelt + std::max(0.0, dwelling)) * 1000);
    // The firmware starts the planned moves once it has read every byte it holds, or when it
    // must wait for the planner or the motion.
    for (;;) {
        if ((hasPending && !progress(now)) || ring.empty()) {
            cycleStarted = cycleStarted || !motion.idle();
            return;
        }
        const char byte = ring.front();
        ring.pop_front();
        takeByte(byte, now);
    }
}

double Controller::nextEvent() const
{
    double next = motion.nextEvent() / config.timeScale;
    if (hasPending && pending.stage == 1)
        next = std::min(next, pending.dwellUntil);
    return next;
}

// The protocol layer: blanks, control characters and comments never reach the parser, and
// letters are made upper case.
void Controller::takeByte(char byte, double now)
{
    if (byte == '\n' || byte == '\r') {
        lineComplete(now);
        return;
    }
    if (rawLine.size() < maxLoggedLine)
        rawLine.push_back(byte);
    const unsigned char c = static_cast<unsigned char>(byte);
    if (inParenComment) {
        inParenComment = byte != ')';
    } else if (inSemicolonComment || c <= ' ' || byte == '/') {
    } else if (byte == '(') {
        inParenComment = true;
    } else if (byte == ';') {
        inSemicolonComment = true;
    } else if (line.size() >= lineBufferSize - 1) {
        // 0.9 refuses at the byte that does not fit and reads on from the next byte as a new
        // line; 1.1 refuses the whole line at its end.
        if (dialect.isV11()) {
            lineOverflow = true;
        } else {
            line.clear();
            replyError(LineOverflow);
        }
    } else {
        line.push_back(byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte);
    }
}

void Controller::lineComplete(double now)
{
    logLine(rawLine);
    ++count.lines;
    const std::string complete = line;
    const bool overflow = lineOverflow;
    rawLine.clear();
    line.clear();
    inParenComment = inSemicolonComment = lineOverflow = false;
    if (overflow) {
        replyError(LineOverflow);
        return;
    }
    executeLine(complete, now);
}

void Controller::executeLine(const std::string &text, double now)
{
    if (text.empty()) {
        reply("ok");
        return;
    }
    if (text[0] == '$') {
        executeSystemCommand(text, now);
        return;
    }
    motion.advance(machineTime(now));
    // 1.1 locks G-code out while it jogs, as in alarm.
    if (alarm != Alarm::None || (jogging && !motion.idle())) {
        replyError(AlarmLock);
        return;
    }
    LineAction action;
    if (const int status =
            parseGcodeLine(text, parser, action, settings.value(12), dialect.isV11());
        status != Ok) {
        replyError(status);
        return;
    }
    startAction(action, now);
}

void Controller::executeSystemCommand(const std::string &text, double now)
{
    const bool idle = motion.idle() && !hasPending;
    // What the firmware reads from or writes to its settings store waits for a machine at rest
    // (or in alarm): not while it moves, holds or checks a program. Moves it has planned from
    // bytes it read in one go have not started yet.
    const bool storeReady =
        ((idle || !cycleStarted) && !hasPending && !checkMode) || alarm != Alarm::None;
    const bool storeCommand = text == "$#" || text == "$I" || text.compare(0, 2, "$N") == 0;
    if (storeCommand && !storeReady) {
        replyError(NotIdle);
        return;
    }
    if (dialect.isV11() && text.compare(0, 3, "$J=") == 0) {
        jog(text.substr(3), now);
    } else if (text == "$") {
        output(dialect.help());
        reply("ok");
    } else if (text == "$$") {
        for (const std::string &setting : settings.listing())
            output(setting + "\r\n");
        reply("ok");
    } else if (text == "$#") {
        output(parametersReport());
        reply("ok");
    } else if (text == "$G") {
        output(parserStateReport());
        reply("ok");
    } else if (text == "$I") {
        output(dialect.buildInfo());
        reply("ok");
    } else if (text == "$N") {
        output("$N0=" + startupLines[0] + "\r\n$N1=" + startupLines[1] + "\r\n");
        reply("ok");
    } else if (text == "$X") {
        if (alarm != Alarm::None) // unlocked, it says nothing more than ok
            output(dialect.message("Caution: Unlocked"));
        alarm = Alarm::None;
        reply("ok");
    } else if (text == "$C") {
        if (!idle && !checkMode) {
            replyError(NotIdle);
        } else if (checkMode) {
            output(dialect.message("Disabled"));
            reply("ok");
            softReset(now);
        } else {
            checkMode = true;
            output(dialect.message("Enabled"));
            reply("ok");
        }
    } else if (text == "$H") {
        if (!idle) {
            replyError(NotIdle);
            return;
        }
        alarm = Alarm::None;
        LineAction home;
        home.synchronise = true;
        home.moves.push_back(
            {Vec3{}, length(motion.position(machineTime(now))), settings.value(25)});
        startAction(home, now, true);
    } else if (text.size() > 2 && text[1] == 'N' && text[2] >= '0' && text[2] <= '1' &&
               text.size() > 3 && text[3] == '=') {
        startupLines[text[2] - '0'] = text.substr(4);
        reply("ok");
    } else {
        std::size_t at = 1;
        double index = 0;
        double value = 0;
        if (!readSettingNumber(text, at, index) || at >= text.size() || text[at] != '=') {
            replyError(BadNumberFormat);
            return;
        }
        ++at;
        if (!readSettingNumber(text, at, value) || at != text.size()) {
            replyError(BadNumberFormat);
            return;
        }
        if (!idle) {
            replyError(NotIdle);
            return;
        }
        if (index != std::floor(index) || index < 0 || index > 255) {
            replyError(InvalidStatement);
            return;
        }
        const int status = settings.set(static_cast<int>(index), value);
        status == Ok ? reply("ok") : replyError(status);
    }
}

// Jogs start from Idle or add to jogs under way; anything else still running refuses them.
void Controller::jog(const std::string &words, double now)
{
    const bool busy = hasPending || (!motion.idle() && !jogging) || motion.holding();
    if (alarm != Alarm::None || homing || busy) {
        replyError(NotIdle);
        return;
    }
    LineAction action;
    if (const int status = parseJogLine(words, parser, action); status != Ok) {
        replyError(status);
        return;
    }
    startAction(action, now);
    cycleStarted = cycleStarted || !motion.idle(); // a jog sets off at once
}

void Controller::startAction(const LineAction &action, double now, bool isHoming)
{
    pending = Pending{};
    pending.action = action;
    if (action.toolNamed >= 0)
        toolInSpindle = action.toolNamed;
    pending.homing = isHoming;
    hasPending = true;
    homing = isHoming;
    progress(now);
}

// Walks a line through the stages the firmware takes it: wait for the planner to run dry,
// dwell, queue each move (waiting while the planner is full), wait again after a probe, reply.
bool Controller::progress(double now)
{
    motion.advance(machineTime(now));
    LineAction &action = pending.action;
    if (checkMode) {
        hasPending = false;
        if (action.programEnd)
            endProgram(now);
        reply("ok");
        return true;
    }
    if (pending.stage == 0) {
        if (action.synchronise && !motion.idle())
            return false;
        jogging = action.jog;
        pending.stage = 1;
        pending.dwellFrom = now;
        pending.dwellUntil = now + action.dwellSeconds / config.timeScale;
        if (config.instant)
            pending.dwellUntil = now;
    }
    if (pending.stage == 1) {
        if (now < pending.dwellUntil)
            return false;
        pending.stage = 2;
        dwelt += machineTime(pending.dwellUntil) - machineTime(pending.dwellFrom);
    }
    while (pending.stage == 2 && pending.nextMove < action.moves.size()) {
        if (motion.queued() >= dialect.plannerBlocks()) {
            if (!pending.waitedForPlanner)
                ++count.plannerWaits;
            pending.waitedForPlanner = true;
            return false;
        }
        queueMove(action.moves[pending.nextMove++], now);
    }
    pending.stage = 3;
    const bool waitsForMotion =
        action.probe != 0 || pending.homing || action.programEnd || action.pause;
    if (waitsForMotion && !motion.idle())
        return false;
    // M0 holds like a feed hold, and its line is answered, and the lines after it read, only
    // once cycle start has let it go.
    if (action.pause && !checkMode) {
        if (!pending.paused) {
            pending.paused = true;
            motion.pause(machineTime(now));
        }
        if (motion.holding())
            return false;
    }
    hasPending = false;
    if (pending.homing)
        syncParserPosition(now);
    homing = false;
    if (action.probe)
        finishProbe(now);
    if (action.programEnd)
        endProgram(now);
    reply("ok");
    return true;
}

// Said even in check mode; 1.1 also sets the overrides back.
void Controller::endProgram(double now)
{
    output(dialect.message("Pgm End"));
    if (dialect.isV11())
        resetOverrides(now);
}

void Controller::queueMove(const LineAction::Move &move, double now)
{
    Vec3 target = move.target;
    if (pending.action.probe) {
        // The move ends where the tool first reaches the work surface. A probe move starts
        // from rest, so the machine is where the move begins.
        pending.probeTouches = false;
        const Vec3 from = motion.position(machineTime(now));
        const Vec3 tip{0, 0, toolInSpindleLength()};
        // 1.1 refuses to start a probe that already touches; 0.9 moves and finds no contact.
        if (dialect.isV11() && config.surface.touches(from - tip)) {
            pending.probeAlreadyTouching = true;
            return;
        }
        if (const auto contact = config.surface.contact(from - tip, target - tip)) {
            target = *contact + tip;
            pending.probeTouches = true;
        }
    }
    const double feed = move.feed > 0 ? move.feed : config.rapidRate;
    motion.add(target, feed, limits(), machineTime(now), move.feed,
               motionLog ? noteFor(move, feed) : Motion::Note{});
}

// The parser has read no line past this one yet: its state is the one the move runs in (a
// spindle change waits for the planner to run dry).
Motion::Note Controller::noteFor(const LineAction::Move &move, double feed) const
{
    const char *kind = pending.homing       ? "$H"
                       : pending.action.jog ? "J"
                       : move.feed > 0      ? "G1"
                                            : "G0";
    std::string state = "F" + shortNumber(feed) + " M" + std::to_string(parser.spindle) + " S" +
                        shortNumber(parser.spindleSpeed) + " WCO " + triple(parser.workOffset());
    if (!config.toolLengths.empty())
        state += " TL " + shortNumber(toolInSpindleLength());
    return {kind, state};
}

void Controller::finishProbe(double now)
{
    // A probe that finds nothing leaves the last contact's place as it was.
    lastProbeTouched = pending.probeTouches;
    if (pending.probeTouches) {
        lastProbe = motion.position(machineTime(now));
        output("[PRB:" + triple(lastProbe) + ":1]\r\n");
    } else {
        if (pending.action.probe == 2)
            raiseAlarm(pending.probeAlreadyTouching ? ProbeAlreadyTouching : ProbeNoContact);
        output("[PRB:" + triple(lastProbe) + ":0]\r\n");
    }
    syncParserPosition(now);
}

void Controller::raiseAlarm(int code)
{
    alarm = Alarm::Locked;
    output(dialect.alarm(code) + "\r\n");
}

bool Controller::probeTouching(double now)
{
    return config.surface.touches(motion.position(machineTime(now)) -
                                  Vec3{0, 0, toolInSpindleLength()});
}

double Controller::toolInSpindleLength() const
{
    const auto &lengths = config.toolLengths;
    return toolInSpindle < int(lengths.size()) ? lengths[size_t(toolInSpindle)] : 0;
}

void Controller::syncParserPosition(double now)
{
    parser.position = motion.position(machineTime(now));
}

void Controller::reply(const std::string &text)
{
    output(text + "\r\n");
}

void Controller::replyError(int status)
{
    ++count.errors;
    reply(dialect.error(status));
}

void Controller::logLine(const std::string &text)
{
    if (!log)
        return;
    std::fwrite(text.data(), 1, text.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

std::string Controller::stateName() const
{
    if (alarm != Alarm::None)
        return "Alarm";
    if (homing)
        return "Home";
    if (checkMode)
        return "Check";
    if (!dialect.isV11())
        return motion.holding() ? "Hold" : motion.idle() ? "Idle" : "Run";
    if (doorHold)
        return "Door:0";
    // A hold freezes the motion at once in this model: it is always complete (Hold:1 would be
    // a hold still slowing down).
    if (motion.holding())
        return "Hold:0";
    if (!motion.idle())
        return jogging ? "Jog" : "Run";
    return "Idle";
}

std::string Controller::statusReport(double now)
{
    const Vec3 machine = motion.position(machineTime(now));
    const Vec3 offset = parser.workOffset();
    if (!config.barStatus && !dialect.isV11())
        return "<" + stateName() + ",MPos:" + triple(machine) +
               ",WPos:" + triple(machine - offset) + ">";
    return "<" + stateName() + barFields(machine, offset, now) + ">";
}

std::string Controller::barFields(Vec3 machine, Vec3 offset, double now)
{
    const bool v11 = dialect.isV11();
    const int mask = v11 ? static_cast<int>(settings.value(10)) : 1;
    std::string fields =
        mask & 1 ? "|MPos:" + triple(machine) : "|WPos:" + triple(machine - offset);
    if (v11 && (mask & 2))
        fields += "|Bf:" + std::to_string(dialect.plannerBlocks() - motion.queued()) + "," +
                  std::to_string(ringSize - ring.size());
    fields += "|FS:" + std::to_string(std::lround(motion.currentFeed(machineTime(now)))) + "," +
              std::to_string(std::lround(spindleSpeed()));
    if (v11 && probeTouching(now))
        fields += "|Pn:P";
    // What rarely changes comes along now and then, and in the report right after a change.
    const bool offsetChanged = offset.x != reportedOffset.x || offset.y != reportedOffset.y ||
                               offset.z != reportedOffset.z;
    reportedOffset = offset;
    if (!v11) {
        if (offsetChanged || ++reportsSinceOffset >= offsetEvery) {
            fields += "|WCO:" + triple(offset);
            reportsSinceOffset = 0;
        }
        return fields;
    }
    // 1.1 counts down to the next WCO and Ov; a report with WCO puts Ov off to the next one, and
    // the spindle and coolant (A) come only with Ov.
    const std::string accessories = std::string(parser.spindle == 3   ? "S"
                                                : parser.spindle == 4 ? "C"
                                                                      : "") +
                                    (parser.flood ? "F" : "");
    if (offsetChanged)
        reportsToOffset = 0;
    if (overridesChanged || accessories != reportedAccessories)
        reportsToOverrides = 0;
    overridesChanged = false;
    reportedAccessories = accessories;
    const bool busy = stateName() != "Idle" && stateName() != "Alarm" && stateName() != "Check";
    if (reportsToOffset > 0) {
        --reportsToOffset;
    } else {
        reportsToOffset = (busy ? offsetEveryBusy : offsetEveryIdle) - 1;
        reportsToOverrides = std::max(reportsToOverrides, 1);
        fields += "|WCO:" + triple(offset);
    }
    if (reportsToOverrides > 0) {
        --reportsToOverrides;
        return fields;
    }
    reportsToOverrides = (busy ? overridesEveryBusy : overridesEveryIdle) - 1;
    fields += "|Ov:" + std::to_string(overrides.feed) + "," + std::to_string(overrides.rapid) +
              "," + std::to_string(overrides.spindle);
    if (!accessories.empty())
        fields += "|A:" + accessories;
    return fields;
}

double Controller::spindleSpeed() const
{
    if (parser.spindle == 5)
        return 0;
    if (!dialect.isV11() || parser.spindleSpeed <= 0)
        return parser.spindleSpeed;
    // 1.1 keeps the overridden speed within the spindle's range ($31..$30).
    const double speed = parser.spindleSpeed * overrides.spindle / 100.0;
    return std::max(settings.value(31), std::min(speed, settings.value(30)));
}

std::string Controller::parserStateReport() const
{
    const int motionCode = parser.motion;
    const std::string motionWord = motionCode == 382   ? "G38.2"
                                   : motionCode == 383 ? "G38.3"
                                                       : "G" + std::to_string(motionCode / 10);
    const bool v11 = dialect.isV11();
    const char *suffix = v11 ? "" : ".";
    const bool feedInInches = parser.inches && !parser.inverseTime;
    return std::string(v11 ? "[GC:" : "[") + motionWord + " G" +
           std::to_string(54 + parser.system) + " G" + std::to_string(parser.plane) +
           (parser.inches ? " G20" : " G21") + (parser.absolute ? " G90" : " G91") +
           (parser.inverseTime ? " G93" : " G94") + (v11 ? " M" : " M0 M") +
           std::to_string(parser.spindle) + (parser.flood ? " M8" : " M9") + " T" +
           std::to_string(parser.tool) + " F" +
           wholeNumber(feedInInches ? parser.feed / 25.4 : parser.feed, suffix) + " S" +
           wholeNumber(parser.spindleSpeed, suffix) + "]\r\n";
}

std::string Controller::parametersReport() const
{
    std::string report;
    const char *const systems[] = {"G54", "G55", "G56", "G57", "G58", "G59"};
    for (std::size_t i = 0; i < parser.systems.size(); ++i)
        report += std::string("[") + systems[i] + ":" + triple(parser.systems[i]) + "]\r\n";
    for (const char *position : {"G28", "G30"})
        report += std::string("[") + position + ":0.000,0.000,0.000]\r\n";
    report += "[G92:" + triple(parser.g92) + "]\r\n[TLO:" + number3(parser.toolLength) + "]\r\n";
    return report + "[PRB:" + triple(lastProbe) + (lastProbeTouched ? ":1" : ":0") + "]\r\n";
}
