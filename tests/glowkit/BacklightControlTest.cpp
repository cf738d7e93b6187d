// The backlight class and the entry function, linked in directly, with the access order recorded through
// the register observer.

#include "glowkit/BacklightControl.h"

#include "glowkit/GlowkitLibrary.h"
#include "platform/AccessRecorder.h"
#include "platform/MapRegisterWindow.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// A backlight initialised on a zero board whose compare buffer reads `compare`.
void InitOnZeroBoard(const TempBoard& board, BacklightControl& backlight, std::uint32_t compare)
{
    board.Fill(GpioBlock, GpioBlockSize, 0);
    board.Fill(TimerBlock, TimerBlockSize, 0);
    board.SetWord(TimerBlock, 0x1C, compare);
    ASSERT_EQ(backlight.InitBacklightCtrl(), 1);
}

}

TEST(BacklightControl, StartBacklightPwmRunsSixReadModifyWritesInOrder)
{
    TempBoard board;
    BacklightControl backlight;
    InitOnZeroBoard(board, backlight, 500);
    board.SetWord(GpioBlock, 0x10, 0xFFFFFFF7); // line 1 at 01: must pass 00 on its way to 10
    board.SetWord(TimerBlock, 0x08, 0x12345F78);

    AccessRecorder recorder;
    backlight.StartBacklightPwm();
    const std::vector<std::string> expected = {
        "92100000 r 0x10 0xfffffff7",
        "92100000 w 0x10 0xfffffff3",
        "92100000 r 0x10 0xfffffff3",
        "92100000 w 0x10 0xfffffffb",
        "91a00000 r 0x08 0x12345f78",
        "91a00000 w 0x08 0x12345078",
        "91a00000 r 0x08 0x12345078",
        "91a00000 w 0x08 0x12345678",
        "91a00000 r 0x08 0x12345678",
        "91a00000 w 0x08 0x12345078",
        "91a00000 r 0x08 0x12345078",
        "91a00000 w 0x08 0x12345978",
    };
    EXPECT_EQ(recorder.Lines(), expected);
}

TEST(BacklightControl, SetBrightnessRunsTheStateMovesInOrder)
{
    struct Case {
        const char* what;
        std::uint32_t adoptedCompare;
        std::int32_t level;
        std::vector<std::string> accesses;
    };
    const Case cases[] = {
        { "dimmed 50 to full", 500, 100,
            {
                "92100000 r 0x10 0x00000008", // line 1: clear the mode field ...
                "92100000 w 0x10 0x00000000",
                "92100000 r 0x10 0x00000000", // ... then make it a plain output
                "92100000 w 0x10 0x00000004",
                "92100000 r 0x14 0x00000004", // drive it high
                "92100000 w 0x14 0x00000006",
                "91a00000 w 0x1c 0x000003e8", // compare 1000
            } },
        { "full to off", 0, 0,
            {
                "92100000 r 0x10 0x00000004", // leave full: line 1 back on the timer
                "92100000 w 0x10 0x00000000",
                "92100000 r 0x10 0x00000000",
                "92100000 w 0x10 0x00000008",
                "92100000 r 0x14 0x00000006", // power off
                "92100000 w 0x14 0x00000002",
            } },
        { "dimmed 50 to dimmed 20", 500, 20, { "91a00000 w 0x1c 0x000000c8" } },
        { "dimmed 50 to 7000", 500, 7000, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempBoard board;
        BacklightControl backlight;
        InitOnZeroBoard(board, backlight, c.adoptedCompare);
        AccessRecorder recorder;
        backlight.SetBrightness(c.level);
        EXPECT_EQ(recorder.Lines(), c.accesses);
    }
}

TEST(BacklightControl, OffToDimmedPowersOnBeforeTheCompareValue)
{
    TempBoard board;
    BacklightControl backlight;
    InitOnZeroBoard(board, backlight, 500);
    backlight.SetBrightness(0);
    AccessRecorder recorder;
    EXPECT_EQ(backlight.SetBrightness(30), 0);
    const std::vector<std::string> expected = {
        "92100000 r 0x14 0x00000000",
        "92100000 w 0x14 0x00000004",
        "91a00000 w 0x1c 0x0000012c",
    };
    EXPECT_EQ(recorder.Lines(), expected);
}

TEST(BacklightControl, TimerClockSelectsPrescalerAndDivider)
{
    struct Case {
        std::uint32_t prescaler;
        std::uint32_t dividerCode;
        std::uint32_t prescalerWord;
        std::uint32_t dividerWord;
    };
    const Case cases[] = {
        { 200, 1, 0xFFFFFFC8, 0xFFFFFF0F }, { 0, 2, 0xFFFFFF00, 0xFFFFFF1F },
        { 255, 3, 0xFFFFFFFF, 0xFFFFFF2F }, { 7, 4, 0xFFFFFF07, 0xFFFFFF3F },
        { 7, 0, 0xFFFFFF07, 0xFFFFFF4F }, { 7, 5, 0xFFFFFF07, 0xFFFFFF4F },
        { 256, 1, 0xFFFFFFFF, 0xFFFFFF0F }, // too large: the prescaler word is left alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "prescaler " << c.prescaler << ", code " << c.dividerCode);
        TempBoard board;
        BacklightControl backlight;
        InitOnZeroBoard(board, backlight, 500);
        board.SetWord(TimerBlock, 0x00, 0xFFFFFFFF);
        board.SetWord(TimerBlock, 0x04, 0xFFFFFFFF);
        AccessRecorder recorder;
        backlight.SetTimerClock(c.prescaler, c.dividerCode);
        EXPECT_EQ(board.Word(TimerBlock, 0x00), c.prescalerWord);
        EXPECT_EQ(board.Word(TimerBlock, 0x04), c.dividerWord);
        EXPECT_EQ(recorder.Lines().size(), c.prescaler > 255 ? 2u : 4u);
    }
}

TEST(BacklightControl, CountAndCompareAreWrittenOnlyWhenTheyFitSixteenBits)
{
    struct Case {
        std::uint32_t value;
        bool written;
    };
    const Case cases[] = { { 0, true }, { 65535, true }, { 65536, false }, { 0xFFFFFFFF, false } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        TempBoard board;
        BacklightControl backlight;
        InitOnZeroBoard(board, backlight, 500);
        board.SetWord(TimerBlock, 0x18, 0xAAAA);
        board.SetWord(TimerBlock, 0x1C, 0xBBBB);
        backlight.SetTimerCount(c.value);
        backlight.SetTimerCompare(c.value);
        EXPECT_EQ(board.Word(TimerBlock, 0x18), c.written ? c.value : 0xAAAAu);
        EXPECT_EQ(board.Word(TimerBlock, 0x1C), c.written ? c.value : 0xBBBBu);
    }
}

TEST(BacklightControl, ABoardWithRealGpioSimulatesNoTimer)
{
    TempBoard board;
    // An ordinary file stands in for the memory device, here and for the rest of this process, so no
    // test can reach real memory. The GPIO block starts inside its page, the timer at a page start.
    const std::string memory = board.Directory() + "/memory";
    std::ofstream { memory };
    ASSERT_EQ(truncate(memory.c_str(), 0x4000), 0);
    UseMemoryDeviceStandIn(memory.c_str());
    setenv("REGWIN_PHYS_92100000", "0x1040", 1);

    BacklightControl backlight;
    testing::internal::CaptureStderr();
    EXPECT_EQ(backlight.InitBacklightCtrl(), 0);
    EXPECT_EQ(backlight.InitBacklightCtrl(), 0) << "retrying does not fall back to a simulated timer";
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said,
        "regwin: block 91a00000 has no REGWIN_PHYS_91a00000 while other blocks use real registers; it is "
        "neither mapped nor simulated\n")
        << "said once, however often the caller retries";
    EXPECT_FALSE(board.FileExists(TimerBlock));
    EXPECT_EQ(TempBoard::WordOf(memory, 0x1040 + 0x14), 0u) << "no register is touched on half a board";

    setenv("REGWIN_PHYS_91a00000", "0x2000", 1);
    EXPECT_EQ(backlight.InitBacklightCtrl(), 1);
    EXPECT_EQ(TempBoard::WordOf(memory, 0x1040 + 0x14), 0x6u) << "power on, line 1 high";
    EXPECT_EQ(TempBoard::WordOf(memory, 0x2000 + 0x18), 1005u) << "the count reached the timer's address";
    unsetenv("REGWIN_PHYS_92100000");
    unsetenv("REGWIN_PHYS_91a00000");
}

TEST(GlowkitEntry, OnlyProcessDetachActsAndItKeepsTheLevel)
{
    TempBoard board;
    BacklightControl& backlight = Backlight();
    EXPECT_TRUE(GlowkitEntry(AttachReason::ProcessAttach));
    EXPECT_TRUE(GlowkitEntry(AttachReason::ThreadAttach));
    EXPECT_EQ(MappingsOf(GpioBlock), 0) << "windows are mapped by init, not at attach";
    EXPECT_EQ(backlight.GetBrightness(), -1);

    InitOnZeroBoard(board, backlight, 250);
    EXPECT_TRUE(GlowkitEntry(AttachReason::ThreadDetach));
    EXPECT_EQ(MappingsOf(TimerBlock), 1);

    EXPECT_TRUE(GlowkitEntry(AttachReason::ProcessDetach));
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    EXPECT_EQ(MappingsOf(TimerBlock), 0);
    EXPECT_EQ(backlight.GetBrightness(), 25) << "detach keeps the stored level";

    // Without windows nothing is touched or stored, and the caller learns the stored level.
    AccessRecorder recorder;
    EXPECT_EQ(backlight.SetBrightness(80), 25);
    EXPECT_EQ(backlight.GetBrightness(), 25);
    EXPECT_TRUE(recorder.Lines().empty());
    EXPECT_EQ(board.Word(TimerBlock, 0x1C), 250u);
}
