#pragma once

#include "tools/common/PinWire.h"
#include "tools/probecheck/BoardCheck.h"

#include <cstdint>
#include <string>
#include <vector>

// `probecheck gpio`: loads libpinbank as any program would and checks the lines of a loopback fixture.
// Each --wire OUT:IN is driven low, high and low again while every other wire is held at the opposite
// level, and every wired input must follow each step: that catches an input stuck at either level, an
// open wire, and two wires shorted or crossed. --set drives outputs and --expect reads single pins.
// A call with nothing to compare is refused: it would prove nothing.
class GpioCheck final : public BoardCheck {
public:
    const char* Name() const override { return "gpio"; }
    const char* Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    void CheckOptions(CommandLine& arguments) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    struct PinLevel {
        std::int32_t pin;
        std::int32_t level;
    };
    using GetInputFunction = std::int32_t(std::int32_t);
    using SetOutputFunction = void(std::int32_t, std::int32_t);

    void ParsePinLevel(CommandLine& arguments, bool outputsOnly, std::vector<PinLevel>* list);
    void ParseWire(CommandLine& arguments);
    void Declare(CheckRecord& record) const;
    // Waits --settle seconds; false when a signal came first (record ended then).
    bool Settle(CheckLoop& loop, CheckRecord& record) const;
    bool DriveWires(
        CheckLoop& loop, CheckRecord& record, GetInputFunction* getInput, SetOutputFunction* setOutput) const;
    std::string Levels(GetInputFunction* getInput) const;

    std::vector<PinLevel> outputs;
    std::vector<PinLevel> expected;
    std::vector<PinWire> wires;
    double settleSeconds = 0.05;
};
