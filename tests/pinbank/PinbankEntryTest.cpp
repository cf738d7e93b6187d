// The entry function and the process-wide object, driven directly with every attach reason (on Linux
// the loader only ever delivers the process reasons).

#include "pinbank/PinbankLibrary.h"

#include "pinbank/GpioRegisters.h"
#include "pinbank/StandInChip.h"
#include "platform/AccessRecorder.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/stat.h>

TEST(PinbankEntry, ObjectLivesFromFirstAttachToProcessDetach)
{
    TempBoard board;
    ASSERT_EQ(PinbankObject(), nullptr);
    EXPECT_EQ(PinbankGetInput(54), 0) << "before attach there is nothing to read";

    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessAttach));
    GpioRegisters* object = PinbankObject();
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->HasWindow());

    // Later attaches and thread detaches keep the one object.
    EXPECT_TRUE(PinbankEntry(AttachReason::ThreadAttach));
    EXPECT_TRUE(PinbankEntry(AttachReason::ThreadDetach));
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessAttach));
    EXPECT_EQ(PinbankObject(), object);
    EXPECT_EQ(MappingsOf(GpioBlock), 1);

    PinbankSetOutput(57, 1);
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x20u);
    EXPECT_EQ(PinbankGetInput(57), 1);

    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessDetach));
    EXPECT_EQ(PinbankObject(), nullptr);
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    EXPECT_EQ(PinbankGetInput(57), 0);
    PinbankSetOutput(57, 0);
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x20u) << "a detached library drives nothing";

    // A thread attach after detach makes a new object, as the next attach after a failed allocation would.
    EXPECT_TRUE(PinbankEntry(AttachReason::ThreadAttach));
    EXPECT_NE(PinbankObject(), nullptr);
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessDetach));
}

TEST(PinbankEntry, ReportsSuccessEvenWhenTheWindowCannotBeMapped)
{
    TempBoard board;
    ASSERT_EQ(mkdir(board.FilePath(GpioBlock).c_str(), 0700), 0);
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessAttach));
    ASSERT_NE(PinbankObject(), nullptr);
    EXPECT_FALSE(PinbankObject()->HasWindow());

    AccessRecorder recorder;
    EXPECT_EQ(PinbankGetInput(1), 0);
    PinbankSetOutput(50, 1);
    EXPECT_EQ(recorder.Lines(), std::vector<std::string>());
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessDetach));
}

TEST(PinbankEntry, ABoardFileNamingPinsTakesTheirLinesFromAttachToDetachAndMapsNoWindow)
{
    TempBoard board;
    board.WriteBoardFile("pin.54 = GPS_PWR\n");
    StandInChip chip;
    UseGpioCharDevice(&chip);
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessAttach));
    EXPECT_EQ(PinbankObject(), nullptr);
    EXPECT_EQ(chip.At(0, 3).consumer, "pinbank");
    PinbankSetOutput(54, 1);
    EXPECT_EQ(chip.At(0, 3).driven, 1);
    EXPECT_EQ(PinbankGetInput(54), 1);
    EXPECT_TRUE(PinbankEntry(AttachReason::ProcessDetach));
    EXPECT_EQ(chip.OpenDescriptors(), 0u) << "detach releases every line";
    EXPECT_EQ(PinbankGetInput(54), 0);
    EXPECT_FALSE(board.FileExists(GpioBlock)) << "the register window is never mapped";
    UseGpioCharDevice(nullptr);
}

TEST(GpioRegisters, DrivesATwoBitPortThroughElevenBeforeOne)
{
    TempBoard board;
    board.SetWord(GpioBlock, 0x40, 0x00800000); // line 11 at 10: must pass 11, never 00
    board.SetWord(GpioBlock, 0x44, 0xFFFFFFFF);
    GpioRegisters gpio;
    AccessRecorder recorder;
    gpio.SetOutput(51, 0);
    const std::vector<std::string> expected = {
        "92100000 r 0x40 0x00800000",
        "92100000 w 0x40 0x00c00000",
        "92100000 r 0x40 0x00c00000",
        "92100000 w 0x40 0x00400000",
        "92100000 r 0x44 0xffffffff",
        "92100000 w 0x44 0xfffff7ff",
    };
    EXPECT_EQ(recorder.Lines(), expected);
}
