#include "tools/probecheck/BacklightCheck.h"

#include "tools/common/CommandLine.h"
#include "tools/probecheck/DeviceLibrary.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/WindowReader.h"

#include <charconv>

namespace {

constexpr const char* Help
    = "Usage: probecheck backlight [--levels L,L,...] [--device DIR] [--json]\n"
      "\n"
      "Checks the display backlight through libglowkit, loaded as any program loads it.\n"
      "Initialises the backlight, sets each level in turn and passes when every level\n"
      "reads back and the registers hold it: for 0 the power enable is low; for 100 the\n"
      "drive line is a plain output driven high; for 1 to 99 the drive line is on the\n"
      "running PWM timer with a duty of 10 x level against the count of 1005. The level\n"
      "found at the start is set again at the end.\n"
      "\n"
      "  --levels L,L,...  the levels to step through, each 0 to 100 (default 0,50,100)\n"
      "  --device DIR      the simulated board in DIR instead of the default registers\n"
      "                    (REGWIN_DIR, or real registers named by REGWIN_PHYS_92100000\n"
      "                    and REGWIN_PHYS_91a00000)\n"
      "  --json            print one JSON object on one line instead of the summary\n"
      "\n"
      "Exit status: 0 pass, 1 fail, 2 could not run (bad option, library or registers\n"
      "out of reach).\n";

constexpr std::size_t MaxLevels = 101;

// What the registers must show. Written out here rather than taken from the library, so that a wrong
// value in the library shows up as a failed check instead of agreeing with itself.
constexpr std::uint32_t BacklightControl = 0x10; // GPIO: mode fields of the backlight port
constexpr std::uint32_t BacklightData = 0x14; // GPIO: its levels
constexpr int DriveModeShift = 2; // line 1's two-bit mode field
constexpr std::uint32_t DriveModeOutput = 1;
constexpr std::uint32_t DriveModeTimer = 2;
constexpr std::uint32_t DriveBit = 0x2; // line 1
constexpr std::uint32_t PowerBit = 0x4; // line 2, the power enable
constexpr std::uint32_t TimerControl = 0x08;
constexpr int TimerFieldShift = 8;
constexpr std::uint32_t TimerStartBit = 0x1;
constexpr std::uint32_t TimerCount = 0x18;
constexpr std::uint32_t TimerCompare = 0x1C;
constexpr std::uint32_t PeriodCount = 1005;
constexpr std::int32_t FullLevel = 100;

double DutyPercent(std::uint32_t compare, std::uint32_t count)
{
    if (count == 0)
        return 0;
    return compare >= count ? 100.0 : 100.0 * compare / count;
}

} // namespace

std::string BacklightCheck::Problem(const Step& step)
{
    if (step.readBack != step.level)
        return Format("reads back %d", step.readBack);
    // Already at this level: the library rightly touches no register, so there is nothing to compare.
    if (step.previous == step.level)
        return {};
    if (step.level == 0)
        return step.powerEnabled ? "the power enable is still high" : "";
    if (!step.powerEnabled)
        return "the power enable is low";
    if (step.level == FullLevel) {
        if (step.driveMode == DriveModeOutput && step.driveHigh)
            return {};
        return Format("the drive line is not a plain output driven high (mode %u, %s)", step.driveMode,
            step.driveHigh ? "high" : "low");
    }
    if (step.driveMode != DriveModeTimer)
        return Format("the drive line is not on the timer (mode %u)", step.driveMode);
    if (!step.timerRunning)
        return "the timer is not running";
    if (step.compare != static_cast<std::uint32_t>(10 * step.level) || step.count != PeriodCount)
        return Format("the timer holds compare %u / count %u, not %d / %u", step.compare, step.count,
            10 * step.level, PeriodCount);
    return {};
}

int BacklightCheck::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "backlight", Help, [&](bool* help) { return Parse(arguments, help); },
        [this] { return Run(); }, "probecheck");
}

bool BacklightCheck::Parse(CommandLine& arguments, bool* help)
{
    return ParseCheckOptions(arguments, &common, help, [&](std::string_view option) {
        if (option != "--levels")
            return false;
        ParseLevels(arguments);
        return true;
    });
}

bool BacklightCheck::ParseLevels(CommandLine& arguments)
{
    std::string text;
    if (!arguments.Value(&text))
        return false;
    levels.clear();
    std::string_view rest = text;
    while (levels.size() <= MaxLevels) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        std::int32_t level = -1;
        const auto [end, status] = std::from_chars(item.data(), item.data() + item.size(), level);
        if (item.empty() || status != std::errc() || end != item.data() + item.size() || level < 0
            || level > FullLevel) {
            arguments.Fail("--levels needs levels from 0 to 100 separated by commas, not \"" + text + "\"");
            return false;
        }
        levels.push_back(level);
        if (comma == std::string_view::npos)
            return true;
        rest = rest.substr(comma + 1);
    }
    arguments.Fail(Format("--levels takes at most %zu levels", MaxLevels));
    return false;
}

int BacklightCheck::Run()
{
    CheckOutcome outcome;
    {
        Progress progress("backlight", report.Start());
        progress.Status("initialising the backlight");
        outcome = Measure();
    }
    return report.Finish(
        outcome, devicePath.empty() ? common.device : devicePath, common.json,
        [this](JsonWriter& writer) { WriteJson(writer); }, [this] { return Summary(); });
}

CheckOutcome BacklightCheck::Measure()
{
    std::string error;
    if (!common.device.empty() && !WindowReader::UseBoardDirectory(common.device, &error))
        return { Verdict::NotRun, error };
    DeviceLibrary glowkit;
    std::int32_t (*initialise)() = nullptr;
    std::int32_t (*getBrightness)() = nullptr;
    std::int32_t (*setBrightness)(std::int32_t) = nullptr;
    if (!glowkit.Load("libglowkit.so.1", &error) || !glowkit.Find("InitBacklightCtrl", &initialise, &error)
        || !glowkit.Find("GetBrightness", &getBrightness, &error)
        || !glowkit.Find("SetBrightness", &setBrightness, &error))
        return { Verdict::NotRun, error };
    libraryPath = glowkit.Path();
    if (initialise() != 1) {
        return { Verdict::NotRun,
            "InitBacklightCtrl failed: the library cannot reach the GPIO and timer registers (check "
            "REGWIN_DIR, or "
            "REGWIN_PHYS_92100000 and REGWIN_PHYS_91a00000 for real registers)" };
    }
    WindowReader gpio;
    WindowReader timer;
    if (!gpio.Map("GPIO", WindowReader::GpioAddress, WindowReader::GpioSize, &error)
        || !timer.Map("timer", WindowReader::TimerAddress, WindowReader::TimerSize, &error))
        return { Verdict::NotRun, error };
    devicePath = gpio.Board();
    registersPath = gpio.Source() + " " + timer.Source();
    adoptedLevel = getBrightness();
    for (const std::int32_t level : levels) {
        const std::int32_t previous = setBrightness(level);
        steps.push_back(Read(gpio, timer, level, previous, getBrightness()));
    }
    if (!steps.empty() && steps.back().level != *adoptedLevel) {
        setBrightness(*adoptedLevel);
        restoredLevel = getBrightness();
    }
    return Judge();
}

BacklightCheck::Step BacklightCheck::Read(const WindowReader& gpio, const WindowReader& timer,
    std::int32_t level, std::int32_t previous, std::int32_t readBack) const
{
    Step step;
    step.level = level;
    step.previous = previous;
    step.readBack = readBack;
    const std::uint32_t control = gpio.Read32(BacklightControl);
    const std::uint32_t data = gpio.Read32(BacklightData);
    step.powerEnabled = (data & PowerBit) != 0;
    step.driveMode = (control >> DriveModeShift) & 0x3;
    step.driveHigh = (data & DriveBit) != 0;
    step.timerRunning = ((timer.Read32(TimerControl) >> TimerFieldShift) & TimerStartBit) != 0;
    step.count = timer.Read32(TimerCount);
    step.compare = timer.Read32(TimerCompare);

    step.problem = Problem(step);
    return step;
}

CheckOutcome BacklightCheck::Judge() const
{
    std::string problems;
    for (const Step& step : steps) {
        if (!step.problem.empty())
            problems
                += Format("%slevel %d: %s", problems.empty() ? "" : "; ", step.level, step.problem.c_str());
    }
    if (!problems.empty())
        return { Verdict::Fail, problems };
    return { Verdict::Pass,
        Format("%zu level%s set, read back and found in the registers", steps.size(),
            steps.size() == 1 ? "" : "s") };
}

void BacklightCheck::WriteJson(JsonWriter& writer) const
{
    writer.BeginObject("criteria");
    writer.BeginArray("levels");
    for (const std::int32_t level : levels)
        writer.Integer({}, level);
    writer.EndArray();
    writer.EndObject();
    writer.BeginObject("measured");
    writer.String("library", libraryPath);
    writer.String("registers", registersPath);
    if (adoptedLevel)
        writer.Integer("levelAtStart", *adoptedLevel);
    else
        writer.Null("levelAtStart");
    if (restoredLevel)
        writer.Integer("levelRestored", *restoredLevel);
    else
        writer.Null("levelRestored");
    writer.BeginArray("steps");
    for (const Step& step : steps) {
        writer.BeginObject();
        writer.Integer("level", step.level);
        writer.Integer("previous", step.previous);
        writer.Integer("readBack", step.readBack);
        writer.Bool("powerEnabled", step.powerEnabled);
        writer.String("driveLine",
            step.driveMode == DriveModeTimer        ? "timer"
                : step.driveMode == DriveModeOutput ? "output"
                                                    : "other");
        writer.Bool("driveHigh", step.driveHigh);
        writer.Bool("timerRunning", step.timerRunning);
        writer.Integer("compare", step.compare);
        writer.Integer("count", step.count);
        writer.Number("dutyPercent", DutyPercent(step.compare, step.count), 1);
        writer.Bool("ok", step.problem.empty());
        writer.String("problem", step.problem);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
}

std::string BacklightCheck::Summary() const
{
    std::string summary = SummaryLine("registers", registersPath);
    summary += SummaryLine("library", libraryPath);
    if (adoptedLevel)
        summary += SummaryLine("at start", Format("level %d", *adoptedLevel));
    for (const Step& step : steps) {
        std::string state = !step.powerEnabled ? "power off"
            : step.driveMode == DriveModeOutput && step.driveHigh
            ? "full, drive line high"
            : Format("compare %u / count %u = %.1f %% duty", step.compare, step.count,
                DutyPercent(step.compare, step.count));
        summary += SummaryLine(Format("level %d", step.level),
            Format("reads %d, %s%s%s", step.readBack, state.c_str(), step.problem.empty() ? "" : "  <- ",
                step.problem.c_str()));
    }
    if (restoredLevel)
        summary += SummaryLine("restored", Format("level %d", *restoredLevel));
    summary += SummaryLine("took", Format("%.3f s", report.Elapsed()));
    return summary;
}
