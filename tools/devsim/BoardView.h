#pragma once

#include <cstdint>
#include <string>

class RegisterWindowFile;

// Reads the GPIO and timer register windows the way a person checking the board wants them: every pin of
// the GPIO library with its mode and level, and the backlight's drive line, power enable and brightness.
class BoardView {
public:
    static constexpr std::uint32_t GpioAddress = 0x92100000;
    static constexpr std::size_t GpioSize = 256;
    static constexpr std::uint32_t TimerAddress = 0x91A00000;
    static constexpr std::size_t TimerSize = 68;
    static constexpr int PinCount = 13;

    struct Pin {
        int number;
        bool input; // the library reads it; otherwise drives it
        std::uint32_t control; // control word offset
        int line;
        bool oneBitField; // the port at 0x00 has one mode bit per line, the others two
        const char* role; // what the line is known for, or empty
    };
    struct PinState {
        std::string mode; // "input", "output" or "other (10)"
        bool high = false;
    };

    static const Pin& PinAt(int index);
    static PinState DecodePin(const RegisterWindowFile& gpio, int index);
    // "timer", "output", "input" or "other": what drives the backlight line.
    static std::string DriveMode(const RegisterWindowFile& gpio);
    static bool PowerEnabled(const RegisterWindowFile& gpio);
    // "off (...)", "full (...)", "compare 500 / count 1005 = 49.8 % duty", ...
    static std::string Brightness(const RegisterWindowFile& gpio, const RegisterWindowFile& timer);

    // The whole view; dir is where the windows were read from.
    static std::string Render(
        const std::string& dir, const RegisterWindowFile& gpio, const RegisterWindowFile& timer);
};
