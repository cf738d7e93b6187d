#include "platform/MapRegisterWindow.h"

#include "platform/AccessRecorder.h"
#include "platform/BoardDirectory.h"
#include "platform/RegisterObserver.h"
#include "platform/RegisterWindow.h"
#include "platform/TempBoard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every path under `directory`, relative to it, without following links: what a call created shows as
// the difference between two listings.
std::set<std::string> EntriesUnder(const std::string& directory)
{
    std::set<std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
        entries.insert(entry.path().lexically_relative(directory).string());
    return entries;
}

// Only root can give a file or a directory to another user. Without root, the cases that need it are left
// out and the test ends skipped for that limit of the machine, after every other case has run.
bool LeftOutWithoutRoot(bool rootOnly, int* leftOut)
{
    if (!rootOnly || geteuid() == 0)
        return false;
    ++*leftOut;
    return true;
}

void SkipIfCasesWereLeftOut(int leftOut)
{
    if (leftOut > 0)
        GTEST_SKIP() << "machine limit: not root, so " << leftOut
                     << " case(s) needing another user did not run";
}

off_t FileSize(const std::string& path)
{
    struct stat status { };
    return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

// Points REGWIN_DIR at `name` inside the board: a directory "real" with `mode`, or, for a name starting
// with "link", a symbolic link to a private "real".
void UseBoardDirectory(const TempBoard& board, const std::string& name, mode_t mode)
{
    const std::string real = board.Directory() + "/real";
    ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
    ASSERT_EQ(chmod(real.c_str(), mode), 0);
    if (name.starts_with("link")) {
        ASSERT_EQ(symlink(real.c_str(), (board.Directory() + "/link").c_str()), 0);
    }
    setenv("REGWIN_DIR", (board.Directory() + "/" + name).c_str(), 1);
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

TEST(OpenOrCreateBoardDirectory, CreatesOnlyTheLastComponentPrivatelyAndOnlyWhenAllowed)
{
    struct Case {
        const char* what;
        const char* path; // inside the temporary board
        bool mayCreate;
        const char* created; // the one entry that must appear, or null for none
        const char* said; // the problem, when it fails
    };
    const Case cases[] = {
        { "a missing last component", "new", true, "new", nullptr },
        { "a missing parent is not created", "one/two", true, nullptr, "only the last directory" },
        { "nor created through a link to a real directory", "link/one/two", true, nullptr,
            "only the last directory" },
        { "a dangling link at the name is not followed", "dangling", true, nullptr, "is a symbolic link" },
        { "a privileged program creates nothing", "new", false, nullptr, "does not create it" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempBoard board;
        const std::string base = board.Directory();
        ASSERT_EQ(mkdir((base + "/target").c_str(), 0700), 0);
        ASSERT_EQ(symlink("target", (base + "/link").c_str()), 0);
        ASSERT_EQ(symlink("nowhere", (base + "/dangling").c_str()), 0);
        const std::set<std::string> before = EntriesUnder(base);

        std::string problem;
        const int fd = OpenOrCreateBoardDirectory(base + "/" + c.path, c.mayCreate, &problem);
        std::set<std::string> expected = before;
        if (c.created) {
            EXPECT_GE(fd, 0) << problem;
            expected.insert(c.created);
            struct stat status { };
            ASSERT_EQ(stat((base + "/" + c.created).c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, 0700u);
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_NE(problem.find(c.said), std::string::npos) << problem;
        }
        EXPECT_EQ(EntriesUnder(base), expected);
        if (fd >= 0)
            close(fd);
    }
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

TEST(MapRegisterWindow, FailuresGiveNullSayWhyAndNeverFallBackToTheBoard)
{
    struct Case {
        const char* what;
        std::uint32_t size;
        const char* physical; // REGWIN_PHYS_92100000, or null for none
        void (*prepare)(const TempBoard&);
        const char* said; // on standard error
        bool rootOnly = false; // gives a file to another user
    };
    const auto none = [](const TempBoard&) {};
    const Case cases[] = {
        { "zero size", 0, nullptr, none, "" },
        { "size not a whole number of words", 6, nullptr, none, "" },
        { "register file is a directory", GpioBlockSize, nullptr,
            [](const TempBoard& board) { mkdir(board.FilePath(GpioBlock).c_str(), 0700); },
            "cannot open the register file" },
        { "register file is a symbolic link", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(0x1234, 0, 0);
                ASSERT_EQ(symlink(board.FilePath(0x1234).c_str(), board.FilePath(GpioBlock).c_str()), 0);
            },
            "cannot open the register file" },
        { "register file has a second name", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(GpioBlock, 0, 0);
                ASSERT_EQ(link(board.FilePath(GpioBlock).c_str(), board.FilePath(0x1234).c_str()), 0);
            },
            "has 2 names (hard links)" },
        { "register file belongs to another user", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(GpioBlock, 0, 0);
                ASSERT_EQ(chown(board.FilePath(GpioBlock).c_str(), 65534, 65534), 0);
            },
            "belongs to uid 65534", true },
        { "board directory is a file", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                board.SetWord(0x1234, 0, 0);
                setenv("REGWIN_DIR", board.FilePath(0x1234).c_str(), 1);
            },
            "is not a directory" },
        { "board directory is a symbolic link", GpioBlockSize, nullptr,
            [](const TempBoard& board) { UseBoardDirectory(board, "link", 0700); }, "is a symbolic link" },
        { "board directory is a symbolic link named with a slash", GpioBlockSize, nullptr,
            [](const TempBoard& board) { UseBoardDirectory(board, "link/", 0700); }, "is a symbolic link" },
        { "board directory belongs to another user", GpioBlockSize, nullptr,
            [](const TempBoard& board) {
                // Only root can give a directory away; anyone else meets one of root's.
                UseBoardDirectory(board, "real", 0700);
                const std::string real = board.Directory() + "/real";
                ASSERT_EQ(
                    geteuid() == 0 ? chown(real.c_str(), 65534, 65534) : setenv("REGWIN_DIR", "/", 1), 0);
            },
            "belongs to uid" },
        { "board directory writable by its group", GpioBlockSize, nullptr,
            [](const TempBoard& board) { UseBoardDirectory(board, "real", 0770); },
            "can be written by its group or by others (mode 0770)" },
        { "board directory writable by anyone, like /tmp", GpioBlockSize, nullptr,
            [](const TempBoard& board) { UseBoardDirectory(board, "real", 01777); },
            "can be written by its group or by others (mode 1777)" },
        { "physical address empty", GpioBlockSize, "", none, "is not a word-aligned physical address" },
        { "physical address not a number", GpioBlockSize, "fe20zz00", none, "\"fe20zz00\" is not" },
        { "physical address negative", GpioBlockSize, "-4096", none, "\"-4096\" is not" },
        { "physical address with trailing text", GpioBlockSize, "0xfe200000 ", none, "is not" },
        { "physical address not word aligned", GpioBlockSize, "0xfe200002", none, "is not" },
        { "physical address beyond any offset", GpioBlockSize, "0xffffffffffffff00", none, "is not" },
    };
    int leftOut = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (LeftOutWithoutRoot(c.rootOnly, &leftOut))
            continue;
        TempBoard board;
        c.prepare(board);
        if (c.physical)
            setenv("REGWIN_PHYS_92100000", c.physical, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(MapRegisterWindow(GpioBlock, c.size), nullptr);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_EQ(access((board.Directory() + "/real/92100000.reg").c_str(), F_OK), -1)
            << "nothing is created in a refused directory";
        if (c.physical) {
            EXPECT_FALSE(board.FileExists(GpioBlock))
                << "a bad physical setting must not map the board instead";
        }
        unsetenv("REGWIN_PHYS_92100000");
    }
    SkipIfCasesWereLeftOut(leftOut);
}

TEST(OpenTraceFile, APrivilegedCallerChecksBeforeItCreatesAnything)
{
    using Prepare = void (*)(const std::string& directory, const std::string& trace);
    struct Case {
        const char* what;
        bool privileged;
        Prepare prepare; // turns the private directory, and the trace file in it, into what the case is about
        const char* said; // the refusal, or null when the trace is accepted
        bool rootOnly = false; // gives a directory or a file to another user
    };
    const Case cases[] = {
        { "a new file in a private directory", true, [](const std::string&, const std::string&) {}, nullptr },
        { "a directory anyone can write, like /tmp", true,
            [](const std::string& d, const std::string&) { ASSERT_EQ(chmod(d.c_str(), 01777), 0); },
            "can be written by" },
        { "a directory of another user", true,
            [](const std::string& d, const std::string&) { ASSERT_EQ(chown(d.c_str(), 65534, 65534), 0); },
            "belongs to another user", true },
        { "a directory named through a symbolic link", true,
            [](const std::string& d, const std::string&) {
                ASSERT_EQ(
                    rename(d.c_str(), (d + "-real").c_str()) | symlink((d + "-real").c_str(), d.c_str()), 0);
            },
            "is a symbolic link" },
        { "a file with a second name", true,
            [](const std::string& d, const std::string& t) {
                ASSERT_EQ(close(creat(t.c_str(), 0600)) | link(t.c_str(), (d + "/other").c_str()), 0);
            },
            "more than one name" },
        { "a file of another user", true,
            [](const std::string&, const std::string& t) {
                ASSERT_EQ(close(creat(t.c_str(), 0600)) | chown(t.c_str(), 65534, 65534), 0);
            },
            "its own file", true },
        { "a symbolic link as the file, for anyone", false,
            [](const std::string&, const std::string& t) { ASSERT_EQ(symlink("elsewhere", t.c_str()), 0); },
            "Too many levels of symbolic links" },
    };
    int leftOut = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (LeftOutWithoutRoot(c.rootOnly, &leftOut))
            continue;
        TempBoard board;
        const std::string directory = board.Directory() + "/private";
        const std::string trace = directory + "/trace";
        ASSERT_EQ(mkdir(directory.c_str(), 0700), 0);
        c.prepare(directory, trace);
        std::set<std::string> expected = EntriesUnder(board.Directory());

        std::string problem;
        const int fd = registerobserver::OpenTraceFile(trace.c_str(), c.privileged, &problem);
        if (!c.said) {
            EXPECT_GE(fd, 0) << problem;
            expected.insert("private/trace");
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_NE(problem.find(c.said), std::string::npos) << problem;
        }
        EXPECT_EQ(EntriesUnder(board.Directory()), expected) << "a refused path is never created";
        if (fd >= 0)
            close(fd);
    }
    SkipIfCasesWereLeftOut(leftOut);
}

TEST(BoardDirectoryPath, FollowsTheEnvironment)
{
    struct Case {
        const char* regwin;
        const char* runtime;
        const char* expected;
    };
    const Case cases[] = {
        { "/srv/regs", "/run/user/7", "/srv/regs" },
        { "", "/run/user/7", "/run/user/7/regwin" },
        { nullptr, "/run/user/7", "/run/user/7/regwin" },
        { nullptr, "", "/tmp/regwin-7" },
        { nullptr, nullptr, "/tmp/regwin-7" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(BoardDirectoryPath(c.regwin, c.runtime, 7), c.expected);
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
