#pragma once

#include <string>
#include <vector>

#include <termios.h>

// What a person at devsim's own terminal (or a script feeding its stdin) asks the simulated module to do.
enum class ConsoleCommand { Ring, HangUp };

// Reads requests from stdin. On a terminal in the foreground single keys work ('r' rings, 'h' makes the
// other side hang up) and the terminal is put back as it was when the object goes away; otherwise stdin
// is read as lines ("ring", "hangup"). Ctrl-C keeps working either way. A background process never
// touches the terminal, so it is not stopped by the shell for reading from it.
class ConsoleInput {
public:
    ConsoleInput() = default;
    ConsoleInput(const ConsoleInput&) = delete;
    ConsoleInput& operator=(const ConsoleInput&) = delete;
    ~ConsoleInput();

    void Open();
    // The descriptor to watch, -1 once stdin has ended (or when it is not watched at all).
    int Fd() const { return fd; }
    bool KeyMode() const { return keyMode; }
    // Reads what is waiting. Unknown keys and lines are reported in *unknown for a hint to the user.
    std::vector<ConsoleCommand> Read(std::string* unknown);
    // Takes commands from text as typed in line mode (for tests and Read).
    std::vector<ConsoleCommand> TakeLines(const std::string& text, std::string* unknown);

private:
    int fd = -1;
    bool keyMode = false;
    bool restore = false;
    termios saved {};
    std::string partial;
};
