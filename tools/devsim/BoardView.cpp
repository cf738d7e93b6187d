#include "tools/devsim/BoardView.h"

#include "tools/devsim/RegisterWindowFile.h"

#include <cstdio>

namespace {

// The backlight port (shared with outputs 54, 55 and 57): line 1 drives the backlight, line 2 powers it.
constexpr std::uint32_t BacklightControl = 0x10;
constexpr std::uint32_t BacklightData = 0x14;
constexpr int DriveLine = 1;
constexpr std::uint32_t DriveBit = 0x2;
constexpr std::uint32_t PowerBit = 0x4;

// The backlight's PWM timer.
constexpr std::uint32_t TimerControl = 0x08;
constexpr int TimerFieldShift = 8;
constexpr std::uint32_t TimerStartBit = 0x1; // within the timer's four-bit control field
constexpr std::uint32_t TimerCount = 0x18;
constexpr std::uint32_t TimerCompare = 0x1C;

constexpr BoardView::Pin Pins[BoardView::PinCount] = {
    { 0, true, 0x50, 0, false, "" },
    { 1, true, 0x50, 5, false, "" },
    { 2, true, 0x50, 6, false, "" },
    { 3, true, 0x50, 7, false, "" },
    { 50, false, 0xF0, 13, false, "" },
    { 51, false, 0x40, 11, false, "" },
    { 52, false, 0x40, 12, false, "" },
    { 53, false, 0x40, 13, false, "" },
    { 54, false, 0x10, 2, false, "backlight power enable" },
    { 55, false, 0x10, 3, false, "" },
    { 56, false, 0x00, 26, true, "" },
    { 57, false, 0x10, 5, false, "" },
    { 58, false, 0x00, 25, true, "" },
};

std::uint32_t TwoBitField(const RegisterWindowFile& gpio, std::uint32_t control, int line)
{
    return (gpio.Word(control) >> (2 * line)) & 0x3;
}

std::string TwoBitMode(std::uint32_t field, const char* functionName)
{
    switch (field) {
    case 0:
        return "input";
    case 1:
        return "output";
    case 2:
        return functionName;
    default:
        return "other (11)";
    }
}

}

const BoardView::Pin& BoardView::PinAt(int index)
{
    return Pins[index];
}

BoardView::PinState BoardView::DecodePin(const RegisterWindowFile& gpio, int index)
{
    const Pin& pin = Pins[index];
    PinState state;
    if (pin.oneBitField) {
        // One bit per line on this port: clear selects output, set hands the line to another function.
        state.mode = (gpio.Word(pin.control) >> pin.line) & 1 ? "other (1)" : "output";
    } else {
        state.mode = TwoBitMode(TwoBitField(gpio, pin.control, pin.line), "other (10)");
    }
    state.high = (gpio.Word(pin.control + 4) >> pin.line) & 1;
    return state;
}

std::string BoardView::DriveMode(const RegisterWindowFile& gpio)
{
    return TwoBitMode(TwoBitField(gpio, BacklightControl, DriveLine), "timer");
}

bool BoardView::PowerEnabled(const RegisterWindowFile& gpio)
{
    return gpio.Word(BacklightData) & PowerBit;
}

std::string BoardView::Brightness(const RegisterWindowFile& gpio, const RegisterWindowFile& timer)
{
    if (!PowerEnabled(gpio))
        return "off (power enable low)";
    const std::string mode = DriveMode(gpio);
    const bool driveHigh = gpio.Word(BacklightData) & DriveBit;
    if (mode == "output")
        return driveHigh ? "full (drive line is a plain output, high)"
                         : "dark (drive line is a plain output, low)";
    if (mode != "timer")
        return "dark (drive line is in mode " + mode + ", not driven)";
    const std::uint32_t count = timer.Word(TimerCount);
    const std::uint32_t compare = timer.Word(TimerCompare);
    const bool started = (timer.Word(TimerControl) >> TimerFieldShift) & TimerStartBit;
    char text[128];
    if (count == 0) {
        std::snprintf(text, sizeof text, "compare %u / count 0: no PWM period set", compare);
    } else {
        const double duty = compare >= count ? 100.0 : 100.0 * compare / count;
        std::snprintf(text, sizeof text, "compare %u / count %u = %.1f %% duty", compare, count, duty);
    }
    return std::string(text) + (started ? "" : " (timer not started)");
}

std::string BoardView::Render(
    const std::string& dir, const RegisterWindowFile& gpio, const RegisterWindowFile& timer)
{
    std::string view = "Register windows in " + dir + " (read only)\n";
    char line[160];
    std::snprintf(line, sizeof line, "  GPIO   %s  %s\n  timer  %s  %s\n\n", gpio.FileName().c_str(),
        gpio.Note().c_str(), timer.FileName().c_str(), timer.Note().c_str());
    view += line;
    view += "GPIO pins\n  pin  dir     port  line  mode        level\n";
    for (int index = 0; index < PinCount; ++index) {
        const Pin& pin = Pins[index];
        const PinState state = DecodePin(gpio, index);
        std::snprintf(line, sizeof line, "  %3d  %-6s  0x%02x  %4d  %-10s  %s%s%s\n", pin.number,
            pin.input ? "in" : "out", pin.control, pin.line, state.mode.c_str(), state.high ? "high" : "low",
            pin.role[0] ? "   " : "", pin.role);
        view += line;
    }
    view += "\nBacklight\n";
    view += "  drive line    port 0x10 line 1, mode " + DriveMode(gpio) + "\n";
    view += std::string("  power enable  ") + (PowerEnabled(gpio) ? "high" : "low") + " (pin 54)\n";
    view += "  level         " + Brightness(gpio, timer) + "\n";
    return view;
}
