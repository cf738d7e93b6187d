#include "tools/probecheck/BacklightCheck.h"

#include "glowkit/BacklightClassDevice.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Format.h"
#include "tools/common/BacklightWay.h"
#include "tools/common/WayDescription.h"
#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/DeviceLibrary.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/WindowReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr const char* HelpText
    = "Usage: probecheck backlight [--levels L,L,...] [--device DIR]\n"
      "\n"
      "Checks the backlight controller through libglowkit, loaded as any program loads\n"
      "it: its registers, not the light itself. Initialises the backlight, sets each\n"
      "level in turn, each reached from a different level, and passes when every level\n"
      "reads back and the registers hold it: for 0 the power enable is low; for 100\n"
      "the drive line is a plain output driven high; for 1 to 99 the drive line is on\n"
      "the running PWM timer with a duty of 10 x level against the count of 1005. The\n"
      "level found at the start is set again at the end.\n"
      "\n"
      "  --levels L,L,...  the levels to step through, each 0 to 100 (default 0,50,100)\n"
      "  --device DIR      the simulated board in DIR instead of the default registers\n"
      "                    (REGWIN_DIR, or real registers named by REGWIN_PHYS_92100000\n"
      "                    and REGWIN_PHYS_91a00000); only for register windows\n"
      "\n"
      "When the board file (/etc/deviceprobe/board.conf, or $DEVICEPROBE_BOARD) names a\n"
      "backlight class device (backlight = DIR or auto), it checks that device instead:\n"
      "for 0, bl_power 4 and brightness 0; for 1 to 100, bl_power 0 and brightness the\n"
      "level's share of max_brightness, rounded half up, at least 1. A board file that\n"
      "cannot be used, or no such device, is exit 2.\n";

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
// The backlight class's bl_power: unblanked, and powered down.
constexpr std::int32_t PoweredUp = 0;
constexpr std::int32_t PoweredDown = 4;
constexpr const char* Brightness = "brightness";
constexpr const char* Power = "bl_power";
constexpr const char* ActualBrightness = "actual_brightness";

// What a class device's brightness must be at a level, written out here as the registers' words are:
// the level's share of the steps rounded half up, and never dark above level 0.
std::int32_t ExpectedBrightness(std::int32_t level, std::int32_t steps)
{
    if (level == 0)
        return 0;
    const std::int64_t halves = 2 * std::int64_t { level } * steps / FullLevel;
    return static_cast<std::int32_t>(std::max<std::int64_t>((halves + 1) / 2, 1));
}

// The registers in words, the same way for what a level requires and what the board holds, so the
// two compare as texts.
std::string Expected(std::int32_t level)
{
    if (level == 0)
        return "power off";
    if (level == FullLevel)
        return "power on, drive line high";
    return Format("power on, timer running at %d / %u", 10 * level, PeriodCount);
}

std::string Found(std::int32_t level, const WindowReader& gpio, const WindowReader& timer)
{
    const std::uint32_t data = gpio.Read32(BacklightData);
    const std::uint32_t mode = (gpio.Read32(BacklightControl) >> DriveModeShift) & 0x3;
    const bool running = ((timer.Read32(TimerControl) >> TimerFieldShift) & TimerStartBit) != 0;
    if ((data & PowerBit) == 0)
        return "power off";
    // Powered at level 0, the rest does not matter: that alone is wrong.
    if (level == 0 || mode == DriveModeOutput)
        return std::string("power on, drive line ") + ((data & DriveBit) ? "high" : "low");
    if (mode != DriveModeTimer)
        return Format("power on, drive line in mode %u", mode);
    return Format("power on, timer %s at %u / %u", running ? "running" : "stopped",
        timer.Read32(TimerCompare), timer.Read32(TimerCount));
}

} // namespace

std::string BacklightCheck::Help() const
{
    return HelpText + HelpHere();
}

std::string BacklightCheck::Prepare(CheckRecord& record)
{
    if (std::string problem = BoardCheck::Prepare(record); !problem.empty() || Way() != BoardWay::Kernel)
        return problem;
    classDevice = BacklightDevice(board);
    if (classDevice.empty())
        return BacklightWaySentence(board);
    record.devicePath = classDevice;
    if (!BacklightClassDevice::ReadAttribute(classDevice, "max_brightness", &maxBrightness)) {
        return classDevice + " is no backlight class device: max_brightness: " + std::strerror(errno) + " ("
            + BoardLineText(board, board.BacklightLine()) + ")";
    }
    return maxBrightness < 1
        ? classDevice + " has no brightness steps (max_brightness " + std::to_string(maxBrightness) + ")"
        : "";
}

bool BacklightCheck::ParseOption(std::string_view option, CommandLine& arguments)
{
    if (option != "--levels")
        return false;
    ParseLevels(arguments);
    return true;
}

bool BacklightCheck::ParseLevels(CommandLine& arguments)
{
    std::string text;
    if (!arguments.Value(&text))
        return false;
    levels.clear();
    std::string_view rest = text;
    while (levels.size() < MaxLevels) {
        const std::size_t comma = rest.find(',');
        int level = -1;
        if (!ParseWholeNumber(rest.substr(0, comma), &level) || level < 0 || level > FullLevel) {
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

std::string BacklightCheck::StepName(std::size_t step) const
{
    // A level given twice is told apart by how often it came before.
    const auto earlier = std::count(levels.begin(), levels.begin() + static_cast<long>(step), levels[step]);
    return earlier == 0 ? Format("level %d", levels[step])
                        : Format("level %d #%ld", levels[step], earlier + 1);
}

void BacklightCheck::Declare(CheckRecord& record) const
{
    const bool classWay = Way() == BoardWay::Kernel;
    for (std::size_t step = 0; step < levels.size(); ++step) {
        const std::int32_t level = levels[step];
        record.Declare(StepName(step) + " readBack", "", level, level);
        if (!classWay) {
            record.Declare(StepName(step) + " registers", "", {}, {}, { Expected(level) });
            continue;
        }
        const std::int32_t brightness = ExpectedBrightness(level, maxBrightness);
        const std::int32_t power = level == 0 ? PoweredDown : PoweredUp;
        record.Declare(StepName(step) + " " + Power, "", power, power);
        record.Declare(StepName(step) + " " + Brightness, "", brightness, brightness);
    }
    record.Fact("checks",
        RecordValue::Text(classWay
                ? "the backlight class device's bl_power and brightness, not the light itself"
                : "the backlight controller's registers (power enable, drive line, PWM "
                  "timer), not the light itself"));
}

void BacklightCheck::Run(CheckLoop& loop, Progress& progress, CheckRecord& record)
{
    Declare(record);
    std::string error;
    DeviceLibrary glowkit;
    GetFunction* initialise = nullptr;
    GetFunction* get = nullptr;
    SetFunction* set = nullptr;
    if (!glowkit.Load("libglowkit.so.1", &error) || !glowkit.Find("InitBacklightCtrl", &initialise, &error)
        || !glowkit.Find("GetBrightness", &get, &error) || !glowkit.Find("SetBrightness", &set, &error))
        return record.CouldNotRun(error);
    record.Fact("library", RecordValue::Text(glowkit.Path()));
    progress.Event(Name(), "loaded " + glowkit.Path());
    WindowReader gpio;
    WindowReader timer;
    if (!Initialise(initialise, gpio, timer, record))
        return;
    const std::int32_t atStart = get();
    record.Fact("levelAtStart", RecordValue::Number(atStart));
    // A Ctrl-C ends the steps, never the restoring of the level found.
    bool stopped = false;
    for (std::size_t step = 0; step < levels.size() && !(stopped = loop.TakeInterrupt()); ++step)
        Step(step, gpio, timer, get, set, record);
    set(atStart);
    record.Fact("levelRestored", RecordValue::Number(get()));
    if (stopped)
        record.Interrupted(loop.SignalName());
    else
        record.Complete();
}

bool BacklightCheck::Initialise(
    GetFunction* initialise, WindowReader& gpio, WindowReader& timer, CheckRecord& record) const
{
    const bool classWay = Way() == BoardWay::Kernel;
    if (initialise() != 1) {
        record.CouldNotRun(classWay
                ? "InitBacklightCtrl failed on " + classDevice + " (glowkit says why on standard error)"
                : "InitBacklightCtrl failed: the library cannot reach the GPIO and timer registers "
                  "(check REGWIN_DIR, or REGWIN_PHYS_92100000 and REGWIN_PHYS_91a00000 for real "
                  "registers)");
        return false;
    }
    if (classWay) {
        record.Fact("maxBrightness", RecordValue::Number(maxBrightness));
        return true;
    }
    std::string error;
    if (!gpio.Map("GPIO", GpioBlockAddress, GpioWindowSize, &error)
        || !timer.Map("timer", TimerBlockAddress, TimerWindowSize, &error)) {
        record.CouldNotRun(error);
        return false;
    }
    record.devicePath = gpio.Board();
    record.Fact("registers", RecordValue::Text(gpio.Source() + " " + timer.Source()));
    return true;
}

void BacklightCheck::Step(std::size_t step, const WindowReader& gpio, const WindowReader& timer,
    GetFunction* get, SetFunction* set, CheckRecord& record) const
{
    const std::int32_t level = levels[step];
    const std::int32_t from = get();
    std::optional<std::int32_t> via;
    if (from == level) {
        via = level == 0 ? FullLevel / 2 : 0;
        set(*via);
    }
    set(level);
    record.Measure(StepName(step) + " readBack", RecordValue::Number(get()));
    std::vector<RecordField> row
        = { { "level", RecordValue::Number(level) }, { "from", RecordValue::Number(via.value_or(from)) } };
    if (Way() == BoardWay::Kernel) {
        MeasureAttributes(step, record, row);
    } else {
        const std::string found = Found(level, gpio, timer);
        record.Measure(StepName(step) + " registers", RecordValue::Text(found));
        row.push_back({ "registers", RecordValue::Text(found) });
    }
    record.Table("steps").rows.push_back(std::move(row));
}

// What the device shows after a step. One that cannot be read stays unmeasured and so fails; the
// actual brightness is the hardware's own view, for the record only.
void BacklightCheck::MeasureAttributes(
    std::size_t step, CheckRecord& record, std::vector<RecordField>& row) const
{
    for (const char* attribute : { Power, Brightness, ActualBrightness }) {
        std::int32_t value = 0;
        if (!BacklightClassDevice::ReadAttribute(classDevice, attribute, &value))
            continue;
        row.push_back({ attribute, RecordValue::Number(value) });
        if (attribute != ActualBrightness)
            record.Measure(StepName(step) + " " + attribute, RecordValue::Number(value));
    }
}
