#pragma once

#include "Dialect.h"
#include "GcodeParser.h"
#include "GrblSettings.h"
#include "Overrides.h"
#include "SimConfig.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <string>

// A Grbl 0.9j or 1.1h controller behind its serial line: the receive interrupt with its
// 127-byte (128-byte) ring, the main loop that assembles and executes lines, the planner and
// the motion.
class Controller
{
public:
    using Output = std::function<void(const std::string &bytes)>;

    struct Counters
    {
        long long lines = 0;
        long long overflowedBytes = 0;
        long long statusQueries = 0;
        long long errors = 0;
        long long resets = 0;
        long long plannerWaits = 0; // lines that found the planner full and had to wait
        long long restarts = 0;     // power-ups, one at every open of the port
        long long motionMs = 0;     // machine time spent moving or dwelling: the running time
        bool operator!=(const Counters &o) const
        {
            return lines != o.lines || overflowedBytes != o.overflowedBytes ||
                   statusQueries != o.statusQueries || errors != o.errors || resets != o.resets ||
                   plannerWaits != o.plannerWaits || restarts != o.restarts ||
                   motionMs != o.motionMs;
        }
    };

    static constexpr std::size_t lineBufferSize = 80;

    // log takes every received line; motionLog, when given, every segment the machine ran.
    Controller(const SimConfig &config, Output output, std::FILE *log,
               std::FILE *motionLog = nullptr);

    // A fresh start as after power-up; the banner is its only word.
    void powerUp(double now);
    // The receive interrupt: realtime bytes act at once, the rest goes into the ring (or is
    // lost when it is full). Returns whether the byte was part of a line.
    bool receiveByte(char byte, double now);
    // The main loop: takes bytes from the ring while it is not waiting for the planner.
    void service(double now);
    // When service() has something to do again without new bytes.
    double nextEvent() const;
    // A line is held up by the motion: the planner is full or must run dry first, or a dwell
    // or a pause is under way.
    bool waiting() const { return hasPending; }
    const Counters &counters() const { return count; }

private:
    enum class Alarm
    {
        None,
        Locked
    };
    struct Pending
    {
        LineAction action;
        int stage = 0;
        double dwellFrom = 0;
        double dwellUntil = 0;
        std::size_t nextMove = 0;
        bool homing = false;
        bool probeTouches = false;
        bool probeAlreadyTouching = false;
        bool waitedForPlanner = false;
        bool paused = false; // M0 has put the machine on hold
    };

    void realtime(char byte, double now);
    void extendedRealtime(unsigned char byte, double now);
    void cancelJog(double now);
    void softReset(double now);
    void clearInput();
    void resetParser(Vec3 position);
    void resetOverrides(double now);
    void takeByte(char byte, double now);
    void lineComplete(double now);
    void executeLine(const std::string &line, double now);
    void executeSystemCommand(const std::string &line, double now);
    void jog(const std::string &words, double now);
    void startAction(const LineAction &action, double now, bool homing = false);
    bool progress(double now);
    void finishProbe(double now);
    void endProgram(double now);
    void queueMove(const LineAction::Move &move, double now);
    void reply(const std::string &text);
    void replyError(int status);
    void raiseAlarm(int code);
    void logLine(const std::string &text);
    Motion::Note noteFor(const LineAction::Move &move, double feed) const;
    std::string statusReport(double now);
    std::string parserStateReport() const;
    std::string parametersReport() const;
    std::string stateName() const;
    std::string barFields(Vec3 machine, Vec3 offset, double now);
    double spindleSpeed() const;
    bool probeTouching(double now);
    double toolInSpindleLength() const; // beyond tool 0's
    void syncParserPosition(double now);
    // Motion runs on the machine's clock, timeScale times as fast as the real one.
    double machineTime(double now) const;
    Motion::Limits limits() const;

    SimConfig config;
    Dialect dialect;
    Output output;
    std::FILE *log;
    std::FILE *motionLog;
    Counters count;
    double dwelt = 0; // machine seconds of the dwells that have ended

    std::size_t ringSize;
    std::deque<char> ring;
    std::string rawLine; // what arrived, for the log
    std::string line;    // what the parser sees
    bool inParenComment = false;
    bool inSemicolonComment = false;
    bool lineOverflow = false;

    bool hasPending = false;
    Pending pending;
    GrblSettings settings;
    ParserState parser;
    int toolInSpindle = 0; // kept across resets: the operator put it in
    OverriddenMotion motion;
    Alarm alarm = Alarm::None;
    bool checkMode = false;
    bool homing = false;
    bool jogging = false;      // what the planner holds are jogs
    bool cycleStarted = false; // the planned motion runs: the firmware's state is no longer Idle
    bool doorHold = false;     // held by the safety door rather than by "!"
    Vec3 lastProbe;
    bool lastProbeTouched = false;
    int reportsSinceOffset = 0;
    Vec3 reportedOffset{1e300, 0, 0};
    OverridePercent overrides;
    bool overridesChanged = false;
    int reportsToOffset = 0;    // 1.1: reports until the next WCO
    int reportsToOverrides = 0; // and the next Ov
    std::string reportedAccessories;
    std::string startupLines[2];
};
