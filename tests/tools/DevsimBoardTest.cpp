#include "tools/devsim/BoardView.h"

#include "pinbank/PinTable.h"
#include "platform/RegisterBlocks.h"
#include "platform/TempBoard.h"
#include "tools/devsim/RegisterWindowFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

RegisterWindowFile Gpio()
{
    return RegisterWindowFile(GpioBlockAddress, GpioWindowSize);
}

RegisterWindowFile Timer()
{
    return RegisterWindowFile(TimerBlockAddress, TimerWindowSize);
}

}

TEST(BoardView, PinModesAndLevelsFromTheirFields)
{
    struct Case {
        int pin;
        std::uint32_t control;
        std::uint32_t controlValue;
        std::uint32_t dataValue;
        const char* mode;
        bool high;
    };
    const Case cases[] = {
        { 0, 0x50, 0x00000000, 0x00000001, "input", true },
        { 1, 0x50, 0x00000400, 0x00000000, "output", false }, // bits 11..10 = 01
        { 3, 0x50, 0x0000C000, 0x00000080, "other (11)", true },
        { 50, 0xF0, 0x04000000, 0x00002000, "output", true },
        { 50, 0xF0, 0x08000000, 0x00000000, "other (10)", false },
        { 51, 0x40, 0x00400000, 0x00000800, "output", true },
        { 53, 0x40, 0x00000000, 0x00001000, "input", false }, // pin 52's bit, not 53's
        { 54, 0x10, 0x00000010, 0x00000004, "output", true },
        { 55, 0x10, 0x00000040, 0x00000000, "output", false },
        { 57, 0x10, 0x00000400, 0x00000020, "output", true },
        { 56, 0x00, 0x00000000, 0x04000000, "output", true },
        { 56, 0x00, 0x04000000, 0x02000000, "other (1)", false },
        { 58, 0x00, 0x00000000, 0x02000000, "output", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pin " << c.pin << " control " << std::hex << c.controlValue);
        RegisterWindowFile gpio = Gpio();
        gpio.SetWord(c.control, c.controlValue);
        gpio.SetWord(c.control + 4, c.dataValue);
        const BoardView::PinState state = BoardView::DecodePin(gpio, *FindPin(c.pin));
        EXPECT_EQ(state.mode, c.mode);
        EXPECT_EQ(state.high, c.high);
    }
}

TEST(BoardView, BacklightLevelFromLinesAndTimer)
{
    struct Case {
        const char* name;
        std::uint32_t control; // GPIO 0x10
        std::uint32_t data; // GPIO 0x14
        std::uint32_t timerControl;
        std::uint32_t count;
        std::uint32_t compare;
        const char* driveMode;
        const char* brightness;
    };
    // Control 0x10 makes line 2 (the power enable, pin 54) an output; only then does its data bit count.
    const Case cases[] = {
        { "dimmed to half", 0x18, 0x4, 0x900, 1005, 500, "timer", "compare 500 / count 1005 = 49.8 % duty" },
        { "full", 0x14, 0x6, 0x900, 1005, 1000, "output", "full (drive line is a plain output, high)" },
        { "plain output low", 0x14, 0x4, 0x900, 1005, 1000, "output",
            "dark (drive line is a plain output, low)" },
        { "off", 0x18, 0x0, 0x900, 1005, 500, "timer", "off (power enable low)" },
        { "off although full", 0x14, 0x2, 0x900, 1005, 1000, "output", "off (power enable low)" },
        { "power enable high but not an output", 0x08, 0x4, 0x900, 1005, 500, "timer",
            "off (power enable not driven: its line is in mode input)" },
        { "compare above count", 0x18, 0x4, 0x900, 1005, 1500, "timer",
            "compare 1500 / count 1005 = 100.0 % duty" },
        { "no period", 0x18, 0x4, 0x900, 0, 500, "timer", "compare 500 / count 0: no PWM period set" },
        { "timer stopped", 0x18, 0x4, 0x600, 1005, 100, "timer",
            "compare 100 / count 1005 = 10.0 % duty (timer not started)" },
        { "drive line an input", 0x10, 0x4, 0x900, 1005, 500, "input",
            "dark (drive line is in mode input, not driven)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegisterWindowFile gpio = Gpio();
        RegisterWindowFile timer = Timer();
        gpio.SetWord(0x10, c.control);
        gpio.SetWord(0x14, c.data);
        timer.SetWord(0x08, c.timerControl);
        timer.SetWord(0x18, c.count);
        timer.SetWord(0x1C, c.compare);
        EXPECT_EQ(BoardView::DriveMode(gpio), c.driveMode);
        EXPECT_EQ(BoardView::Brightness(gpio, timer), c.brightness);
    }
}

TEST(BoardView, RenderShowsEveryPinAndTheBacklight)
{
    RegisterWindowFile gpio = Gpio();
    RegisterWindowFile timer = Timer();
    gpio.SetWord(0x10, 0x18); // line 1 on the timer, line 2 (pin 54) output
    gpio.SetWord(0x14, 0x4);
    timer.SetWord(0x08, 0x900);
    timer.SetWord(0x18, 1005);
    timer.SetWord(0x1C, 300);
    const std::string view = BoardView::Render("/some/dir", gpio, timer);
    for (const int pin : { 0, 1, 2, 3, 50, 51, 52, 53, 54, 55, 56, 57, 58 }) {
        char start[16];
        std::snprintf(start, sizeof start, "\n  %3d  ", pin);
        EXPECT_NE(view.find(start), std::string::npos) << "no row for pin " << pin;
    }
    EXPECT_NE(view.find("   54  out     0x10     2  output      high   backlight power enable\n"),
        std::string::npos)
        << view;
    EXPECT_NE(view.find("mode timer"), std::string::npos);
    EXPECT_NE(view.find("compare 300 / count 1005 = 29.9 % duty"), std::string::npos);
    EXPECT_NE(view.find("/some/dir"), std::string::npos);
}

TEST(RegisterWindowFile, ReadsLittleEndianWordsAndSaysWhatIsMissing)
{
    TempBoard dir;
    dir.SetWord(GpioBlockAddress, 0x00, 0x11223344);
    dir.SetWord(GpioBlockAddress, 0x10, 0xA5A5A5A5);
    dir.SetWord(GpioBlockAddress, 0xFC, 0); // the whole window
    dir.SetWord(TimerBlockAddress, 0x00, 0xDEADBEEF);
    dir.SetWord(TimerBlockAddress, 0x04, 0x01020304); // 8 of 68 bytes

    RegisterWindowFile gpio = Gpio();
    gpio.Load(dir.Directory());
    EXPECT_EQ(gpio.GetState(), RegisterWindowFile::State::Read);
    EXPECT_EQ(gpio.Word(0x00), 0x11223344u);
    EXPECT_EQ(gpio.Word(0x10), 0xA5A5A5A5u);
    EXPECT_EQ(gpio.Note(), "256 bytes");

    RegisterWindowFile timer = Timer();
    timer.Load(dir.Directory());
    EXPECT_EQ(timer.GetState(), RegisterWindowFile::State::Short);
    EXPECT_EQ(timer.Word(0x04), 0x01020304u);
    EXPECT_EQ(timer.Word(0x1C), 0u);
    EXPECT_EQ(timer.Word(0x44), 0u) << "outside the window";
    EXPECT_EQ(timer.Note(), "only 8 of 68 bytes: the rest reads as 0");

    RegisterWindowFile missing(0x12345678, 16);
    missing.SetWord(0, 7);
    missing.Load(dir.Directory());
    EXPECT_EQ(missing.FileName(), "12345678.reg");
    EXPECT_EQ(missing.GetState(), RegisterWindowFile::State::Missing);
    EXPECT_EQ(missing.Word(0), 0u) << "a reload must not keep old values";
    EXPECT_EQ(missing.Note(), "missing: every register reads as 0");
    EXPECT_FALSE(dir.FileExists(0x12345678)) << "the view must never create a file";
}
