#pragma once

#include <cstdio>
#include <functional>
#include <string>

// What a Grbl 0.9j controller answers on its serial line.
class Controller
{
public:
    using Output = std::function<void(const std::string &bytes)>;

    // log, when given, receives every line exactly as it arrived, and every realtime byte as a
    // line of its own (realtime bytes never occur inside a line).
    Controller(Output output, std::FILE *log);

    void powerUp();
    void receive(const char *data, std::size_t size);

private:
    void realtime(char byte);
    void executeLine(const std::string &line);
    void reply(const std::string &text);
    void logLine(const std::string &text);
    std::string statusReport() const;

    Output output;
    std::FILE *log;
    std::string pendingLine;
};
