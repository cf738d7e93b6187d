#pragma once

#include "tools/probecheck/BoardCheck.h"

#include <cstdint>
#include <string>
#include <vector>

struct RecordField;
class WindowReader;

// `probecheck backlight`: loads libglowkit as any program would, initialises it, and sets each level in
// turn, each reached from a different level (when a level repeats the one already set, the check steps
// away first, or the library would rightly touch nothing). It passes when each level reads back and
// the registers hold what that level means: power enable low for 0; the drive line a plain output
// driven high for 100; otherwise the drive line on the running timer with a compare value of ten times
// the level against its count. Through the backlight class it judges the device's bl_power and
// brightness instead. It checks the controller, not the light. The level found at the start is set
// again at the end, also after Ctrl-C.
class BacklightCheck final : public BoardCheck {
public:
    BacklightCheck()
        : BoardCheck(BoardFile::Part::Backlight, "backlight-class")
    {
    }
    const char* Name() const override { return "backlight"; }
    std::string Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    // Also finds the backlight class device and its step count when the board file names one.
    std::string Prepare(CheckRecord& record) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    using GetFunction = std::int32_t();
    using SetFunction = std::int32_t(std::int32_t);

    bool ParseLevels(CommandLine& arguments);
    // The names of the measurements of the given step: the level read back, then the registers or the
    // class device's attributes.
    std::string StepName(std::size_t step) const;
    void Declare(CheckRecord& record) const;
    // Initialises the library and finds what the steps judge: the register windows, or the class device.
    // False with record ended.
    bool Initialise(
        GetFunction* initialise, WindowReader& gpio, WindowReader& timer, CheckRecord& record) const;
    void Step(std::size_t step, const WindowReader& gpio, const WindowReader& timer, GetFunction* get,
        SetFunction* set, CheckRecord& record) const;
    void MeasureAttributes(std::size_t step, CheckRecord& record, std::vector<RecordField>& row) const;

    std::vector<std::int32_t> levels { 0, 50, 100 };
    std::string classDevice; // with the backlight class: the device's directory
    std::int32_t maxBrightness = 0;
};
