#pragma once

#include <cstdint>
#include <string>

class RegisterWindowFile;
struct PinLine;

// Reads the GPIO and timer register windows the way a person checking the board wants them: every pin of
// the GPIO library (from its own pin table) with its mode and level, and the backlight's drive line,
// power enable and brightness as the hardware would show them.
class BoardView {
public:
    struct PinState {
        std::string mode; // "input", "output" or "other (10)"
        bool high = false;
    };

    static PinState DecodePin(const RegisterWindowFile& gpio, const PinLine& pin);
    // "timer", "output", "input" or "other": what drives the backlight line.
    static std::string DriveMode(const RegisterWindowFile& gpio);
    // The power enable (pin 54) only powers the backlight while its line is an output driven high; in
    // any other mode its data bit drives nothing.
    static bool PowerEnabled(const RegisterWindowFile& gpio);
    // "high", "low", or "not driven: its line is in mode input".
    static std::string PowerEnable(const RegisterWindowFile& gpio);
    // "off (...)", "full (...)", "compare 500 / count 1005 = 49.8 % duty", ...
    static std::string Brightness(const RegisterWindowFile& gpio, const RegisterWindowFile& timer);

    // The whole view; dir is where the windows were read from, and directoryProblem, when not empty,
    // why the libraries would refuse that directory.
    static std::string Render(const std::string& dir, const RegisterWindowFile& gpio,
        const RegisterWindowFile& timer, const std::string& directoryProblem = {});
};
