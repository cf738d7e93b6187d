#pragma once

#include "tools/probecheck/CheckReport.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CommandLine;
class JsonWriter;
class WindowReader;

// `probecheck backlight`: loads libglowkit as any program would, initialises it, steps through the
// brightness levels, and passes when each level reads back and the registers hold what that level
// means: power enable low for 0; the drive line a plain output driven high for 100; otherwise the drive
// line on the timer, running, with a compare value of ten times the level against its count. The level
// found at the start is set again at the end.
class BacklightCheck {
public:
    int Main(CommandLine& arguments);

private:
    // What one level left in the library and the registers.
    struct Step {
        std::int32_t level = 0;
        std::int32_t previous = 0;
        std::int32_t readBack = 0;
        bool powerEnabled = false;
        std::uint32_t driveMode = 0; // the drive line's mode field: 1 plain output, 2 timer
        bool driveHigh = false;
        bool timerRunning = false;
        std::uint32_t count = 0;
        std::uint32_t compare = 0;
        std::string problem; // empty when the step is right
    };

    bool Parse(CommandLine& arguments, bool* help);
    bool ParseLevels(CommandLine& arguments);
    int Run();
    CheckOutcome Measure();
    Step Read(const WindowReader& gpio, const WindowReader& timer, std::int32_t level, std::int32_t previous,
        std::int32_t readBack) const;
    // What is wrong with a step, or empty.
    static std::string Problem(const Step& step);
    CheckOutcome Judge() const;
    void WriteJson(JsonWriter& writer) const;
    std::string Summary() const;

    std::vector<std::int32_t> levels { 0, 50, 100 };
    CommonOptions common;

    CheckReport report { "backlight" };
    std::string devicePath;
    std::string registersPath;
    std::string libraryPath;
    std::optional<std::int32_t> adoptedLevel;
    std::optional<std::int32_t> restoredLevel;
    std::vector<Step> steps;
};
