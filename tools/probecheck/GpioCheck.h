#pragma once

#include "pinbank/GpioLineFinder.h"
#include "tools/common/PinWire.h"
#include "tools/probecheck/BoardCheck.h"

#include <cstdint>
#include <string>
#include <vector>

// `probecheck gpio`: loads libpinbank as any program would and checks the lines of a loopback fixture.
// Each --wire OUT:IN is driven low, high and low again while every other wire is held at the opposite
// level, and every wired input must follow each step: that catches an input stuck at either level, an
// open wire, and two wires shorted or crossed. --set drives outputs and --expect reads single pins.
// A call with nothing to compare is refused: it would prove nothing. With the GPIO character device,
// every pin the check uses must be on a line the library holds.
class GpioCheck final : public BoardCheck {
public:
    GpioCheck()
        : BoardCheck(BoardFile::Part::Gpio, "gpio-chardev")
    {
    }
    const char* Name() const override { return "gpio"; }
    std::string Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    void CheckOptions(CommandLine& arguments) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    struct PinLevel {
        std::int32_t pin;
        std::int32_t level;
    };
    struct HeldLine {
        std::int32_t pin;
        GpioLineFinder::Line line;
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
    bool Uses(std::int32_t pin) const;
    // Finds the lines the library holds and names their chips in record; false with the problem of the
    // first pin the check uses that is out of reach.
    bool FindLines(CheckRecord& record, std::string* problem);
    void ListPins(CheckRecord& record, GetInputFunction* getInput) const;

    std::vector<PinLevel> outputs;
    std::vector<PinLevel> expected;
    std::vector<PinWire> wires;
    std::vector<HeldLine> lines;
    double settleSeconds = 0.05;
};
