#pragma once

#include "tools/probecheck/CheckReport.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CheckLoop;
class CommandLine;
class JsonWriter;
class Progress;

// `probecheck gpio`: loads libpinbank as any program would, drives the outputs it is told to, and
// passes when every expected pin reads as expected, which on a loopback fixture (outputs wired to
// inputs) shows that both ends of each wire work. Every pin's level goes into the record.
class GpioCheck {
public:
    int Main(CommandLine& arguments);

private:
    struct PinLevel {
        std::int32_t pin;
        std::int32_t level;
    };
    using GetInputFunction = std::int32_t(std::int32_t);
    using SetOutputFunction = void(std::int32_t, std::int32_t);

    bool Parse(CommandLine& arguments, bool* help);
    void ParsePinLevel(CommandLine& arguments, bool outputsOnly, std::vector<PinLevel>* list);
    int Run();
    CheckOutcome Measure(CheckLoop& loop, Progress& progress);
    CheckOutcome Judge() const;
    void WriteJson(JsonWriter& writer) const;
    std::string Summary() const;

    std::vector<PinLevel> outputs;
    std::vector<PinLevel> expected;
    double settleSeconds = 0.05;
    CommonOptions common;

    CheckReport report { "gpio" };
    std::string devicePath;
    std::string registersPath;
    std::string libraryPath;
    // What each expected pin read, in the order of expected.
    std::vector<std::int32_t> readings;
    std::optional<double> drivenAt;
    std::optional<double> readAt;
    // Every pin the library knows, read once at the end.
    std::vector<PinLevel> allPins;
};
