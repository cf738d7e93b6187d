#include "tools/devsim/ConsoleInput.h"

#include <cerrno>

#include <unistd.h>

namespace {

// Longest request line kept; anything longer is not a request.
constexpr std::size_t MaxLine = 64;

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

}

ConsoleInput::~ConsoleInput()
{
    if (restore)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void ConsoleInput::Open()
{
    fd = STDIN_FILENO;
    if (!isatty(fd))
        return;
    if (tcgetpgrp(fd) != getpgrp()) {
        fd = -1; // in the background: leave the terminal to the shell
        return;
    }
    if (tcgetattr(fd, &saved) != 0)
        return;
    termios keys = saved;
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &keys) == 0) {
        keyMode = true;
        restore = true;
    }
}

std::vector<ConsoleCommand> ConsoleInput::Read(std::string* unknown)
{
    char buffer[256];
    ssize_t got = 0;
    do {
        got = read(fd, buffer, sizeof buffer);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        fd = -1; // end of input (or a broken stdin): stop watching it
        return {};
    }
    const std::string text(buffer, static_cast<std::size_t>(got));
    if (!keyMode)
        return TakeLines(text, unknown);
    std::vector<ConsoleCommand> commands;
    for (const char key : text) {
        if (key == 'r' || key == 'R')
            commands.push_back(ConsoleCommand::Ring);
        else if (key == 'h' || key == 'H')
            commands.push_back(ConsoleCommand::HangUp);
        else if (key != '\n' && key != '\r')
            *unknown = std::string(1, key);
    }
    return commands;
}

std::vector<ConsoleCommand> ConsoleInput::TakeLines(const std::string& text, std::string* unknown)
{
    std::vector<ConsoleCommand> commands;
    for (const char c : text) {
        if (c != '\n') {
            if (partial.size() < MaxLine)
                partial += c;
            continue;
        }
        const std::string request = Trim(partial);
        partial.clear();
        if (request == "ring")
            commands.push_back(ConsoleCommand::Ring);
        else if (request == "hangup")
            commands.push_back(ConsoleCommand::HangUp);
        else if (!request.empty())
            *unknown = request;
    }
    return commands;
}
