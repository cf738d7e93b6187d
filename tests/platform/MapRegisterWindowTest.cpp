#include "platform/MapRegisterWindow.h"

#include "platform/AccessRecorder.h"
#include "platform/RegisterWindow.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

off_t FileSize(const std::string& path)
{
    struct stat status { };
    return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

}

TEST(MapRegisterWindow, CreatesAZeroFilledFileNamedAfterTheAddress)
{
    struct Case {
        std::uint32_t address;
        std::uint32_t size;
        const char* fileName;
    };
    const Case cases[] = {
        { 0x92100000, 0x100, "92100000.reg" },
        { 0x91A00000, 0x44, "91a00000.reg" },
        { 0x0000ABC0, 4, "0000abc0.reg" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempBoard board;
        void* window = MapRegisterWindow(c.address, c.size);
        ASSERT_NE(window, nullptr);
        const std::string path = board.Directory() + "/" + c.fileName;
        EXPECT_EQ(FileSize(path), static_cast<off_t>(c.size));
        for (std::uint32_t word : board.Words(c.address, c.size))
            EXPECT_EQ(word, 0u);
        UnmapRegisterWindow(window, c.size);
    }
}

TEST(MapRegisterWindow, RegistersAreLiveLittleEndianWordsOfTheFile)
{
    TempBoard board;
    void* window = MapRegisterWindow(GpioBlock, GpioBlockSize);
    ASSERT_NE(window, nullptr);
    const RegisterWindow gpio(window, GpioBlock, GpioBlockSize);

    gpio.Write32(0x14, 0x11223344);
    EXPECT_EQ(board.Word(GpioBlock, 0x14), 0x11223344u);
    const auto* bytes = static_cast<const unsigned char*>(window) + 0x14;
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);

    // Another process writing the file is seen by the next read, without remapping.
    board.SetWord(GpioBlock, 0xFC, 0xCAFEF00D);
    EXPECT_EQ(gpio.Read32(0xFC), 0xCAFEF00Du);

    // Two windows on the same block share the registers.
    void* second = MapRegisterWindow(GpioBlock, GpioBlockSize);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(RegisterWindow(second, GpioBlock, GpioBlockSize).Read32(0x14), 0x11223344u);
    UnmapRegisterWindow(second, GpioBlockSize);
    UnmapRegisterWindow(window, GpioBlockSize);
}

TEST(MapRegisterWindow, GrowsAShortFileAndKeepsALongOne)
{
    TempBoard board;
    board.SetWord(TimerBlock, 0x1C, 500); // a 32-byte file with one word set
    void* window = MapRegisterWindow(TimerBlock, TimerBlockSize);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FileSize(board.FilePath(TimerBlock)), static_cast<off_t>(TimerBlockSize));
    EXPECT_EQ(RegisterWindow(window, TimerBlock, TimerBlockSize).Read32(0x1C), 500u);
    EXPECT_EQ(board.Word(TimerBlock, 0x40), 0u);
    UnmapRegisterWindow(window, TimerBlockSize);

    board.SetWord(GpioBlock, 0x1FC, 7); // longer than the window
    window = MapRegisterWindow(GpioBlock, GpioBlockSize);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(FileSize(board.FilePath(GpioBlock)), 0x200);
    EXPECT_EQ(board.Word(GpioBlock, 0x1FC), 7u);
    UnmapRegisterWindow(window, GpioBlockSize);
}

TEST(MapRegisterWindow, CreatesMissingDirectoriesPrivately)
{
    TempBoard board;
    const std::string nested = board.Directory() + "/one/two";
    setenv("REGWIN_DIR", nested.c_str(), 1);
    void* window = MapRegisterWindow(GpioBlock, GpioBlockSize);
    ASSERT_NE(window, nullptr);
    struct stat status { };
    ASSERT_EQ(stat(nested.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    EXPECT_EQ(FileSize(nested + "/92100000.reg"), static_cast<off_t>(GpioBlockSize));
    UnmapRegisterWindow(window, GpioBlockSize);
}

TEST(MapRegisterWindow, UsesTheRuntimeDirectoryWhenNoBoardDirectoryIsNamed)
{
    TempBoard board;
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = previous ? previous : "";
    unsetenv("REGWIN_DIR");
    setenv("XDG_RUNTIME_DIR", board.Directory().c_str(), 1);

    void* window = MapRegisterWindow(TimerBlock, TimerBlockSize);
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(FileSize(board.Directory() + "/regwin/91a00000.reg"), static_cast<off_t>(TimerBlockSize));
    UnmapRegisterWindow(window, TimerBlockSize);

    if (previous)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

TEST(MapRegisterWindow, FailuresGiveNullAndNeverFallBackToTheBoard)
{
    struct Case {
        const char* what;
        std::uint32_t size;
        const char* physical; // REGWIN_PHYS_92100000, or null for none
        void (*prepare)(const TempBoard&);
    };
    const auto none = [](const TempBoard&) {};
    const Case cases[] = {
        { "zero size", 0, nullptr, none },
        { "size not a whole number of words", 6, nullptr, none },
        { "register file is a directory", GpioBlockSize, nullptr,
            [](const TempBoard& board) { mkdir(board.FilePath(GpioBlock).c_str(), 0700); } },
        { "register file is a symbolic link", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(0x1234, 0, 0);
                ASSERT_EQ(symlink(board.FilePath(0x1234).c_str(), board.FilePath(GpioBlock).c_str()), 0);
            } },
        { "board directory is a file", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(0x1234, 0, 0);
                setenv("REGWIN_DIR", board.FilePath(0x1234).c_str(), 1);
            } },
        { "physical address empty", GpioBlockSize, "", none },
        { "physical address not a number", GpioBlockSize, "fe20zz00", none },
        { "physical address negative", GpioBlockSize, "-4096", none },
        { "physical address with trailing text", GpioBlockSize, "0xfe200000 ", none },
        { "physical address not word aligned", GpioBlockSize, "0xfe200002", none },
        { "physical address beyond any offset", GpioBlockSize, "0xffffffffffffff00", none },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempBoard board;
        c.prepare(board);
        if (c.physical)
            setenv("REGWIN_PHYS_92100000", c.physical, 1);
        EXPECT_EQ(MapRegisterWindow(GpioBlock, c.size), nullptr);
        if (c.physical) {
            EXPECT_FALSE(board.FileExists(GpioBlock))
                << "a bad physical setting must not map the board instead";
        }
        unsetenv("REGWIN_PHYS_92100000");
    }
}

TEST(UnmapRegisterWindow, ReleasesTheMappingAndIgnoresNull)
{
    TempBoard board;
    void* window = MapRegisterWindow(GpioBlock, GpioBlockSize);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(MappingsOf(GpioBlock), 1);
    UnmapRegisterWindow(window, GpioBlockSize);
    EXPECT_EQ(MappingsOf(GpioBlock), 0);
    UnmapRegisterWindow(nullptr, GpioBlockSize);
}

TEST(RegisterWindow, ReportsEveryAccessToTheObserverInOrder)
{
    TempBoard board;
    board.SetWord(TimerBlock, 0x08, 0x00000F0F);
    void* window = MapRegisterWindow(TimerBlock, TimerBlockSize);
    ASSERT_NE(window, nullptr);
    const RegisterWindow timer(window, TimerBlock, TimerBlockSize);
    {
        AccessRecorder recorder;
        const std::uint32_t control = timer.Read32(0x08);
        timer.Write32(0x08, control & ~0xF00u);
        timer.Write32(0x40, 0xFFFFFFFF);
        const std::vector<std::string> expected = {
            "91a00000 r 0x08 0x00000f0f",
            "91a00000 w 0x08 0x0000000f",
            "91a00000 w 0x40 0xffffffff",
        };
        EXPECT_EQ(recorder.Lines(), expected);
    }
    // Without an observer the accesses still happen and nothing is recorded anywhere.
    AccessRecorder later;
    SetRegisterObserver(nullptr, nullptr);
    timer.Write32(0x08, 0x900);
    EXPECT_TRUE(later.Lines().empty());
    EXPECT_EQ(board.Word(TimerBlock, 0x08), 0x900u);
    UnmapRegisterWindow(window, TimerBlockSize);
}
