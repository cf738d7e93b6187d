// The shared object as programs on the device use it: loaded with dlopen, exports found by plain name,
// registers checked in the simulated board's files and in the REGWIN_TRACE access trace.

#include "platform/DynamicSymbols.h"
#include "platform/SharedLibrary.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using InitFunction = std::int32_t();
using GetFunction = std::int32_t();
using SetFunction = std::int32_t(std::int32_t);

constexpr std::uint32_t LineOneMode = 0xC;
constexpr std::uint32_t LineOneOnTimer = 0x8;
constexpr std::uint32_t LineOneOutput = 0x4;
constexpr std::uint32_t LineOneHigh = 0x2;
constexpr std::uint32_t PowerEnable = 0x4;

class GlowkitLibrary : public ::testing::Test {
protected:
    void SetUp() override { Load(); }

    void Load()
    {
        library = std::make_unique<SharedLibrary>(GLOWKIT_LIBRARY);
        ASSERT_TRUE(library->IsLoaded()) << dlerror();
        init = library->Find<InitFunction>("InitBacklightCtrl");
        get = library->Find<GetFunction>("GetBrightness");
        set = library->Find<SetFunction>("SetBrightness");
        ASSERT_NE(init, nullptr);
        ASSERT_NE(get, nullptr);
        ASSERT_NE(set, nullptr);
    }

    // A fresh library (level -1, nothing mapped) on a board whose compare buffer holds `compare`.
    void ReloadWithCompare(std::uint32_t compare, std::uint32_t pattern = 0)
    {
        library->Unload();
        board.Fill(GpioBlock, GpioBlockSize, pattern);
        board.Fill(TimerBlock, TimerBlockSize, pattern);
        board.SetWord(TimerBlock, 0x1C, compare);
        board.ClearTrace();
        Load();
    }

    std::uint32_t Gpio(std::uint32_t offset) const { return board.Word(GpioBlock, offset); }
    std::uint32_t Timer(std::uint32_t offset) const { return board.Word(TimerBlock, offset); }

    TempBoard board { TempBoard::Trace::On };
    std::unique_ptr<SharedLibrary> library;
    InitFunction* init = nullptr;
    GetFunction* get = nullptr;
    SetFunction* set = nullptr;
};

}

TEST_F(GlowkitLibrary, BeforeInitNothingIsMappedStoredOrTouched)
{
    EXPECT_EQ(get(), -1);
    EXPECT_EQ(set(50), -1);
    EXPECT_EQ(get(), -1) << "a level set before initialisation is not stored";
    EXPECT_FALSE(board.FileExists(GpioBlock));
    EXPECT_FALSE(board.FileExists(TimerBlock));
    EXPECT_EQ(board.TraceLines(), std::vector<std::string>());
}

TEST_F(GlowkitLibrary, InitAdoptsTheLevelTheCompareBufferShows)
{
    struct Case {
        std::uint32_t compare;
        std::int32_t level;
        std::uint32_t lineOneMode;
        std::uint32_t compareAfter;
    };
    std::vector<Case> cases = {
        { 500, 50, LineOneOnTimer, 500 },
        { 10, 1, LineOneOnTimer, 10 },
        { 999, 99, LineOneOnTimer, 999 },
        // 1000 to 1009 adopt 100 but stay on the timer: the level is already stored when it is applied.
        { 1000, 100, LineOneOnTimer, 1000 },
        { 1005, 100, LineOneOnTimer, 1005 },
        { 1500, 150, LineOneOnTimer, 1500 },
        { 0xFFFFFFFF, 429496729, LineOneOnTimer, 0xFFFFFFFF },
    };
    // Below 10 the hardware shows no usable duty: full brightness.
    for (std::uint32_t compare = 0; compare <= 9; ++compare)
        cases.push_back({ compare, 100, LineOneOutput, 1000 });

    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "compare " << c.compare);
        ReloadWithCompare(c.compare);
        EXPECT_EQ(init(), 1);
        EXPECT_EQ(get(), c.level);
        EXPECT_EQ(Gpio(0x10) & LineOneMode, c.lineOneMode);
        EXPECT_EQ((Gpio(0x14) & LineOneHigh) != 0, c.lineOneMode == LineOneOutput);
        EXPECT_EQ(Gpio(0x14) & PowerEnable, PowerEnable);
        EXPECT_EQ(Timer(0x1C), c.compareAfter);
    }
}

TEST_F(GlowkitLibrary, InitProgramsTheTimerAndKeepsEveryOtherBit)
{
    struct Case {
        std::uint32_t pattern;
        std::uint32_t prescaler, dividerSelect, timerControl, gpioControl, gpioData;
    };
    const Case cases[] = {
        { 0x00000000, 0x000000C8, 0x00000000, 0x00000900, 0x00000008, 0x00000004 },
        { 0xFFFFFFFF, 0xFFFFFFC8, 0xFFFFFF0F, 0xFFFFF9FF, 0xFFFFFFFB, 0xFFFFFFFF },
        { 0xA5A5A5A5, 0xA5A5A5C8, 0xA5A5A505, 0xA5A5A9A5, 0xA5A5A5A9, 0xA5A5A5A5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pattern 0x" << std::hex << c.pattern);
        ReloadWithCompare(500, c.pattern);
        ASSERT_EQ(init(), 1);
        EXPECT_EQ(Timer(0x00), c.prescaler);
        EXPECT_EQ(Timer(0x04), c.dividerSelect);
        EXPECT_EQ(Timer(0x08), c.timerControl);
        EXPECT_EQ(Timer(0x18), 1005u);
        EXPECT_EQ(Timer(0x1C), 500u);
        EXPECT_EQ(Gpio(0x10), c.gpioControl);
        EXPECT_EQ(Gpio(0x14), c.gpioData);
        for (std::uint32_t offset = 0x0C; offset < TimerBlockSize; offset += 4) {
            if (offset != 0x18 && offset != 0x1C) {
                EXPECT_EQ(Timer(offset), c.pattern) << "timer word 0x" << std::hex << offset;
            }
        }
        for (std::uint32_t offset = 0; offset < GpioBlockSize; offset += 4) {
            if (offset != 0x10 && offset != 0x14) {
                EXPECT_EQ(Gpio(offset), c.pattern) << "GPIO word 0x" << std::hex << offset;
            }
        }
    }
}

TEST_F(GlowkitLibrary, InitRunsItsStepsInOrderAndOnlyOnce)
{
    ReloadWithCompare(500);
    ASSERT_EQ(init(), 1);
    const std::vector<std::string> expected = {
        "92100000 r 0x14 0x00000000", // power on
        "92100000 w 0x14 0x00000004",
        "91a00000 r 0x00 0x00000000", // prescaler 200
        "91a00000 w 0x00 0x000000c8",
        "91a00000 r 0x04 0x00000000", // divider select 0
        "91a00000 w 0x04 0x00000000",
        "91a00000 w 0x18 0x000003ed", // count 1005, no read first
        "92100000 r 0x10 0x00000000", // line 1 to the timer
        "92100000 w 0x10 0x00000000", "92100000 r 0x10 0x00000000", "92100000 w 0x10 0x00000008",
        "91a00000 r 0x08 0x00000000", // timer control 0x6, then 0x9
        "91a00000 w 0x08 0x00000000", "91a00000 r 0x08 0x00000000", "91a00000 w 0x08 0x00000600",
        "91a00000 r 0x08 0x00000600", "91a00000 w 0x08 0x00000000", "91a00000 r 0x08 0x00000000",
        "91a00000 w 0x08 0x00000900",
        "91a00000 r 0x1c 0x000001f4", // adopt 50; applying it changes nothing
    };
    EXPECT_EQ(board.TraceLines(), expected);

    board.ClearTrace();
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(board.TraceLines(), std::vector<std::string>()) << "a second init makes no access";
}

TEST_F(GlowkitLibrary, LevelMovesBetweenOffDimmedAndFull)
{
    struct Step {
        std::int32_t level;
        std::int32_t previous;
        std::uint32_t compare;
        std::uint32_t lineOneMode;
        bool powered;
    };
    const Step steps[] = {
        { 100, 50, 1000, LineOneOutput, true },
        { 50, 100, 500, LineOneOnTimer, true },
        { 0, 50, 500, LineOneOnTimer, false },
        { 30, 0, 300, LineOneOnTimer, true },
        { 150, 30, 1500, LineOneOnTimer, true },
        { 7000, 150, 1500, LineOneOnTimer, true }, // 70000 does not fit the compare buffer
        { 6553, 7000, 65530, LineOneOnTimer, true },
        { 6554, 6553, 65530, LineOneOnTimer, true },
        { -5, 6554, 65530, LineOneOnTimer, true },
        { 429496730, -5, 65530, LineOneOnTimer, true }, // ten times it wraps to 4 in 32 bits: no write
        { 0, 429496730, 65530, LineOneOnTimer, false },
        { 100, 0, 1000, LineOneOutput, true },
        { 0, 100, 1000, LineOneOnTimer, false }, // leaving full puts line 1 back on the timer, even to go off
        { 1, 0, 10, LineOneOnTimer, true },
    };
    ReloadWithCompare(500);
    ASSERT_EQ(init(), 1);
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.previous << " -> " << step.level);
        EXPECT_EQ(set(step.level), step.previous);
        EXPECT_EQ(get(), step.level);
        EXPECT_EQ(Timer(0x1C), step.compare);
        EXPECT_EQ(Gpio(0x10) & LineOneMode, step.lineOneMode);
        EXPECT_EQ((Gpio(0x14) & PowerEnable) != 0, step.powered);
        if (step.lineOneMode == LineOneOutput) {
            EXPECT_EQ(Gpio(0x14) & LineOneHigh, LineOneHigh);
        }
    }
}

TEST_F(GlowkitLibrary, SettingTheStoredLevelMakesNoAccess)
{
    for (const std::uint32_t compare : { 0u, 500u, 1005u }) {
        SCOPED_TRACE(compare);
        ReloadWithCompare(compare);
        ASSERT_EQ(init(), 1);
        const std::int32_t level = get();
        board.ClearTrace();
        EXPECT_EQ(set(level), level);
        EXPECT_EQ(board.TraceLines(), std::vector<std::string>());
    }
}

TEST_F(GlowkitLibrary, AFailedTimerWindowIsRetriedAloneOnTheNextInit)
{
    // A directory where the register file should be cannot be opened for writing, even by root.
    ASSERT_EQ(mkdir(board.FilePath(TimerBlock).c_str(), 0700), 0);
    EXPECT_EQ(init(), 0);
    EXPECT_EQ(get(), -1);
    EXPECT_EQ(MappingsOf(GpioBlock), 1) << "the GPIO window stays mapped";
    EXPECT_EQ(board.TraceLines(), std::vector<std::string>())
        << "no register is touched before both are mapped";

    ASSERT_EQ(rmdir(board.FilePath(TimerBlock).c_str()), 0);
    board.SetWord(TimerBlock, 0x1C, 420);
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(get(), 42);
    EXPECT_EQ(MappingsOf(GpioBlock), 1) << "the GPIO window is not mapped a second time";
    EXPECT_EQ(MappingsOf(TimerBlock), 1);
}

TEST_F(GlowkitLibrary, AFailedGpioWindowStopsBeforeTheTimer)
{
    ASSERT_EQ(mkdir(board.FilePath(GpioBlock).c_str(), 0700), 0);
    EXPECT_EQ(init(), 0);
    EXPECT_FALSE(board.FileExists(TimerBlock));
    EXPECT_EQ(set(50), -1);

    ASSERT_EQ(rmdir(board.FilePath(GpioBlock).c_str()), 0);
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(get(), 100);
}

TEST_F(GlowkitLibrary, UnloadReleasesBothWindowsAndTheBacklightStaysAsItWas)
{
    ReloadWithCompare(0);
    ASSERT_EQ(init(), 1);
    set(70);
    library->Unload();
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    EXPECT_EQ(MappingsOf(TimerBlock), 0);
    EXPECT_EQ(Timer(0x1C), 700u);
    EXPECT_EQ(Gpio(0x14) & PowerEnable, PowerEnable);

    Load();
    EXPECT_EQ(get(), -1);
    EXPECT_EQ(init(), 1);
    EXPECT_EQ(get(), 70) << "the next program adopts the level that was left";
}

TEST_F(GlowkitLibrary, ExportsOnlyTheThreeFunctions)
{
    const std::set<std::string> expected = { "GetBrightness@@GLOWKIT_1", "InitBacklightCtrl@@GLOWKIT_1",
        "SetBrightness@@GLOWKIT_1", "GLOWKIT_1" };
    EXPECT_EQ(DefinedDynamicSymbols(GLOWKIT_SHIPPED_LIBRARY, board.Directory()), expected);
}
