#include "glowkit/BacklightControl.h"

#include "platform/MapRegisterWindow.h"
#include "platform/RegisterBlocks.h"
#include "platform/RegisterWindow.h"

#include <cassert>
#include <limits>

namespace {

// GPIO port shared with the GPIO library: line 1 drives the backlight, line 2 enables its power.
constexpr std::uint32_t BacklightPortControl = 0x10;
constexpr std::uint32_t BacklightPortData = 0x14;
constexpr std::uint32_t DriveModeMask = 0xC; // mode field of line 1
constexpr std::uint32_t DriveTimerMode = 0x8; // 10: line 1 follows the timer output
constexpr std::uint32_t DriveOutputMode = 0x4; // 01: line 1 is a plain output
constexpr std::uint32_t DriveHigh = 0x2;
constexpr std::uint32_t PowerEnable = 0x4;

// Timer block: the words that serve the backlight timer.
constexpr std::uint32_t PrescalerWord = 0x00;
constexpr std::uint32_t PrescalerMask = 0xFF;
constexpr std::uint32_t DividerSelectWord = 0x04;
constexpr std::uint32_t DividerSelectMask = 0xF0;
constexpr std::uint32_t DividerSelectShift = 4;
constexpr std::uint32_t TimerControlWord = 0x08;
constexpr std::uint32_t TimerControlMask = 0xF00;
constexpr std::uint32_t TimerControlPrepare = 0x600;
constexpr std::uint32_t TimerControlRun = 0x900;
constexpr std::uint32_t CountBuffer = 0x18;
constexpr std::uint32_t CompareBuffer = 0x1C;
constexpr std::uint32_t BufferLimit = 0xFFFF;

constexpr std::uint32_t BacklightPrescaler = 200;
constexpr std::uint32_t BacklightDividerCode = 1;
// Compare values run 10 per level against this count, so level 100 (1000) is just short of always on.
constexpr std::uint32_t BacklightCount = 1005;
constexpr std::uint32_t ComparePerLevel = 10;

constexpr std::int32_t OffLevel = 0;
constexpr std::int32_t FullLevel = 100;
constexpr std::uint32_t FullCompare = 1000;

std::uint32_t DividerField(std::uint32_t dividerCode)
{
    switch (dividerCode) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 3:
        return 2;
    case 4:
        return 3;
    default:
        return 4;
    }
}

}

BacklightControl::~BacklightControl()
{
    ReleaseWindows();
}

RegisterWindow BacklightControl::Gpio() const
{
    return RegisterWindow(gpioWindow, GpioBlockAddress, GpioWindowSize);
}

RegisterWindow BacklightControl::Timer() const
{
    return RegisterWindow(timerWindow, TimerBlockAddress, TimerWindowSize);
}

std::int32_t BacklightControl::InitBacklightCtrl()
{
    if (HasWindows())
        return 1;
    if (!gpioWindow) {
        gpioWindow = MapRegisterWindow(GpioBlockAddress, GpioWindowSize);
        if (!gpioWindow)
            return 0;
    }
    if (!timerWindow) {
        timerWindow = MapRegisterWindow(TimerBlockAddress, TimerWindowSize);
        if (!timerWindow)
            return 0;
    }

    const RegisterWindow gpio = Gpio();
    const std::uint32_t data = gpio.Read32(BacklightPortData);
    gpio.Write32(BacklightPortData, data | PowerEnable);

    SetTimerClock(BacklightPrescaler, BacklightDividerCode);
    SetTimerCount(BacklightCount);
    StartBacklightPwm();

    // Adopt what the hardware shows: an earlier program may have left the backlight dimmed. The level is
    // stored before SetBrightness so that an adopted level is not applied a second time.
    const std::uint32_t quotient = Timer().Read32(CompareBuffer) / ComparePerLevel;
    const auto adopted = static_cast<std::int32_t>(quotient);
    level.store(adopted, std::memory_order_relaxed);
    SetBrightness(quotient > 0 ? adopted : FullLevel);
    return 1;
}

std::int32_t BacklightControl::SetBrightness(std::int32_t newLevel)
{
    const std::int32_t old = level.load(std::memory_order_relaxed);
    if (!HasWindows() || newLevel == old)
        return old;

    const RegisterWindow gpio = Gpio();
    if (old == FullLevel) {
        // Line 1 back to the timer: clear the mode field, then select the timer in a second write.
        std::uint32_t control = gpio.Read32(BacklightPortControl);
        gpio.Write32(BacklightPortControl, control & ~DriveModeMask);
        control = gpio.Read32(BacklightPortControl);
        gpio.Write32(BacklightPortControl, control | DriveTimerMode);
    } else if (old == OffLevel) {
        const std::uint32_t data = gpio.Read32(BacklightPortData);
        gpio.Write32(BacklightPortData, data | PowerEnable);
    }

    level.store(newLevel, std::memory_order_relaxed);

    if (newLevel == FullLevel) {
        std::uint32_t control = gpio.Read32(BacklightPortControl);
        gpio.Write32(BacklightPortControl, control & ~DriveModeMask);
        control = gpio.Read32(BacklightPortControl);
        gpio.Write32(BacklightPortControl, control | DriveOutputMode);
        const std::uint32_t data = gpio.Read32(BacklightPortData);
        gpio.Write32(BacklightPortData, data | DriveHigh);
        SetTimerCompare(FullCompare);
    } else if (newLevel == OffLevel) {
        // Only the power goes: timer, compare value and line 1 stay, so the next level resumes cleanly.
        const std::uint32_t data = gpio.Read32(BacklightPortData);
        gpio.Write32(BacklightPortData, data & ~PowerEnable);
    } else {
        // Computed wide so that a negative or huge level can never wrap into a small duty; anything
        // that does not fit leaves the compare buffer alone.
        const std::int64_t compare = std::int64_t { newLevel } * ComparePerLevel;
        if (compare >= 0 && compare <= std::numeric_limits<std::uint32_t>::max())
            SetTimerCompare(static_cast<std::uint32_t>(compare));
    }
    return old;
}

void BacklightControl::SetTimerClock(std::uint32_t prescaler, std::uint32_t dividerCode)
{
    assert(HasWindows() && "timer helpers run only with both windows mapped");
    const RegisterWindow timer = Timer();
    if (prescaler <= PrescalerMask) {
        const std::uint32_t word = timer.Read32(PrescalerWord);
        timer.Write32(PrescalerWord, (word & ~PrescalerMask) | prescaler);
    }
    const std::uint32_t select = timer.Read32(DividerSelectWord);
    timer.Write32(
        DividerSelectWord, (select & ~DividerSelectMask) | (DividerField(dividerCode) << DividerSelectShift));
}

void BacklightControl::SetTimerCount(std::uint32_t count)
{
    assert(HasWindows() && "timer helpers run only with both windows mapped");
    if (count <= BufferLimit)
        Timer().Write32(CountBuffer, count);
}

void BacklightControl::StartBacklightPwm()
{
    assert(HasWindows() && "timer helpers run only with both windows mapped");
    const RegisterWindow gpio = Gpio();
    std::uint32_t control = gpio.Read32(BacklightPortControl);
    gpio.Write32(BacklightPortControl, control & ~DriveModeMask);
    control = gpio.Read32(BacklightPortControl);
    gpio.Write32(BacklightPortControl, control | DriveTimerMode);

    // The timer's control field goes through 0x6 to 0x9, each value written over a cleared field.
    const RegisterWindow timer = Timer();
    std::uint32_t timerControl = timer.Read32(TimerControlWord);
    timer.Write32(TimerControlWord, timerControl & ~TimerControlMask);
    timerControl = timer.Read32(TimerControlWord);
    timer.Write32(TimerControlWord, timerControl | TimerControlPrepare);
    timerControl = timer.Read32(TimerControlWord);
    timer.Write32(TimerControlWord, timerControl & ~TimerControlMask);
    timerControl = timer.Read32(TimerControlWord);
    timer.Write32(TimerControlWord, timerControl | TimerControlRun);
}

void BacklightControl::SetTimerCompare(std::uint32_t value)
{
    assert(HasWindows() && "timer helpers run only with both windows mapped");
    if (value <= BufferLimit)
        Timer().Write32(CompareBuffer, value);
}

void BacklightControl::ReleaseWindows()
{
    UnmapRegisterWindow(gpioWindow, GpioWindowSize);
    gpioWindow = nullptr;
    UnmapRegisterWindow(timerWindow, TimerWindowSize);
    timerWindow = nullptr;
}
