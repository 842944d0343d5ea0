// grblsim: a virtual Grbl 0.9j controller on a pseudo-terminal, for the station's demo, its
// end-to-end tests and its benchmarks.

#include "Controller.h"
#include "PseudoTerminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

struct Options
{
    std::string link;
    std::string log;
};

void usage()
{
    std::fprintf(stderr, "usage: grblsim --link PATH [--log FILE]\n"
                         "  --link PATH  symbolic link to the pseudo-terminal, printed at start\n"
                         "  --log FILE   write every received line (and realtime byte) to FILE\n");
}

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (i + 1 >= argc)
            return false;
        const std::string value = argv[++i];
        if (name == "--link")
            options.link = value;
        else if (name == "--log")
            options.log = value;
        else
            return false;
    }
    return !options.link.empty();
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
    ::signal(SIGPIPE, SIG_IGN);
    return true;
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

int run(const Options &options)
{
    PseudoTerminal terminal;
    if (!terminal.open(options.link)) {
        std::fprintf(stderr, "grblsim: %s\n", terminal.error().c_str());
        return 1;
    }
    std::FILE *log = nullptr;
    if (!options.log.empty() && !(log = std::fopen(options.log.c_str(), "wb"))) {
        std::fprintf(stderr, "grblsim: cannot write %s: %s\n", options.log.c_str(),
                     std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", options.link.c_str());
    std::fflush(stdout);

    OutputQueue out(terminal.masterFd());
    Controller controller([&out](const std::string &bytes) { out.append(bytes); }, log);
    controller.powerUp();

    char buffer[4096];
    for (;;) {
        out.flush();
        pollfd fds[2] = {{terminal.masterFd(), POLLIN, 0}, {signalPipe[0], POLLIN, 0}};
        if (out.hasPending())
            fds[0].events |= POLLOUT;
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents & POLLIN)
            break;
        if (fds[0].revents & POLLIN) {
            const ssize_t got = ::read(terminal.masterFd(), buffer, sizeof buffer);
            if (got > 0)
                controller.receive(buffer, static_cast<std::size_t>(got));
        }
    }
    if (log)
        std::fclose(log);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        usage();
        return 2;
    }
    if (!installSignalHandlers()) {
        std::perror("grblsim: pipe");
        return 1;
    }
    return run(options);
}
