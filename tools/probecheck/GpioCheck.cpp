#include "tools/probecheck/GpioCheck.h"

#include "pinbank/GpioCharDevice.h"
#include "pinbank/PinTable.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Deadline.h"
#include "tools/common/Format.h"
#include "tools/common/GpioWay.h"
#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/DeviceLibrary.h"
#include "tools/probecheck/Progress.h"

#include <algorithm>

namespace {

constexpr const char* HelpText
    = "Usage: probecheck gpio [--wire OUT:IN ...] [--set PIN=LEVEL ...] [--expect PIN=LEVEL ...]\n"
      "                       [--settle S] [--device DIR]\n"
      "\n"
      "Checks the GPIO lines of a loopback fixture through libpinbank, loaded as any\n"
      "program loads it. First drives each --set output and reads each --expect pin;\n"
      "then drives each --wire output low, high and low again while the other wires'\n"
      "outputs are held at the opposite level, and requires every wired input to follow\n"
      "each step. That catches an input stuck at either level, an open wire, and two\n"
      "wires shorted or crossed. A call with nothing to compare is an error.\n"
      "\n"
      "  --wire OUT:IN       output OUT (50 to 58) is wired to input IN (0 to 3);\n"
      "                      repeatable, each pin in one wire only\n"
      "  --set PIN=LEVEL     drive output PIN (50 to 58) to LEVEL (0 low, 1 high); repeatable\n"
      "  --expect PIN=LEVEL  require PIN to read LEVEL: an input (0 to 3), or an output\n"
      "                      (50 to 58) read back; repeatable\n"
      "  --settle S          wait S seconds after driving before reading, 0 to 10\n"
      "                      (default 0.05: a simulated wire takes a few milliseconds)\n"
      "  --device DIR        the simulated board in DIR instead of the default registers\n"
      "                      (REGWIN_DIR, or real registers named by REGWIN_PHYS_92100000);\n"
      "                      only for register windows\n"
      "\n"
      "Outputs keep the levels they were last driven to. Reading an input puts its line\n"
      "into input mode, as the library always does. When the board file\n"
      "(/etc/deviceprobe/board.conf, or $DEVICEPROBE_BOARD) names pins, the library\n"
      "drives them through the GPIO character device, and every pin the check uses\n"
      "must be on a line the library holds; the record names each line's chip, offset\n"
      "and name. A board file that cannot be used, or a pin out of reach, is exit 2.\n";

// The levels of one wire's steps, and what the steps are called.
constexpr int WireSteps[] = { 0, 1, 0 };
constexpr const char* WireStepNames[] = { "low", "high", "low again" };

std::string WireStep(const PinWire& wire, std::size_t step)
{
    return Format("wire %d:%d %s", wire.output, wire.input, WireStepNames[step]);
}

} // namespace

std::string GpioCheck::Help() const
{
    return HelpText + HelpHere();
}

bool GpioCheck::ParseOption(std::string_view option, CommandLine& arguments)
{
    if (option == "--set")
        ParsePinLevel(arguments, true, &outputs);
    else if (option == "--expect")
        ParsePinLevel(arguments, false, &expected);
    else if (option == "--wire")
        ParseWire(arguments);
    else if (option == "--settle")
        (void)arguments.Number(0, 10, &settleSeconds);
    else
        return false;
    return true;
}

void GpioCheck::CheckOptions(CommandLine& arguments)
{
    if (expected.empty() && wires.empty())
        arguments.Fail("nothing to compare: give --wire OUT:IN or --expect PIN=LEVEL");
    for (const PinLevel& output : outputs) {
        for (const PinWire& wire : wires) {
            if (wire.output == output.pin)
                arguments.Fail(Format("output %d is both --set and in a --wire", output.pin));
        }
    }
}

void GpioCheck::ParsePinLevel(CommandLine& arguments, bool outputsOnly, std::vector<PinLevel>* list)
{
    const char* option = outputsOnly ? "--set" : "--expect";
    std::string text;
    if (!arguments.Value(&text))
        return;
    const std::size_t equals = text.find('=');
    PinLevel pinLevel {};
    if (equals == std::string::npos
        || !ParseWholeNumber(std::string_view(text).substr(0, equals), &pinLevel.pin)
        || !ParseWholeNumber(std::string_view(text).substr(equals + 1), &pinLevel.level)
        || (pinLevel.level != 0 && pinLevel.level != 1)) {
        arguments.Fail(std::string(option) + " needs PIN=LEVEL with LEVEL 0 or 1, not \"" + text + "\"");
        return;
    }
    const PinLine* pin = FindPin(pinLevel.pin);
    if (!pin || (outputsOnly && pin->direction != PinDirection::Output)) {
        arguments.Fail(std::string(option) + " " + text + ": no such "
            + (outputsOnly ? "output pin (outputs are 50 to 58)"
                           : "pin (inputs are 0 to 3, outputs 50 to 58)"));
        return;
    }
    for (const PinLevel& other : *list) {
        if (other.pin == pinLevel.pin)
            return arguments.Fail(
                std::string(option) + ": pin " + std::to_string(pinLevel.pin) + " is given twice");
    }
    list->push_back(pinLevel);
}

void GpioCheck::ParseWire(CommandLine& arguments)
{
    std::string text;
    PinWire wire;
    std::string error;
    if (!arguments.Value(&text))
        return;
    if (!ParsePinWire(text, &wire, &error))
        return arguments.Fail(error);
    // Holding the other wires at the opposite level needs each pin in one wire only.
    for (const PinWire& other : wires) {
        if (other.output == wire.output || other.input == wire.input)
            return arguments.Fail("--wire " + text + ": a pin of it is in another --wire already");
    }
    wires.push_back(wire);
}

void GpioCheck::Declare(CheckRecord& record) const
{
    for (const PinLevel& expectation : expected)
        record.Declare(Format("pin %d", expectation.pin), "", expectation.level, expectation.level);
    for (const PinWire& wire : wires) {
        for (std::size_t step = 0; step < std::size(WireSteps); ++step) {
            // Driven: this wire at the step's level, every other at the opposite one.
            std::string want;
            for (const PinWire& other : wires)
                want
                    += Format(" %d=%d", other.input, &other == &wire ? WireSteps[step] : 1 - WireSteps[step]);
            record.Declare(WireStep(wire, step), "", {}, {}, { want.substr(1) });
        }
    }
}

void GpioCheck::Run(CheckLoop& loop, Progress& progress, CheckRecord& record)
{
    Declare(record);
    // The library reports nothing when its registers are out of reach (it reads 0 and drives nothing),
    // so look for them the way it does before believing a single reading.
    std::string error;
    WindowReader gpio;
    if (Way() == BoardWay::Registers) {
        if (!gpio.Map("GPIO", GpioBlockAddress, GpioWindowSize, &error))
            return record.CouldNotRun(error);
        record.devicePath = gpio.Board();
        record.Fact("registers", RecordValue::Text(gpio.Source()));
    }
    DeviceLibrary pinbank;
    GetInputFunction* getInput = nullptr;
    SetOutputFunction* setOutput = nullptr;
    if (!pinbank.Load("libpinbank.so.1", &error) || !pinbank.Find("GetGPInput", &getInput, &error)
        || !pinbank.Find("SetGPOutput", &setOutput, &error))
        return record.CouldNotRun(error);
    record.Fact("library", RecordValue::Text(pinbank.Path()));
    progress.Event(Name(), "loaded " + pinbank.Path());
    // The same holds for a line it could not request; look for the lines as it did.
    if (Way() == BoardWay::Kernel && !FindLines(record, &error))
        return record.CouldNotRun(error);

    for (const PinLevel& output : outputs)
        setOutput(output.pin, output.level);
    // One reading after the lines had time to follow, not the first reading that happens to match: a
    // wire that still shows the level from before the outputs changed must not pass.
    if (!Settle(loop, record))
        return;
    for (const PinLevel& expectation : expected)
        record.Measure(Format("pin %d", expectation.pin), RecordValue::Number(getInput(expectation.pin)));
    if (!DriveWires(loop, record, getInput, setOutput))
        return;
    ListPins(record, getInput);
    record.Complete();
}

bool GpioCheck::Uses(std::int32_t pin) const
{
    const auto at = [pin](const PinLevel& pinLevel) { return pinLevel.pin == pin; };
    return std::any_of(outputs.begin(), outputs.end(), at)
        || std::any_of(expected.begin(), expected.end(), at)
        || std::any_of(wires.begin(), wires.end(),
            [pin](const PinWire& wire) { return wire.output == pin || wire.input == pin; });
}

bool GpioCheck::FindLines(CheckRecord& record, std::string* problem)
{
    GpioLineFinder finder(GpioCharDevice::Kernel());
    std::vector<std::string> chips;
    for (const PinLine& pin : PinTable) {
        GpioLineFinder::Line line;
        std::string why;
        if (!HeldPinLine(board, pin.pin, finder, &line, &why)) {
            if (problem->empty() && Uses(pin.pin))
                *problem = why;
            continue;
        }
        if (std::find(chips.begin(), chips.end(), line.chipPath) == chips.end()) {
            record.devicePath += (chips.empty() ? "" : " ") + line.chipPath;
            chips.push_back(line.chipPath);
        }
        lines.push_back({ pin.pin, std::move(line) });
    }
    return problem->empty();
}

// Every pin's level; with the GPIO character device, every pin on a line the library holds, with the line.
void GpioCheck::ListPins(CheckRecord& record, GetInputFunction* getInput) const
{
    RecordTable& pins = record.Table("pins");
    for (const PinLine& pin : PinTable) {
        const auto held = std::find_if(
            lines.begin(), lines.end(), [&pin](const HeldLine& one) { return one.pin == pin.pin; });
        if (Way() == BoardWay::Kernel && held == lines.end())
            continue;
        std::vector<RecordField> row = { { "pin", RecordValue::Number(pin.pin) },
            { "level", RecordValue::Number(getInput(pin.pin)) } };
        if (held != lines.end()) {
            row.push_back({ "chip", RecordValue::Text(held->line.chipPath) });
            row.push_back({ "offset", RecordValue::Number(held->line.offset) });
            row.push_back({ "line", RecordValue::Text(held->line.name) });
        }
        pins.rows.push_back(std::move(row));
    }
}

bool GpioCheck::Settle(CheckLoop& loop, CheckRecord& record) const
{
    const auto settled = Deadline::After(CheckLoop::Clock::now(), settleSeconds);
    if (loop.RunUntil([] { return false; }, settled) != CheckLoop::Stop::Interrupted)
        return true;
    record.Interrupted(loop.SignalName());
    return false;
}

bool GpioCheck::DriveWires(
    CheckLoop& loop, CheckRecord& record, GetInputFunction* getInput, SetOutputFunction* setOutput) const
{
    for (const PinWire& wire : wires) {
        for (std::size_t step = 0; step < std::size(WireSteps); ++step) {
            for (const PinWire& other : wires)
                setOutput(other.output, &other == &wire ? WireSteps[step] : 1 - WireSteps[step]);
            if (!Settle(loop, record))
                return false;
            record.Measure(WireStep(wire, step), RecordValue::Text(Levels(getInput)));
        }
    }
    return true;
}

// "2=0 3=1": what every wired input reads.
std::string GpioCheck::Levels(GetInputFunction* getInput) const
{
    std::string levels;
    for (const PinWire& wire : wires)
        levels += Format(" %d=%d", wire.input, getInput(wire.input));
    return levels.substr(1);
}
