#include "serial/SerialPort.h"

#include "SerialTestSupport.h"
#include "ui/WideString.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace serialtest;

namespace {

constexpr const char* ChildOpenVariable = "SERIAL_TEST_CHILD_OPENS";
constexpr int ChildOpened = 0;
constexpr int ChildRefusedInUse = 3;
constexpr int ChildFailedOtherwise = 4;

// Started again as a helper by AnotherProcessCannotOpenTheDeviceInUse: try the device named by the
// variable and answer with the exit code, before any test runs.
const bool childRole = [] {
    const char* path = std::getenv(ChildOpenVariable);
    if (!path)
        return false;
    SerialPort port;
    const std::u16string name(path, path + std::strlen(path));
    if (port.Open(name.c_str(), 9600, 8, 0, 0))
        _exit(ChildOpened);
    _exit(port.LastError() == EWOULDBLOCK ? ChildRefusedInUse : ChildFailedOtherwise);
}();

int RunChildThatOpens(const std::string& path)
{
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
    environment.push_back(std::string(ChildOpenVariable) + "=" + path);
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    char exe[] = "/proc/self/exe";
    char list[] = "--gtest_list_tests";
    char* argv[] = { exe, list, nullptr };
    pid_t child = 0;
    if (posix_spawn(&child, exe, nullptr, nullptr, argv, envp.data()) != 0)
        return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::vector<std::uint8_t> Text(const char* text)
{
    return std::vector<std::uint8_t>(text, text + std::strlen(text));
}

bool LockIsFree(const std::string& path)
{
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
    int exclusive = 1;
    const bool notExclusive = ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive == 0;
    close(fd);
    return locked && notExclusive;
}

class SerialPortTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.IsOpen()); }
    void TearDown() override
    {
        owner.Run([&] { port.reset(); });
    }

    bool Open(const char16_t* name)
    {
        bool opened = false;
        owner.Run([&] {
            port->SetNotifyTarget(owner.Handle(), ChunkMessage);
            port->SetLostMessage(LostMessage);
            opened = port->Open(name, 9600, 8, 0, 0);
        });
        return opened;
    }
    bool Open() { return Open(pty.SlaveName().c_str()); }
    bool Close()
    {
        bool closed = false;
        owner.Run([&] { closed = port->Close(); });
        return closed;
    }
    bool Write(const std::vector<std::uint8_t>& bytes)
    {
        bool written = false;
        owner.Run([&] { written = port->Write(bytes.data(), static_cast<int>(bytes.size())); });
        return written;
    }

    Owner owner;
    PtyPair pty;
    std::unique_ptr<SerialPort> port = std::make_unique<SerialPort>();
};

} // namespace

TEST_F(SerialPortTest, OpenOfANameThatIsNoSerialDeviceFailsAndLeavesThePortClosed)
{
    char regular[] = "/tmp/serial-test-XXXXXX";
    const int regularFd = mkstemp(regular);
    ASSERT_GE(regularFd, 0);
    close(regularFd);
    const std::string regularPath = regular;
    const std::u16string regularName(regularPath.begin(), regularPath.end());
    unsetenv("COM200");

    struct Case {
        const char16_t* name;
        int error;
    };
    const Case cases[] = {
        { u"/nonexistent/ttyS0", ENOENT },
        { u"COM200:", ENOENT },
        { u"LPT1:", ENOENT },
        { u"ttyS0", ENOENT },
        { nullptr, ENOENT },
        { u"/dev/null", ENOTTY },
        { regularName.c_str(), ENOTTY },
    };
    const int fdsBefore = OpenFdCount();
    const auto tasksBefore = TaskIds();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? testing::PrintToString(std::u16string(c.name)) : "null name");
        EXPECT_FALSE(Open(c.name));
        EXPECT_EQ(port->LastError(), c.error) << std::strerror(port->LastError());
        EXPECT_FALSE(Write(Text("AT\r")));
        EXPECT_FALSE(Close());
        EXPECT_EQ(OpenFdCount(), fdsBefore);
        EXPECT_EQ(TaskIds(), tasksBefore);
    }
    unlink(regular);
}

TEST_F(SerialPortTest, InvalidLineCodesFailWithoutKeepingTheDevice)
{
    struct Case {
        std::uint32_t baud;
        std::uint8_t byteSize;
        std::uint8_t stopBits;
        std::uint8_t parity;
    };
    const Case cases[] = { { 9601, 8, 0, 0 }, { 0, 8, 0, 0 }, { 9600, 9, 0, 0 }, { 9600, 8, 3, 0 },
        { 9600, 8, 1, 0 }, { 9600, 8, 0, 5 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.baud) + " " + std::to_string(c.byteSize) + " "
            + std::to_string(c.stopBits) + " " + std::to_string(c.parity));
        bool opened = true;
        owner.Run(
            [&] { opened = port->Open(pty.SlaveName().c_str(), c.baud, c.byteSize, c.stopBits, c.parity); });
        EXPECT_FALSE(opened);
        EXPECT_EQ(port->LastError(), EINVAL);
        EXPECT_TRUE(LockIsFree(pty.SlavePath()));
    }
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, OpenWriteCloseAndWriteAfterClose)
{
    ASSERT_TRUE(Open());
    const std::vector<std::uint8_t> frame = PatternBytes(14);
    EXPECT_TRUE(Write(frame));
    EXPECT_EQ(pty.Receive(frame.size(), 5s), frame);

    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(Close());
    EXPECT_GE(Clock::now() - start, 1000ms) << "Close gives the reader a full second";
    EXPECT_FALSE(Write(frame));
    EXPECT_FALSE(Close());
}

TEST_F(SerialPortTest, BurstArrivesInOrderInChunksOfAtMostSixtyOnTheOwnerThread)
{
    ASSERT_TRUE(Open());
    const std::vector<std::uint8_t> burst = PatternBytes(150);
    ASSERT_TRUE(pty.Send(burst));
    ASSERT_TRUE(owner.window.WaitForBytes(burst.size(), 5s));
    // Anything repeated would arrive right behind the burst.
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(owner.window.Bytes(), burst);
    const std::vector<Chunk> chunks = owner.window.Chunks();
    EXPECT_GE(chunks.size(), 3u);
    for (const Chunk& chunk : chunks) {
        EXPECT_GE(chunk.count, 1);
        EXPECT_LE(chunk.count, 60);
        EXPECT_EQ(static_cast<std::size_t>(chunk.count), chunk.bytes.size());
        EXPECT_EQ(chunk.thread, owner.Id());
    }
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, LoneByteIsDeliveredAfterTheQuietInterval)
{
    ASSERT_TRUE(Open());
    const Clock::time_point sent = Clock::now();
    ASSERT_TRUE(pty.Send(Text("$")));
    ASSERT_TRUE(owner.window.WaitForChunks(1, 5s));
    const std::vector<Chunk> chunks = owner.window.Chunks();
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].count, 1);
    EXPECT_EQ(chunks[0].bytes, Text("$"));
    EXPECT_GE(chunks[0].at - sent, 80ms) << "the reader waits for more before it hands a byte over";
    EXPECT_LT(chunks[0].at - sent, 2s);
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, CloseAndDeleteEndTheReaderAndReleaseTheDevice)
{
    for (const bool deleteIt : { false, true }) {
        SCOPED_TRACE(deleteIt ? "delete while open" : "Close");
        const int fdsBefore = OpenFdCount();
        const auto tasksBefore = TaskIds();
        ASSERT_TRUE(Open());
        EXPECT_EQ(NewTasks(tasksBefore, TaskIds()).size(), 1u) << "one reader thread per open";
        EXPECT_FALSE(LockIsFree(pty.SlavePath()));
        if (deleteIt) {
            owner.Run([&] { port = std::make_unique<SerialPort>(); });
        } else {
            EXPECT_TRUE(Close());
        }
        EXPECT_EQ(TaskIds(), tasksBefore);
        EXPECT_EQ(OpenFdCount(), fdsBefore);
        EXPECT_TRUE(LockIsFree(pty.SlavePath())) << "lock or exclusive mode kept after close";
    }
    EXPECT_TRUE(owner.window.Losses().empty()) << "closing the port was reported as a lost device";
}

TEST_F(SerialPortTest, ReopenStartsAFreshReader)
{
    const auto tasksBefore = TaskIds();
    ASSERT_TRUE(Open());
    const auto firstReader = NewTasks(tasksBefore, TaskIds());
    ASSERT_EQ(firstReader.size(), 1u);
    ASSERT_TRUE(pty.Send(Text("first,")));
    ASSERT_TRUE(owner.window.WaitForBytes(6, 5s));
    EXPECT_TRUE(Close());
    EXPECT_TRUE(WaitForTaskEnd(*firstReader.begin(), 0ms)) << "Close returned before its reader ended";

    ASSERT_TRUE(Open());
    const auto secondReader = NewTasks(tasksBefore, TaskIds());
    ASSERT_EQ(secondReader.size(), 1u);
    EXPECT_NE(*secondReader.begin(), *firstReader.begin());
    ASSERT_TRUE(pty.Send(Text("second")));
    ASSERT_TRUE(owner.window.WaitForBytes(12, 5s));
    EXPECT_EQ(owner.window.Bytes(), Text("first,second"));
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, SecondOpenIsRefusedWhileTheDeviceIsInUseAndDisturbsNothing)
{
    ASSERT_TRUE(Open());
    EXPECT_FALSE(Open()) << "the same object opened twice";
    EXPECT_EQ(port->LastError(), EBUSY);
    SerialPort second;
    bool secondOpened = true;
    owner.Run([&] { secondOpened = second.Open(pty.SlaveName().c_str(), 9600, 8, 0, 0); });
    EXPECT_FALSE(secondOpened) << "another object opened the device in use";
    EXPECT_EQ(second.LastError(), EWOULDBLOCK);

    ASSERT_TRUE(pty.Send(Text("still mine")));
    EXPECT_TRUE(owner.window.WaitForBytes(10, 5s));
    EXPECT_EQ(owner.window.Bytes(), Text("still mine"));
    EXPECT_TRUE(Close());

    owner.Run([&] { secondOpened = second.Open(pty.SlaveName().c_str(), 9600, 8, 0, 0); });
    EXPECT_TRUE(secondOpened);
    owner.Run([&] { EXPECT_TRUE(second.Close()); });
}

TEST_F(SerialPortTest, AnotherProcessCannotOpenTheDeviceInUse)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(RunChildThatOpens(pty.SlavePath()), ChildRefusedInUse);
    EXPECT_TRUE(Close());
    EXPECT_EQ(RunChildThatOpens(pty.SlavePath()), ChildOpened);
}

TEST_F(SerialPortTest, ComNameOpensTheDeviceItsVariableNames)
{
    setenv("COM7", pty.SlavePath().c_str(), 1);
    const bool opened = Open(u"COM7:");
    unsetenv("COM7");
    ASSERT_TRUE(opened) << std::strerror(port->LastError());
    ASSERT_TRUE(pty.Send(Text("OK\r\n")));
    EXPECT_TRUE(owner.window.WaitForBytes(4, 5s));
    EXPECT_EQ(owner.window.Bytes(), Text("OK\r\n"));
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, WriteToADeviceThatTakesNothingGivesUpAndStillSucceeds)
{
    ASSERT_TRUE(Open());
    // Fill the line towards the far end, which never reads.
    ASSERT_EQ(fcntl(pty.Slave(), F_SETFL, fcntl(pty.Slave(), F_GETFL) | O_NONBLOCK), 0);
    // The pty moves bytes to the far side in the background, so fill until a pause frees no room.
    const std::uint8_t filler = 'x';
    for (int round = 0; round < 100; ++round) {
        int taken = 0;
        while (write(pty.Slave(), &filler, 1) == 1)
            ++taken;
        ASSERT_EQ(errno, EAGAIN);
        if (round > 0 && taken == 0)
            break;
        std::this_thread::sleep_for(20ms);
    }

    const Clock::time_point start = Clock::now();
    EXPECT_TRUE(Write(PatternBytes(14)));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 100ms) << "gave up before the 120 ms a 14-byte write may take";
    EXPECT_LT(took, 3s);
    EXPECT_TRUE(Close());
}

TEST_F(SerialPortTest, FailedReaderSetUpUndoesTheOpen)
{
    // A first open and close takes every path the failing open takes: nothing on them needs a new
    // descriptor later (the undefined-behaviour checker, for one, needs a pipe on its first look
    // at a class).
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Close());
    // Leave room for exactly one more descriptor: the device opens, the stop event cannot.
    const int fdsBefore = OpenFdCount();
    const int lowestFree = dup(0);
    ASSERT_GE(lowestFree, 0);
    close(lowestFree);
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowestFree) + 1;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool opened = Open();
    setrlimit(RLIMIT_NOFILE, &saved);

    EXPECT_FALSE(opened);
    EXPECT_EQ(port->LastError(), EMFILE);
    EXPECT_FALSE(Write(Text("AT\r")));
    EXPECT_FALSE(Close());
    EXPECT_EQ(OpenFdCount(), fdsBefore);
    EXPECT_TRUE(LockIsFree(pty.SlavePath()));
}

TEST_F(SerialPortTest, ClosingOrDeletingFromInsideTheHandlerOfItsOwnChunk)
{
    for (const bool deleteIt : { false, true }) {
        SCOPED_TRACE(deleteIt ? "delete in handler" : "Close in handler");
        Owner local;
        if (!port)
            port = std::make_unique<SerialPort>();
        const int fdsBefore = OpenFdCount();
        const auto tasksBefore = TaskIds();
        bool closed = false;
        local.window.onChunk = [&](const std::uint8_t*, LPARAM) {
            if (!port)
                return;
            if (deleteIt) {
                port.reset();
                closed = true;
            } else {
                closed = port->Close();
            }
        };
        bool opened = false;
        local.Run([&] {
            port->SetNotifyTarget(local.Handle(), ChunkMessage);
            opened = port->Open(pty.SlaveName().c_str(), 9600, 8, 0, 0);
        });
        ASSERT_TRUE(opened);
        const std::vector<std::uint8_t> first = PatternBytes(20, deleteIt ? 7 : 8);
        ASSERT_TRUE(pty.Send(first));
        ASSERT_TRUE(local.window.WaitForChunks(1, 10s));
        // The window copies the chunk only after the handler has closed the port under it.
        ASSERT_EQ(local.window.Chunks().size(), 1u);
        EXPECT_EQ(local.window.Chunks()[0].bytes,
            std::vector<std::uint8_t>(first.begin(), first.begin() + local.window.Chunks()[0].count));
        local.Run([&] { EXPECT_TRUE(closed); });

        ASSERT_TRUE(pty.Send(Text("after")));
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(local.window.Chunks().size(), 1u) << "a chunk reached the owner after the close";
        EXPECT_EQ(TaskIds(), tasksBefore);
        EXPECT_EQ(OpenFdCount(), fdsBefore);
        EXPECT_TRUE(LockIsFree(pty.SlavePath()));
    }
}

TEST_F(SerialPortTest, VanishedDeviceEndsTheReaderWithoutSpinning)
{
    const auto tasksBefore = TaskIds();
    ASSERT_TRUE(Open());
    const auto reader = NewTasks(tasksBefore, TaskIds());
    ASSERT_EQ(reader.size(), 1u);

    const auto cpuBefore = ProcessCpuTime();
    pty.CloseMaster();
    std::this_thread::sleep_for(1s);
    const auto cpuUsed = ProcessCpuTime() - cpuBefore;
    EXPECT_LT(cpuUsed, 300ms) << "something spins once the far end is gone";
    EXPECT_TRUE(WaitForTaskEnd(*reader.begin(), 5s)) << "the reader goes on after the device vanished";

    EXPECT_TRUE(Write(Text("AT\r"))) << "the port is still open until its owner closes it";
    EXPECT_TRUE(Close());
    EXPECT_EQ(TaskIds(), tasksBefore);
}
