#pragma once

#include <string>

class CommandLine;

// `devsim board`: shows the simulated register windows (GPIO pins, backlight) once, or refreshed in
// place every half second with --watch until Ctrl-C. Never creates or writes a register file. Without
// --dir it looks where the libraries do (BoardDirectoryPath).
class BoardCommand {
public:
    static constexpr int RefreshMs = 500;

    // Runs the subcommand with the arguments after "board". Exit status as GpsSimulator::Main.
    int Main(CommandLine& arguments);

private:
    bool Parse(CommandLine& arguments, bool* help);
    std::string Snapshot() const;
    int Watch() const;

    bool watch = false;
    std::string dir;
};
