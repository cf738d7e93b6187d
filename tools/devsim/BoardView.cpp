#include "tools/devsim/BoardView.h"

#include "pinbank/PinTable.h"
#include "tools/devsim/RegisterWindowFile.h"

#include <cstdio>

namespace {

// The backlight port (shared with outputs 54, 55 and 57): line 1 drives the backlight, line 2 powers it.
constexpr std::uint32_t BacklightControl = 0x10;
constexpr std::uint32_t BacklightData = 0x14;
constexpr std::uint32_t DriveLine = 1;
constexpr std::uint32_t DriveBit = 0x2;

// The backlight's PWM timer.
constexpr std::uint32_t TimerControl = 0x08;
constexpr int TimerFieldShift = 8;
constexpr std::uint32_t TimerStartBit = 0x1; // within the timer's four-bit control field
constexpr std::uint32_t TimerCount = 0x18;
constexpr std::uint32_t TimerCompare = 0x1C;

constexpr const PinLine& PowerPin = *FindPin(BacklightPowerPin);

std::uint32_t TwoBitField(const RegisterWindowFile& gpio, std::uint32_t control, std::uint32_t line)
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

BoardView::PinState BoardView::DecodePin(const RegisterWindowFile& gpio, const PinLine& pin)
{
    PinState state;
    if (pin.modeField == ModeField::OneBit) {
        // One bit per line on this port: clear selects output, set hands the line to another function.
        state.mode = (gpio.Word(pin.controlOffset) >> pin.line) & 1 ? "other (1)" : "output";
    } else {
        state.mode = TwoBitMode(TwoBitField(gpio, pin.controlOffset, pin.line), "other (10)");
    }
    state.high = gpio.Word(DataWordOffset(pin)) & LineBit(pin);
    return state;
}

std::string BoardView::DriveMode(const RegisterWindowFile& gpio)
{
    return TwoBitMode(TwoBitField(gpio, BacklightControl, DriveLine), "timer");
}

bool BoardView::PowerEnabled(const RegisterWindowFile& gpio)
{
    const PinState power = DecodePin(gpio, PowerPin);
    return power.mode == "output" && power.high;
}

std::string BoardView::PowerEnable(const RegisterWindowFile& gpio)
{
    const PinState power = DecodePin(gpio, PowerPin);
    if (power.mode != "output")
        return "not driven: its line is in mode " + power.mode;
    return power.high ? "high" : "low";
}

std::string BoardView::Brightness(const RegisterWindowFile& gpio, const RegisterWindowFile& timer)
{
    if (!PowerEnabled(gpio))
        return "off (power enable " + PowerEnable(gpio) + ")";
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

std::string BoardView::Render(const std::string& dir, const RegisterWindowFile& gpio,
    const RegisterWindowFile& timer, const std::string& directoryProblem)
{
    std::string view = "Register windows in " + dir + " (read only)\n";
    if (!directoryProblem.empty())
        view += "  the libraries refuse this directory: " + directoryProblem + "\n";
    char line[160];
    std::snprintf(line, sizeof line, "  GPIO   %s  %s\n  timer  %s  %s\n\n", gpio.FileName().c_str(),
        gpio.Note().c_str(), timer.FileName().c_str(), timer.Note().c_str());
    view += line;
    view += "GPIO pins\n  pin  dir     port  line  mode        level\n";
    for (const PinLine& pin : PinTable) {
        const PinState state = DecodePin(gpio, pin);
        const bool power = pin.pin == BacklightPowerPin;
        std::snprintf(line, sizeof line, "  %3d  %-6s  0x%02x  %4u  %-10s  %s%s\n", pin.pin,
            pin.direction == PinDirection::Input ? "in" : "out", pin.controlOffset, pin.line,
            state.mode.c_str(), state.high ? "high" : "low", power ? "   backlight power enable" : "");
        view += line;
    }
    view += "\nBacklight\n";
    view += "  drive line    port 0x10 line 1, mode " + DriveMode(gpio) + "\n";
    view += "  power enable  pin 54, " + PowerEnable(gpio) + "\n";
    view += "  level         " + Brightness(gpio, timer) + "\n";
    return view;
}
