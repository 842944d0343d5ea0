#pragma once

#include "WorkSurface.h"

#include <string>
#include <vector>

// How the virtual controller behaves; set from the command line.
struct SimConfig
{
    std::string link;
    std::string log;        // every received line, and every realtime byte as a line of its own
    std::string stats;      // counters, rewritten while running and at the end
    std::string motionLog;  // every segment the machine ran, once it ended
    double timeScale = 1.0; // simulated seconds per real second, for motion and dwells
    bool instant = false;   // motion takes no time at all (throughput benchmarks)
    int baud = 0;           // 0: bytes cross the line at once; otherwise paced at 10 bits a byte
    double rapidRate = 500; // mm/min for G0, within the axes' maximum rates $110..$112
    bool barStatus = false; // 0.9 with status reports in the 1.1 bar form
    bool grbl11 = false;    // speaks Grbl 1.1h instead of 0.9j
    WorkSurface surface;    // what a probe touches: level at machine Z -5 unless told
    // How much longer than tool 0 each tool is; the tool a T word names is the one in the
    // spindle from that line on, as if the operator had put it in.
    std::vector<double> toolLengths;
    bool noAutoReset = false; // only the first open starts the board
    double bootDelay = 0.1;   // seconds from the port's open to the banner
    // The controller's clock stands while the station is merely slow to send its next line.
    bool virtualClock = false;
};

// Returns false (with a message in error) when the arguments are not understood.
bool parseArguments(int argc, char **argv, SimConfig &config, std::string &error);
const char *usageText();
