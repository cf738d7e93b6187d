#pragma once

#include "tools/probecheck/BoardCheck.h"

#include <cstdint>
#include <string>
#include <vector>

class WindowReader;

// `probecheck backlight`: loads libglowkit as any program would, initialises it, and sets each level in
// turn, each reached from a different level (when a level repeats the one already set, the check steps
// away first, or the library would rightly touch nothing). It passes when each level reads back and
// the registers hold what that level means: power enable low for 0; the drive line a plain output
// driven high for 100; otherwise the drive line on the running timer with a compare value of ten times
// the level against its count. It checks the controller's registers, not the light. The level found
// at the start is set again at the end, also after Ctrl-C.
class BacklightCheck final : public BoardCheck {
public:
    const char* Name() const override { return "backlight"; }
    const char* Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    using GetFunction = std::int32_t();
    using SetFunction = std::int32_t(std::int32_t);

    bool ParseLevels(CommandLine& arguments);
    // The names of the two measurements of the given step: the level read back, and the registers.
    std::string StepName(std::size_t step) const;
    void Declare(CheckRecord& record) const;
    void Step(std::size_t step, const WindowReader& gpio, const WindowReader& timer, GetFunction* get,
        SetFunction* set, CheckRecord& record) const;

    std::vector<std::int32_t> levels { 0, 50, 100 };
};
