#include "Controller.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

const char *const banner = "\r\nGrbl 0.9j ['$' for help]\r\n";
const char *const helpText = "$$ (view Grbl settings)\r\n$# (view # parameters)\r\n"
                             "$G (view parser state)\r\n$I (view build info)\r\n"
                             "$N (view startup blocks)\r\n$x=value (save Grbl setting)\r\n"
                             "$Nx=line (save startup block)\r\n$C (check gcode mode)\r\n"
                             "$X (kill alarm lock)\r\n$H (run homing cycle)\r\n~ (cycle start)\r\n"
                             "! (feed hold)\r\n? (current status)\r\nctrl-x (reset Grbl)\r\n";
constexpr std::size_t maxLoggedLine = 1 << 20;

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

std::string wholeNumberWithPoint(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f.", value);
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

Controller::Controller(const SimConfig &config, Output output, std::FILE *log)
    : config(config), output(std::move(output)), log(log)
{
    motion.setInstant(config.instant);
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

void Controller::powerUp(double)
{
    output(banner);
}

void Controller::receiveByte(char byte, double now)
{
    switch (byte) {
    case '?':
    case '!':
    case '~':
    case 0x18:
        realtime(byte, now);
        return;
    default:
        break;
    }
    // The firmware's interrupt drops a byte it has no room for, without a word.
    if (ring.size() >= receiveRingSize) {
        ++count.overflowedBytes;
        return;
    }
    ring.push_back(byte);
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
        motion.resume(machineTime(now));
        break;
    default:
        softReset(now);
    }
}

void Controller::softReset(double now)
{
    ++count.resets;
    const bool wasMoving = !motion.idle();
    motion.stop(machineTime(now));
    ring.clear();
    rawLine.clear();
    line.clear();
    inParenComment = inSemicolonComment = lineOverflow = false;
    hasPending = false;
    homing = false;
    const Vec3 position = motion.position(machineTime(now));
    parser = ParserState{};
    parser.position = position;
    checkMode = false;
    if (wasMoving) {
        alarm = Alarm::Locked;
        output("ALARM: Abort during cycle\r\n");
    }
    output(banner);
    if (alarm != Alarm::None)
        output("['$H'|'$X' to unlock]\r\n");
}

void Controller::service(double now)
{
    motion.advance(machineTime(now));
    for (;;) {
        if (hasPending && !progress(now))
            return;
        if (ring.empty())
            return;
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
        lineOverflow = true;
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
        replyError("Line overflow");
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
    if (alarm != Alarm::None) {
        replyError("Alarm lock");
        return;
    }
    LineAction action;
    const std::string error = parseGcodeLine(text, parser, action, settings.value(12));
    if (!error.empty()) {
        replyError(error);
        return;
    }
    startAction(action, now);
}

void Controller::executeSystemCommand(const std::string &text, double now)
{
    const bool idle = motion.idle() && !hasPending;
    if (text == "$") {
        output(helpText);
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
        output("[0.9j.20160726:]\r\n");
        reply("ok");
    } else if (text == "$N") {
        output("$N0=" + startupLines[0] + "\r\n$N1=" + startupLines[1] + "\r\n");
        reply("ok");
    } else if (text == "$X") {
        alarm = Alarm::None;
        output("[Caution: Unlocked]\r\n");
        reply("ok");
    } else if (text == "$C") {
        if (!idle && !checkMode) {
            replyError("Not idle");
        } else if (checkMode) {
            output("[Disabled]\r\n");
            reply("ok");
            softReset(now);
        } else {
            checkMode = true;
            output("[Enabled]\r\n");
            reply("ok");
        }
    } else if (text == "$H") {
        if (!idle) {
            replyError("Not idle");
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
            replyError("Bad number format");
            return;
        }
        ++at;
        if (!readSettingNumber(text, at, value) || at != text.size()) {
            replyError("Bad number format");
            return;
        }
        if (!idle) {
            replyError("Not idle");
            return;
        }
        if (index != std::floor(index) || index < 0 || index > 255) {
            replyError("Invalid statement");
            return;
        }
        const std::string error = settings.set(static_cast<int>(index), value);
        error.empty() ? reply("ok") : replyError(error);
    }
}

void Controller::startAction(const LineAction &action, double now, bool isHoming)
{
    pending = Pending{};
    pending.action = action;
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
        reply("ok");
        return true;
    }
    if (pending.stage == 0) {
        if (action.synchronise && !motion.idle())
            return false;
        pending.stage = 1;
        pending.dwellUntil = now + action.dwellSeconds / config.timeScale;
        if (config.instant)
            pending.dwellUntil = now;
    }
    if (pending.stage == 1) {
        if (now < pending.dwellUntil)
            return false;
        pending.stage = 2;
    }
    while (pending.stage == 2 && pending.nextMove < action.moves.size()) {
        if (motion.full()) {
            if (!pending.waitedForPlanner)
                ++count.plannerWaits;
            pending.waitedForPlanner = true;
            return false;
        }
        queueMove(action.moves[pending.nextMove++], now);
    }
    pending.stage = 3;
    const bool waitsForMotion = action.probe != 0 || pending.homing || action.programEnd;
    if (waitsForMotion && !motion.idle())
        return false;
    hasPending = false;
    if (pending.homing)
        syncParserPosition(now);
    homing = false;
    if (action.probe)
        finishProbe(now);
    reply("ok");
    return true;
}

void Controller::queueMove(const LineAction::Move &move, double now)
{
    Vec3 target = move.target;
    if (pending.action.probe) {
        // The probe touches the work surface on its way down, and the move ends there. A probe
        // move starts from rest, so the machine is where the move begins.
        pending.probeTouches = false;
        const Vec3 from = motion.position(machineTime(now));
        const double surface = config.probeSurface;
        if (from.z > surface && target.z <= surface) {
            const double fraction = (from.z - surface) / (from.z - target.z);
            target = from + (target - from) * fraction;
            pending.probeTouches = true;
        }
    }
    const double feed = move.feed > 0 ? move.feed : config.rapidRate;
    motion.add(target, feed, limits(), machineTime(now));
}

void Controller::finishProbe(double now)
{
    lastProbe = motion.position(machineTime(now));
    if (pending.probeTouches) {
        output("[PRB:" + triple(lastProbe) + ":1]\r\n");
    } else {
        if (pending.action.probe == 2) {
            alarm = Alarm::Locked;
            output("ALARM: Probe fail\r\n");
        }
        output("[PRB:" + triple(lastProbe) + ":0]\r\n");
    }
    syncParserPosition(now);
}

void Controller::syncParserPosition(double now)
{
    parser.position = motion.position(machineTime(now));
}

void Controller::reply(const std::string &text)
{
    output(text + "\r\n");
}

void Controller::replyError(const std::string &text)
{
    ++count.errors;
    reply("error: " + text);
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
    if (motion.holding())
        return "Hold";
    if (!motion.idle())
        return "Run";
    return "Idle";
}

std::string Controller::statusReport(double now)
{
    const Vec3 machine = motion.position(machineTime(now));
    const Vec3 offset = parser.offset;
    if (!config.barStatus)
        return "<" + stateName() + ",MPos:" + triple(machine) +
               ",WPos:" + triple(machine - offset) + ">";
    std::string report = "<" + stateName() + "|MPos:" + triple(machine) + "|FS:" +
                         std::to_string(std::lround(motion.currentFeed(machineTime(now)))) + "," +
                         std::to_string(std::lround(parser.spindle == 5 ? 0 : parser.spindleSpeed));
    // Like the 1.1 firmware, the work offset comes along now and then, and when it changed.
    const bool offsetChanged = offset.x != reportedOffset.x || offset.y != reportedOffset.y ||
                               offset.z != reportedOffset.z;
    if (offsetChanged || ++reportsSinceOffset >= 10) {
        report += "|WCO:" + triple(offset);
        reportedOffset = offset;
        reportsSinceOffset = 0;
    }
    return report + ">";
}

std::string Controller::parserStateReport() const
{
    const int motionCode = parser.motion;
    const std::string motionWord = motionCode == 382   ? "G38.2"
                                   : motionCode == 383 ? "G38.3"
                                                       : "G" + std::to_string(motionCode / 10);
    std::string coolant = parser.mist && parser.flood ? "M7 M8"
                          : parser.mist               ? "M7"
                          : parser.flood              ? "M8"
                                                      : "M9";
    return "[" + motionWord + " G54 G" + std::to_string(parser.plane) +
           (parser.inches ? " G20" : " G21") + (parser.absolute ? " G90" : " G91") + " G94 M0 M" +
           std::to_string(parser.spindle) + " " + coolant + " T0 F" +
           wholeNumberWithPoint(parser.inches ? parser.feed / 25.4 : parser.feed) + " S" +
           wholeNumberWithPoint(parser.spindleSpeed) + "]\r\n";
}

std::string Controller::parametersReport() const
{
    std::string report;
    for (const char *system : {"G54", "G55", "G56", "G57", "G58", "G59", "G28", "G30"})
        report += std::string("[") + system + ":0.000,0.000,0.000]\r\n";
    report += "[G92:" + triple(parser.offset) + "]\r\n[TLO:0.000]\r\n";
    report += "[PRB:" + triple(lastProbe) + "]\r\n";
    return report;
}
