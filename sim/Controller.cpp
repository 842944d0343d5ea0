#include "Controller.h"

namespace {
const char *const banner = "\r\nGrbl 0.9j ['$' for help]\r\n";
}

Controller::Controller(Output output, std::FILE *log) : output(std::move(output)), log(log) {}

void Controller::powerUp()
{
    output(banner);
}

void Controller::receive(const char *data, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        const char byte = data[i];
        switch (byte) {
        case '?':
            realtime(byte);
            break;
        case '\r':
        case '\n':
            executeLine(pendingLine);
            pendingLine.clear();
            break;
        default:
            pendingLine.push_back(byte);
        }
    }
}

void Controller::realtime(char byte)
{
    logLine(std::string(1, byte));
    if (byte == '?')
        output(statusReport() + "\r\n");
}

void Controller::executeLine(const std::string &line)
{
    logLine(line);
    reply("ok");
}

void Controller::reply(const std::string &text)
{
    output(text + "\r\n");
}

void Controller::logLine(const std::string &text)
{
    if (!log)
        return;
    std::fwrite(text.data(), 1, text.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
}

std::string Controller::statusReport() const
{
    return "<Idle,MPos:0.000,0.000,0.000,WPos:0.000,0.000,0.000>";
}
