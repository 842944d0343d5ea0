#include "SimConfig.h"

#include <cmath>
#include <cstdlib>

namespace {

bool toNumber(const std::string &text, double &value)
{
    char *end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(value);
}

} // namespace

const char *usageText()
{
    return "usage: grblsim --link PATH [options]\n"
           "  --link PATH          symbolic link to the pseudo-terminal, printed at start\n"
           "  --log FILE           every received line; realtime bytes as lines of their own\n"
           "  --stats FILE         counters (lines, overflowed bytes, motion_ms: the machine\n"
           "                       time spent moving or dwelling, ...), kept up to date\n"
           "  --motion-log FILE    every segment the machine ran, a line each as it ends or\n"
           "                       stops: G0, G1 (arc segments and probes too), J or $H, start\n"
           "                       and end in machine coordinates, F (mm/min; a rapid's the\n"
           "                       rapid rate), M3/M4/M5 and S, WCO (the work offset)\n"
           "  --time-scale N       run motion and dwells N times faster than real time\n"
           "  --instant            motion takes no time (for throughput measurements)\n"
           "  --virtual-clock      the machine's clock runs only while a line waits for the\n"
           "                       motion or the input has been quiet for 0.1 s: a slow sender\n"
           "                       never lets the planner run dry\n"
           "  --baud N             pace the line at N baud in both directions (10 bits a byte)\n"
           "  --rapid-rate MM_MIN  speed of G0 moves within the axes' maximum rates (default 500)\n"
           "  --probe-surface Z    machine Z at which a probe move touches (default -5)\n"
           "  --surface Z0,SX,SY[,BUMP,BX,BY,R]\n"
           "                       the stock's top a probe move touches instead, in machine\n"
           "                       coordinates: the plane z = Z0 + SX x + SY y, with a bump\n"
           "                       BUMP high at (BX,BY) that falls off as a cosine to nothing\n"
           "                       at the distance R from it; a probe stops at the first point\n"
           "                       of its move where the tool reaches the surface\n"
           "  --tool-lengths L0,L1,...\n"
           "                       how much longer than tool 0 each tool T0, T1, ... is; a T\n"
           "                       word puts its tool in the spindle; the motion log then ends\n"
           "                       each line with TL and the length of the tool in the spindle\n"
           "  --boot-delay S       seconds from the open of the port to the banner (default 0.1)\n"
           "  --grbl 0.9|1.1       the firmware version to speak (default 0.9)\n"
           "  --bar-status         0.9 with status reports in the 1.1 bar form\n"
           "  --no-auto-reset      a board without DTR auto-reset: only the first open starts\n"
           "                       it; later opens find it as it was, without a banner\n"
           "The controller starts afresh (banner, position 0) whenever its port is opened while\n"
           "nobody has it open, as a board with DTR auto-reset does.\n"
           "SIGUSR1 pulls the cable and plugs it back: a new pseudo-terminal behind the same\n"
           "link, what was on the way is lost. SIGINT and SIGTERM end it.\n";
}

bool parseArguments(int argc, char **argv, SimConfig &config, std::string &error)
{
    bool surfaceGiven = false; // by --probe-surface or --surface, once
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--instant") {
            config.instant = true;
            continue;
        }
        if (name == "--bar-status") {
            config.barStatus = true;
            continue;
        }
        if (name == "--no-auto-reset") {
            config.noAutoReset = true;
            continue;
        }
        if (name == "--virtual-clock") {
            config.virtualClock = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "missing value for " + name;
            return false;
        }
        const std::string value = argv[++i];
        double number = 0;
        const bool numeric = toNumber(value, number);
        if (name == "--link") {
            config.link = value;
        } else if (name == "--log") {
            config.log = value;
        } else if (name == "--stats") {
            config.stats = value;
        } else if (name == "--motion-log") {
            config.motionLog = value;
        } else if (name == "--time-scale" && numeric && number > 0) {
            config.timeScale = number;
        } else if (name == "--baud" && numeric && number >= 0 && number <= 10000000) {
            config.baud = static_cast<int>(number);
        } else if (name == "--rapid-rate" && numeric && number > 0) {
            config.rapidRate = number;
        } else if (name == "--probe-surface" && numeric && !surfaceGiven) {
            config.surface = WorkSurface(number);
            surfaceGiven = true;
        } else if (name == "--surface" && !surfaceGiven && config.surface.parse(value)) {
            surfaceGiven = true;
        } else if (name == "--tool-lengths" && readNumbers(value, config.toolLengths) &&
                   config.toolLengths.size() <= 100) {
        } else if (name == "--boot-delay" && numeric && number >= 0 && number <= 10) {
            config.bootDelay = number;
        } else if (name == "--grbl" && (value == "0.9" || value == "1.1")) {
            config.grbl11 = value == "1.1";
        } else {
            error = "cannot use " + name + " " + value;
            return false;
        }
    }
    if (config.link.empty()) {
        error = "--link is required";
        return false;
    }
    return true;
}
