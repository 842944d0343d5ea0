#include "Dialect.h"

std::string Dialect::banner() const
{
    return v11 ? "\r\nGrbl 1.1h ['$' for help]\r\n" : "\r\nGrbl 0.9j ['$' for help]\r\n";
}

std::string Dialect::unlockHint() const
{
    return message("'$H'|'$X' to unlock");
}

std::string Dialect::buildInfo() const
{
    if (!v11)
        return "[0.9j.20160726:]\r\n";
    // V: variable spindle; then what a sender may keep in flight.
    return "[VER:1.1h.20190830:]\r\n[OPT:V," + std::to_string(plannerBlocks()) + "," +
           std::to_string(receiveBufferSize()) + "]\r\n";
}

std::string Dialect::help() const
{
    if (v11)
        return "[HLP:$$ $# $G $I $N $x=val $Nx=line $J=line $SLP $C $X $H ~ ! ? ctrl-x]\r\n";
    return "$$ (view Grbl settings)\r\n$# (view # parameters)\r\n"
           "$G (view parser state)\r\n$I (view build info)\r\n"
           "$N (view startup blocks)\r\n$x=value (save Grbl setting)\r\n"
           "$Nx=line (save startup block)\r\n$C (check gcode mode)\r\n"
           "$X (kill alarm lock)\r\n$H (run homing cycle)\r\n~ (cycle start)\r\n"
           "! (feed hold)\r\n? (current status)\r\nctrl-x (reset Grbl)\r\n";
}

std::string Dialect::message(const std::string &text) const
{
    return (v11 ? "[MSG:" : "[") + text + "]\r\n";
}

std::string Dialect::error(int status) const
{
    if (v11)
        return "error:" + std::to_string(status);
    switch (status) {
    case ExpectedCommandLetter:
        return "error: Expected command letter";
    case BadNumberFormat:
        return "error: Bad number format";
    case InvalidStatement:
        return "error: Invalid statement";
    case NegativeValue:
        return "error: Value < 0";
    case PulseTooShort:
        return "error: Value < 3 usec";
    case NotIdle:
        return "error: Not idle";
    case AlarmLock:
        return "error: Alarm lock";
    case LineOverflow:
        return "error: Line overflow";
    case UnsupportedCommand:
        return "error: Unsupported command";
    case ModalGroupViolation:
        return "error: Modal group violation";
    case UndefinedFeedRate:
        return "error: Undefined feed rate";
    default:
        return "error: Invalid gcode ID:" + std::to_string(status);
    }
}

std::string Dialect::alarm(int code) const
{
    if (v11)
        return "ALARM:" + std::to_string(code);
    return code == AbortDuringCycle ? "ALARM: Abort during cycle" : "ALARM: Probe fail";
}
