// The shared object as programs on the device use it: loaded with dlopen, exports found by plain name,
// registers checked in the simulated board's files and in the REGWIN_TRACE access trace.

#include "platform/DynamicSymbols.h"
#include "platform/SharedLibrary.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

using GetGPInputFunction = std::int32_t(std::int32_t);
using SetGPOutputFunction = void(std::int32_t, std::int32_t);

// The library maps its window when it is loaded, so the board comes first.
class PinbankLibrary : public ::testing::Test {
protected:
    void SetUp() override { Load(); }

    void Load()
    {
        library = std::make_unique<SharedLibrary>(PINBANK_LIBRARY);
        ASSERT_TRUE(library->IsLoaded()) << dlerror();
        getInput = library->Find<GetGPInputFunction>("GetGPInput");
        setOutput = library->Find<SetGPOutputFunction>("SetGPOutput");
        ASSERT_NE(getInput, nullptr);
        ASSERT_NE(setOutput, nullptr);
    }

    TempBoard board { TempBoard::Trace::On };
    std::unique_ptr<SharedLibrary> library;
    GetGPInputFunction* getInput = nullptr;
    SetGPOutputFunction* setOutput = nullptr;
};

// Every word of the window except the two that a pin's accesses may change keeps `pattern`.
void ExpectOtherWordsKeep(
    const TempBoard& board, std::uint32_t pattern, std::uint32_t control, std::uint32_t data)
{
    for (std::uint32_t offset = 0; offset < GpioBlockSize; offset += 4) {
        if (offset != control && offset != data) {
            EXPECT_EQ(board.Word(GpioBlock, offset), pattern) << "word 0x" << std::hex << offset;
        }
    }
}

}

TEST_F(PinbankLibrary, EveryOutputPinSetsItsModeAndDrivesOnlyItsBit)
{
    struct Case {
        std::int32_t pin;
        std::uint32_t control;
        std::uint32_t controlSet; // first write of the control word
        std::uint32_t controlClear; // second write (two-bit ports) or the only one (port 0x00)
        std::uint32_t data;
        std::uint32_t bit;
    };
    const Case cases[] = {
        { 50, 0xF0, 0x0C000000, 0x08000000, 0xF4, 0x00002000 },
        { 51, 0x40, 0x00C00000, 0x00800000, 0x44, 0x00000800 },
        { 52, 0x40, 0x03000000, 0x02000000, 0x44, 0x00001000 },
        { 53, 0x40, 0x0C000000, 0x08000000, 0x44, 0x00002000 },
        { 54, 0x10, 0x00000030, 0x00000020, 0x14, 0x00000004 },
        { 55, 0x10, 0x000000C0, 0x00000080, 0x14, 0x00000008 },
        { 56, 0x00, 0x00000000, 0x04000000, 0x04, 0x04000000 },
        { 57, 0x10, 0x00000C00, 0x00000800, 0x14, 0x00000020 },
        { 58, 0x00, 0x00000000, 0x02000000, 0x04, 0x02000000 },
    };
    const std::uint32_t patterns[] = { 0x00000000, 0xFFFFFFFF, 0xA5A5A5A5, 0x5A5A5A5A };
    for (const Case& c : cases) {
        for (const std::uint32_t pattern : patterns) {
            SCOPED_TRACE(testing::Message() << "pin " << c.pin << ", pattern 0x" << std::hex << pattern);
            board.Fill(GpioBlock, GpioBlockSize, pattern);
            const std::uint32_t modeAfter = (pattern | c.controlSet) & ~c.controlClear;

            setOutput(c.pin, 1);
            EXPECT_EQ(board.Word(GpioBlock, c.control), modeAfter);
            EXPECT_EQ(board.Word(GpioBlock, c.data), pattern | c.bit);
            EXPECT_EQ(getInput(c.pin), 1);

            setOutput(c.pin, 0);
            EXPECT_EQ(board.Word(GpioBlock, c.control), modeAfter);
            EXPECT_EQ(board.Word(GpioBlock, c.data), pattern & ~c.bit);
            EXPECT_EQ(getInput(c.pin), 0);
            // Reading an output leaves its mode alone.
            EXPECT_EQ(board.Word(GpioBlock, c.control), modeAfter);
            ExpectOtherWordsKeep(board, pattern, c.control, c.data);
        }
    }
}

TEST_F(PinbankLibrary, EveryInputPinReturnsToInputModeAndReadsItsBit)
{
    struct Case {
        std::int32_t pin;
        std::uint32_t modeMask;
        std::uint32_t bit;
    };
    const Case cases[] = {
        { 0, 0x00000003, 0x00000001 },
        { 1, 0x00000C00, 0x00000020 },
        { 2, 0x00003000, 0x00000040 },
        { 3, 0x0000C000, 0x00000080 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "pin " << c.pin);
        board.Fill(GpioBlock, GpioBlockSize, 0xFFFFFFFF);
        board.SetWord(GpioBlock, 0x54, c.bit);
        EXPECT_EQ(getInput(c.pin), 1);
        EXPECT_EQ(board.Word(GpioBlock, 0x50), ~c.modeMask);

        board.SetWord(GpioBlock, 0x54, ~c.bit);
        EXPECT_EQ(getInput(c.pin), 0);
        EXPECT_EQ(board.Word(GpioBlock, 0x54), ~c.bit) << "reading must not write the data word";
        ExpectOtherWordsKeep(board, 0xFFFFFFFF, 0x50, 0x54);
    }
}

TEST_F(PinbankLibrary, UnlistedPinsTouchNoRegister)
{
    board.Fill(GpioBlock, GpioBlockSize, 0xFFFFFFFF);
    board.ClearTrace();
    for (const std::int32_t pin : { -1, 4, 49, 59, 100, INT_MIN, INT_MAX }) {
        SCOPED_TRACE(pin);
        EXPECT_EQ(getInput(pin), 0) << "unknown pins read as low even when every bit is set";
        setOutput(pin, 1);
    }
    // Inputs cannot be driven.
    for (const std::int32_t pin : { 0, 1, 2, 3 })
        setOutput(pin, 1);
    EXPECT_EQ(board.TraceLines(), std::vector<std::string>());
    ExpectOtherWordsKeep(board, 0xFFFFFFFF, GpioBlockSize, GpioBlockSize);
}

TEST_F(PinbankLibrary, AnyNonZeroLevelDrivesHigh)
{
    for (const std::int32_t level : { 1, 2, -1, INT_MIN }) {
        SCOPED_TRACE(level);
        board.SetWord(GpioBlock, 0x14, 0);
        setOutput(54, level);
        EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x4u);
    }
}

TEST_F(PinbankLibrary, DrivesAndReadsInTheExactRegisterOrder)
{
    struct Case {
        const char* what;
        void (*call)(GetGPInputFunction*, SetGPOutputFunction*);
        std::vector<std::string> accesses;
    };
    const Case cases[] = {
        { "output 54 high on a two-bit port",
            [](GetGPInputFunction*, SetGPOutputFunction* set) { set(54, 1); },
            {
                "92100000 r 0x10 0x00000000",
                "92100000 w 0x10 0x00000030",
                "92100000 r 0x10 0x00000030",
                "92100000 w 0x10 0x00000010",
                "92100000 r 0x14 0x00000000",
                "92100000 w 0x14 0x00000004",
            } },
        { "output 56 high on the one-bit port",
            [](GetGPInputFunction*, SetGPOutputFunction* set) { set(56, 1); },
            {
                "92100000 r 0x00 0x00000000",
                "92100000 w 0x00 0x00000000",
                "92100000 r 0x04 0x00000000",
                "92100000 w 0x04 0x04000000",
            } },
        { "input 1", [](GetGPInputFunction* get, SetGPOutputFunction*) { get(1); },
            {
                "92100000 r 0x50 0x00000000",
                "92100000 w 0x50 0x00000000",
                "92100000 r 0x54 0x00000000",
            } },
        { "output 57 read back", [](GetGPInputFunction* get, SetGPOutputFunction*) { get(57); },
            { "92100000 r 0x14 0x00000000" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        board.Fill(GpioBlock, GpioBlockSize, 0);
        board.ClearTrace();
        c.call(getInput, setOutput);
        EXPECT_EQ(board.TraceLines(), c.accesses);
    }
}

TEST_F(PinbankLibrary, ExportsOnlyTheTwoFunctions)
{
    const std::set<std::string> expected = { "GetGPInput@@PINBANK_1", "SetGPOutput@@PINBANK_1", "PINBANK_1" };
    EXPECT_EQ(DefinedDynamicSymbols(PINBANK_SHIPPED_LIBRARY, board.Directory()), expected);
}

TEST_F(PinbankLibrary, UnloadReleasesTheWindowAndKeepsTheLines)
{
    setOutput(55, 1);
    EXPECT_EQ(MappingsOf(GpioBlock), 1);
    library->Unload();
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x8u);

    Load();
    EXPECT_EQ(getInput(55), 1) << "a fresh load sees the level the hardware kept";
}

// The shipped library is marked not to be unloaded, so a dlclose cannot pull its code or its window from
// under a thread that is still calling. Run in a child, so the library it leaves loaded goes with it.
TEST(PinbankShippedLibrary, DlcloseLeavesItLoadedAndCallable)
{
    TempBoard board;
    EXPECT_EXIT(
        {
            SharedLibrary shipped(PINBANK_SHIPPED_LIBRARY);
            auto* getInput = shipped.Find<GetGPInputFunction>("GetGPInput");
            shipped.Find<SetGPOutputFunction>("SetGPOutput")(55, 1);
            shipped.Unload();
            const int mappings = MappingsOf(GpioBlock);
            std::fprintf(stderr, "mappings %d, output 55 reads %d\n", mappings, getInput(55));
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "mappings 1, output 55 reads 1");
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x8u);
}

TEST_F(PinbankLibrary, WithoutAWindowReadsGiveZeroAndWritesDoNothing)
{
    library->Unload();
    board.Fill(GpioBlock, GpioBlockSize, 0xFFFFFFFF);
    // A directory where the register file should be cannot be opened for writing, even by root.
    const std::string file = board.FilePath(GpioBlock);
    ASSERT_EQ(rename(file.c_str(), (file + ".saved").c_str()), 0);
    ASSERT_EQ(mkdir(file.c_str(), 0700), 0);
    Load();
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    board.ClearTrace();

    EXPECT_EQ(getInput(54), 0);
    EXPECT_EQ(getInput(0), 0);
    setOutput(54, 1);
    EXPECT_EQ(board.TraceLines(), std::vector<std::string>());

    // The library keeps its object without a window; it does not retry on later calls.
    ASSERT_EQ(rmdir(file.c_str()), 0);
    ASSERT_EQ(rename((file + ".saved").c_str(), file.c_str()), 0);
    EXPECT_EQ(getInput(54), 0);
}
