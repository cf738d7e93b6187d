#include "tools/probecheck/GpioCheck.h"

#include "tools/common/CommandLine.h"
#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/DeviceLibrary.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/WindowReader.h"

#include <charconv>

namespace {

constexpr const char* Help
    = "Usage: probecheck gpio [--set PIN=LEVEL ...] [--expect PIN=LEVEL ...] [--settle S]\n"
      "                       [--device DIR] [--json]\n"
      "\n"
      "Checks the GPIO lines through libpinbank, loaded as any program loads it. Drives\n"
      "each --set output, waits for the lines to settle, then passes when every\n"
      "--expect pin reads the given level: on a loopback fixture that wires outputs to\n"
      "inputs, this shows both ends of every wire working. Without --expect it only\n"
      "drives the outputs and reports every pin.\n"
      "\n"
      "  --set PIN=LEVEL     drive output PIN (50 to 58) to LEVEL (0 low, 1 high); repeatable\n"
      "  --expect PIN=LEVEL  require PIN to read LEVEL: an input (0 to 3), or an output\n"
      "                      (50 to 58) read back; repeatable\n"
      "  --settle S          wait S seconds after driving before reading, 0 to 10\n"
      "                      (default 0.05: a simulated wire takes a few milliseconds)\n"
      "  --device DIR        the simulated board in DIR instead of the default registers\n"
      "                      (REGWIN_DIR, or real registers named by REGWIN_PHYS_92100000)\n"
      "  --json              print one JSON object on one line instead of the summary\n"
      "\n"
      "Outputs keep the levels they were driven to. Reading an input puts its line into\n"
      "input mode, as the library always does.\n"
      "\n"
      "Exit status: 0 pass, 1 fail, 2 could not run (bad option, library or registers\n"
      "out of reach, interrupted).\n";

// The pins the library's callers may use: four inputs and nine outputs.
constexpr std::int32_t Pins[] = { 0, 1, 2, 3, 50, 51, 52, 53, 54, 55, 56, 57, 58 };

bool IsOutputPin(std::int32_t pin)
{
    return pin >= 50 && pin <= 58;
}

bool IsKnownPin(std::int32_t pin)
{
    return (pin >= 0 && pin <= 3) || IsOutputPin(pin);
}

bool ParseWhole(std::string_view text, std::int32_t* value)
{
    const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return !text.empty() && status == std::errc() && end == text.data() + text.size();
}

} // namespace

int GpioCheck::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "gpio", Help, [&](bool* help) { return Parse(arguments, help); }, [this] { return Run(); },
        "probecheck");
}

bool GpioCheck::Parse(CommandLine& arguments, bool* help)
{
    return ParseCheckOptions(arguments, &common, help, [&](std::string_view option) {
        if (option == "--set")
            ParsePinLevel(arguments, true, &outputs);
        else if (option == "--expect")
            ParsePinLevel(arguments, false, &expected);
        else if (option == "--settle")
            (void)arguments.Number(0, 10, &settleSeconds);
        else
            return false;
        return true;
    });
}

void GpioCheck::ParsePinLevel(CommandLine& arguments, bool outputsOnly, std::vector<PinLevel>* list)
{
    const char* option = outputsOnly ? "--set" : "--expect";
    std::string text;
    if (!arguments.Value(&text))
        return;
    const std::size_t equals = text.find('=');
    PinLevel pinLevel {};
    if (equals == std::string::npos || !ParseWhole(std::string_view(text).substr(0, equals), &pinLevel.pin)
        || !ParseWhole(std::string_view(text).substr(equals + 1), &pinLevel.level)
        || (pinLevel.level != 0 && pinLevel.level != 1)) {
        arguments.Fail(std::string(option) + " needs PIN=LEVEL with LEVEL 0 or 1, not \"" + text + "\"");
        return;
    }
    if (outputsOnly ? !IsOutputPin(pinLevel.pin) : !IsKnownPin(pinLevel.pin)) {
        arguments.Fail(std::string(option) + " " + text + ": no such "
            + (outputsOnly ? "output pin (outputs are 50 to 58)"
                           : "pin (inputs are 0 to 3, outputs 50 to 58)"));
        return;
    }
    for (const PinLevel& other : *list) {
        if (other.pin == pinLevel.pin) {
            arguments.Fail(std::string(option) + ": pin " + std::to_string(pinLevel.pin) + " is given twice");
            return;
        }
    }
    list->push_back(pinLevel);
}

int GpioCheck::Run()
{
    CheckOutcome outcome;
    {
        Progress progress("gpio", report.Start());
        CheckLoop loop;
        if (loop.Open(&outcome.reason))
            outcome = Measure(loop, progress);
    }
    return report.Finish(
        outcome, devicePath.empty() ? common.device : devicePath, common.json,
        [this](JsonWriter& writer) { WriteJson(writer); }, [this] { return Summary(); });
}

CheckOutcome GpioCheck::Measure(CheckLoop& loop, Progress& progress)
{
    std::string error;
    if (!common.device.empty() && !WindowReader::UseBoardDirectory(common.device, &error))
        return { Verdict::NotRun, error };
    // The library reports nothing when its registers are out of reach (it reads 0 and drives nothing),
    // so look for them the way it does before believing a single reading.
    WindowReader gpio;
    if (!gpio.Map("GPIO", WindowReader::GpioAddress, WindowReader::GpioSize, &error))
        return { Verdict::NotRun, error };
    devicePath = gpio.Board();
    registersPath = gpio.Source();
    DeviceLibrary pinbank;
    GetInputFunction* getInput = nullptr;
    SetOutputFunction* setOutput = nullptr;
    if (!pinbank.Load("libpinbank.so.1", &error) || !pinbank.Find("GetGPInput", &getInput, &error)
        || !pinbank.Find("SetGPOutput", &setOutput, &error))
        return { Verdict::NotRun, error };
    libraryPath = pinbank.Path();
    progress.Event("loaded " + libraryPath);

    for (const PinLevel& output : outputs)
        setOutput(output.pin, output.level);
    drivenAt = report.Elapsed();
    if (!outputs.empty())
        progress.Event(Format("drove %zu output%s", outputs.size(), outputs.size() == 1 ? "" : "s"));

    // One reading after the lines had time to follow, not the first reading that happens to match: a
    // wire that still shows the level from before the outputs changed must not pass.
    const auto settled = CheckLoop::After(CheckLoop::Clock::now(), settleSeconds);
    progress.Status("letting the lines settle");
    if (loop.RunUntil([] { return false; }, settled) == CheckLoop::Stop::Interrupted)
        return report.Interrupted(loop.SignalName());
    for (const PinLevel& expectation : expected)
        readings.push_back(getInput(expectation.pin));
    readAt = report.Elapsed();
    for (const std::int32_t pin : Pins)
        allPins.push_back({ pin, getInput(pin) });
    return Judge();
}

CheckOutcome GpioCheck::Judge() const
{
    if (expected.empty()) {
        return { Verdict::Pass,
            Format("nothing expected: drove %zu output%s and read every pin", outputs.size(),
                outputs.size() == 1 ? "" : "s") };
    }
    std::string reason;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (readings[i] == expected[i].level)
            continue;
        reason += Format("%s%s %d reads %d, expected %d", reason.empty() ? "" : "; ",
            IsOutputPin(expected[i].pin) ? "output" : "input", expected[i].pin, readings[i],
            expected[i].level);
    }
    if (reason.empty()) {
        return { Verdict::Pass,
            Format("%zu pin%s read as expected after driving %zu output%s", expected.size(),
                expected.size() == 1 ? "" : "s", outputs.size(), outputs.size() == 1 ? "" : "s") };
    }
    return { Verdict::Fail, reason + Format(" (read %g s after driving)", settleSeconds) };
}

void GpioCheck::WriteJson(JsonWriter& writer) const
{
    const auto pinList = [&writer](const char* key, const std::vector<PinLevel>& list) {
        writer.BeginArray(key);
        for (const PinLevel& entry : list) {
            writer.BeginObject();
            writer.Integer("pin", entry.pin);
            writer.Integer("level", entry.level);
            writer.EndObject();
        }
        writer.EndArray();
    };
    writer.BeginObject("criteria");
    pinList("set", outputs);
    pinList("expect", expected);
    writer.Number("settleSeconds", settleSeconds, 3);
    writer.EndObject();
    writer.BeginObject("timings");
    if (drivenAt && readAt) {
        writer.Number("drivenSeconds", *drivenAt, 4);
        writer.Number("readSeconds", *readAt, 4);
    } else {
        writer.Null("drivenSeconds");
        writer.Null("readSeconds");
    }
    writer.EndObject();
    writer.BeginObject("measured");
    writer.String("library", libraryPath);
    writer.String("registers", registersPath);
    std::vector<PinLevel> read;
    for (std::size_t i = 0; i < expected.size() && i < readings.size(); ++i)
        read.push_back({ expected[i].pin, readings[i] });
    pinList("expectedPinsRead", read);
    pinList("pins", allPins);
    writer.EndObject();
}

std::string GpioCheck::Summary() const
{
    std::string summary = SummaryLine("registers", registersPath);
    summary += SummaryLine("library", libraryPath);
    for (const PinLevel& output : outputs)
        summary += SummaryLine("drove", Format("output %d %s", output.pin, output.level ? "high" : "low"));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const int reading = i < readings.size() ? readings[i] : -1;
        summary += SummaryLine("expected",
            Format("pin %d %s, read %s%s", expected[i].pin, expected[i].level ? "high" : "low",
                reading < 0 ? "nothing" : (reading ? "high" : "low"),
                reading == expected[i].level ? "" : "  <- wrong"));
    }
    std::string levels;
    for (const PinLevel& pin : allPins)
        levels += Format("%s%d:%d", levels.empty() ? "" : " ", pin.pin, pin.level);
    if (!levels.empty())
        summary += SummaryLine("all pins", levels);
    summary += SummaryLine("took", Format("%.3f s", report.Elapsed()));
    return summary;
}
