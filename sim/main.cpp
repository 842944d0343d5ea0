// grblsim: a virtual Grbl 0.9j or 1.1h controller on a pseudo-terminal, for the station's demo,
// its end-to-end tests and its benchmarks.

#include "Controller.h"
#include "PseudoTerminal.h"
#include "SimConfig.h"
#include "Wire.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

enum SignalByte : char
{
    Stop = 0,
    Replug = 1
};

void onSignal(int number)
{
    const char byte = number == SIGUSR1 ? Replug : Stop;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

bool installSignalHandlers()
{
    if (::pipe(signalPipe) != 0)
        return false;
    ::fcntl(signalPipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGUSR1, &action, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

double monotonicSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Writes what the controller says without ever blocking on a station that does not read.
class OutputQueue
{
public:
    explicit OutputQueue(int fd) : fd(fd) {}
    void append(const std::string &bytes) { pending += bytes; }
    bool hasPending() const { return !pending.empty(); }
    void flush()
    {
        while (!pending.empty()) {
            const ssize_t written = ::write(fd, pending.data(), pending.size());
            if (written <= 0)
                return;
            pending.erase(0, static_cast<std::size_t>(written));
        }
    }

private:
    int fd;
    std::string pending;
};

// Keeps the counters in a file a test can read at any time; replaced whole, never half written.
class StatsFile
{
public:
    explicit StatsFile(std::string path) : path(std::move(path)) {}

    void update(const Controller::Counters &counters, double now, bool force)
    {
        if (path.empty() || (!force && (!(counters != written) || now - lastWrite < 0.05)))
            return;
        if (counters.overflowedBytes != written.overflowedBytes)
            std::fprintf(stderr, "grblsim: receive buffer full, %lld bytes dropped so far\n",
                         counters.overflowedBytes);
        const std::string temporary = path + ".new";
        if (std::FILE *file = std::fopen(temporary.c_str(), "w")) {
            std::fprintf(file,
                         "lines=%lld\noverflowed_bytes=%lld\nstatus_queries=%lld\nerrors=%lld\n"
                         "resets=%lld\nplanner_waits=%lld\nrestarts=%lld\nmotion_ms=%lld\n",
                         counters.lines, counters.overflowedBytes, counters.statusQueries,
                         counters.errors, counters.resets, counters.plannerWaits, counters.restarts,
                         counters.motionMs);
            std::fclose(file);
            std::rename(temporary.c_str(), path.c_str());
        }
        written = counters;
        lastWrite = now;
    }
    double nextDue(const Controller::Counters &counters) const
    {
        if (path.empty() || !(counters != written))
            return INFINITY;
        return lastWrite + 0.05;
    }

private:
    std::string path;
    Controller::Counters written;
    double lastWrite = -1;
};

// The controller's clock, in seconds like the wall clock. A virtual one stands still while the
// station is merely slow to send its next line, so a loaded host never lets the planner run dry;
// it runs while a line waits for the motion, and once the input has been quiet a while, so that
// a program still runs out after its last line.
class ControllerClock
{
public:
    ControllerClock(bool isVirtual, double start)
        : isVirtual(isVirtual), reading(start), wall(start)
    {
    }
    double now() const { return reading; }

    // Catches up with the wall clock for the time it ran. It never runs past the controller's
    // next event: when this process itself is late, the machine does not notice.
    void tick(double wallNow, double nextEvent)
    {
        if (!isVirtual) {
            reading = wallNow;
            return;
        }
        double next = reading + std::max(0.0, wallNow - runsFrom());
        if (nextEvent > reading)
            next = std::min(next, nextEvent);
        reading = next;
        wall = wallNow;
    }
    void heardLineBytes() { lastLineBytes = wall; }
    void setWaiting(bool on) { waiting = on; }
    // When the controller's clock will read `when`, on the wall clock; what it is waiting for
    // comes about by then at the earliest.
    double wallTime(double when) const
    {
        if (!isVirtual)
            return when;
        return runsFrom() + std::max(0.0, when - reading);
    }

private:
    static constexpr double quietSeconds = 0.1;

    double runsFrom() const
    {
        return waiting ? wall : std::max(wall, lastLineBytes + quietSeconds);
    }

    bool isVirtual;
    double reading;
    double wall; // at the last tick
    double lastLineBytes = -INFINITY;
    bool waiting = false;
};

int run(const SimConfig &config)
{
    PseudoTerminal terminal;
    if (!terminal.open(config.link)) {
        std::fprintf(stderr, "grblsim: %s\n", terminal.error().c_str());
        return 1;
    }
    std::FILE *log = nullptr;
    if (!config.log.empty() && !(log = std::fopen(config.log.c_str(), "wb"))) {
        std::fprintf(stderr, "grblsim: cannot write %s: %s\n", config.log.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::FILE *motionLog = nullptr;
    if (!config.motionLog.empty() && !(motionLog = std::fopen(config.motionLog.c_str(), "wb"))) {
        std::fprintf(stderr, "grblsim: cannot write %s: %s\n", config.motionLog.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", config.link.c_str());
    std::fflush(stdout);

    Wire inbound(config.baud);
    Wire outbound(config.baud);
    OutputQueue out(terminal.masterFd());
    StatsFile stats(config.stats);
    double now = monotonicSeconds();
    ControllerClock clock(config.virtualClock, now);
    // The wires stay on the wall clock whatever the controller's says.
    Controller controller(
        config, [&](const std::string &bytes) { outbound.send(bytes, now); }, log, motionLog);
    // Nobody listens before the first open, and the open restarts the board anyway.
    bool slaveOpen = false;
    bool poweredUp = false;
    const auto followOpens = [&]() {
        if (terminal.freshlyOpened()) {
            terminal.flush();
            inbound = Wire(config.baud);
            outbound = Wire(config.baud);
            // A station that sets up its port after opening it may discard what came before.
            outbound.holdUntil(now + config.bootDelay);
            out = OutputQueue(terminal.masterFd());
            // A board without the auto-reset powers up once and keeps its state at every open.
            if (!config.noAutoReset || !poweredUp)
                controller.powerUp(clock.now());
            poweredUp = true;
        }
        slaveOpen = terminal.slaveHeld();
    };

    std::string arrived;
    std::string leaving;
    char buffer[4096];
    const auto tick = [&]() {
        now = monotonicSeconds();
        clock.tick(now, controller.nextEvent());
    };
    for (;;) {
        tick();
        arrived.clear();
        inbound.receive(now, arrived);
        // The main loop empties the ring far faster than bytes arrive, unless it is waiting.
        for (const char byte : arrived) {
            if (controller.receiveByte(byte, clock.now()))
                clock.heardLineBytes();
            controller.service(clock.now());
        }
        controller.service(clock.now());
        clock.setWaiting(controller.waiting());
        leaving.clear();
        outbound.receive(now, leaving);
        if (slaveOpen)
            out.append(leaving);
        out.flush();
        stats.update(controller.counters(), now, false);

        const double wake = std::min({inbound.nextArrival(), outbound.nextArrival(),
                                      clock.wallTime(controller.nextEvent()),
                                      stats.nextDue(controller.counters())});
        const double wait = std::clamp(wake - monotonicSeconds(), 0.0, 1.0);
        timespec timeout{static_cast<time_t>(wait),
                         static_cast<long>((wait - std::floor(wait)) * 1e9)};
        // A master without a slave reports its hang-up at every poll: it is left out then.
        pollfd fds[3] = {{slaveOpen ? terminal.masterFd() : -1, POLLIN, 0},
                         {signalPipe[0], POLLIN, 0},
                         {terminal.watchFd(), POLLIN, 0}};
        if (out.hasPending())
            fds[0].events |= POLLOUT;
        if (::ppoll(fds, 3, &timeout, nullptr) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN) {
            char byte = Stop;
            if (::read(signalPipe[0], &byte, 1) != 1 || byte == Stop)
                break;
            // The cable was pulled and plugged back: a new device, what was on the way is
            // lost, and the board restarts when the station opens it.
            if (!terminal.reopen()) {
                std::fprintf(stderr, "grblsim: %s\n", terminal.error().c_str());
                break;
            }
            out = OutputQueue(terminal.masterFd());
            slaveOpen = false;
            continue;
        }
        tick();
        // Opens are seen before what the station sends after them, which the fresh board reads.
        followOpens();
        if (slaveOpen && (fds[0].revents & POLLIN)) {
            const ssize_t got = ::read(terminal.masterFd(), buffer, sizeof buffer);
            if (got > 0)
                inbound.send(std::string(buffer, static_cast<std::size_t>(got)),
                             monotonicSeconds());
        }
    }
    stats.update(controller.counters(), monotonicSeconds(), true);
    if (log)
        std::fclose(log);
    if (motionLog)
        std::fclose(motionLog);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    SimConfig config;
    std::string error;
    if (!parseArguments(argc, argv, config, error)) {
        std::fprintf(stderr, "grblsim: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (!installSignalHandlers()) {
        std::perror("grblsim: pipe");
        return 1;
    }
    return run(config);
}
