#pragma once

#include "tools/devsim/BoardWiring.h"

#include <string>
#include <vector>

class CommandLine;

// `devsim board`: shows the simulated register windows (GPIO pins, backlight) once, or refreshed in
// place every half second with --watch until Ctrl-C. Without --dir it looks where the libraries do
// (BoardDirectoryPath). Only --wire and --stuck write: they serve loopback wires from outputs to inputs
// and inputs stuck at a level until Ctrl-C, creating the GPIO file if needed as the libraries would.
class BoardCommand {
public:
    static constexpr int RefreshMs = 500;

    // Runs the subcommand with the arguments after "board". Exit status as GpsSimulator::Main.
    int Main(CommandLine& arguments);

private:
    bool Parse(CommandLine& arguments, bool* help);
    void ParseWire(CommandLine& arguments);
    void ParseStuck(CommandLine& arguments);
    // Whether a wire or a stuck level already decides this input.
    bool Feeds(int input) const;
    std::string Snapshot() const;
    int Watch() const;
    int Wire() const;

    bool watch = false;
    std::string dir;
    std::vector<PinWire> wires;
    std::vector<BoardWiring::StuckInput> stuck;
};
