#include "serial/SerialPort.h"

#include "SerialTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

using namespace serialtest;

namespace {

// scripts/serial-stress raises the count for a longer run; every cycle costs Close's one second.
int OpenCloseCycles()
{
    const char* configured = std::getenv("SERIAL_STRESS_CYCLES");
    const int cycles = configured ? std::atoi(configured) : 0;
    return cycles > 0 ? cycles : 20;
}

// Writes the pattern to the master over and over until stopped, whether or not anyone reads.
class Flooder {
public:
    explicit Flooder(int masterFd)
        : master(masterFd)
        , thread([this] { Loop(); })
    {
    }
    ~Flooder()
    {
        stop = true;
        thread.join();
    }

private:
    void Loop()
    {
        const std::vector<std::uint8_t> pattern = PatternBytes(4096, 3);
        while (!stop) {
            pollfd entry { master, POLLOUT, 0 };
            if (poll(&entry, 1, 50) > 0 && (entry.revents & POLLOUT))
                (void)!write(master, pattern.data(), pattern.size());
        }
    }

    int master;
    std::atomic<bool> stop = false;
    std::thread thread;
};

} // namespace

TEST(SerialPortStress, MegabyteArrivesOnceAndInOrderWhileTheOwnerIsSlow)
{
    Owner owner;
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    // Every hundredth chunk the owner dawdles, so the reader and the pty both fill up and wait.
    int handled = 0;
    owner.window.onChunk = [&](const std::uint8_t*, LPARAM) {
        if (++handled % 100 == 0)
            std::this_thread::sleep_for(5ms);
    };
    auto port = std::make_unique<SerialPort>();
    bool opened = false;
    owner.Run([&] {
        port->SetNotifyTarget(owner.Handle(), ChunkMessage);
        opened = port->Open(pty.SlaveName().c_str(), 4000000, 8, 0, 0);
    });
    ASSERT_TRUE(opened);

    const std::vector<std::uint8_t> flood = PatternBytes(1 << 20, 11);
    std::thread writer([&] { EXPECT_TRUE(pty.Send(flood, 120s)); });
    const bool all = owner.window.WaitForBytes(flood.size(), 180s);
    writer.join();
    ASSERT_TRUE(all) << "only " << owner.window.ByteCount() << " bytes arrived";
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(owner.window.ByteCount(), flood.size()) << "bytes delivered twice";
    EXPECT_TRUE(owner.window.Bytes() == flood) << "bytes lost, repeated or out of order";
    for (const Chunk& chunk : owner.window.Chunks())
        ASSERT_TRUE(chunk.count >= 1 && chunk.count <= 60) << chunk.count;
    owner.Run([&] { port.reset(); });
}

TEST(SerialPortStress, OpenAndCloseWhileTheFarEndFloodsLeavesNothingBehind)
{
    Owner owner;
    PtyPair pty;
    ASSERT_TRUE(pty.IsOpen());
    auto port = std::make_unique<SerialPort>();
    // Handled on the owner thread, like the flag: a chunk that comes in while the port is closed was
    // delivered late, into an owner that no longer expects it.
    bool portOpen = false;
    int lateChunks = 0;
    owner.window.onChunk = [&](const std::uint8_t*, LPARAM) {
        if (!portOpen)
            ++lateChunks;
        std::this_thread::sleep_for(1ms);
    };
    const int fdsBefore = OpenFdCount();
    const auto tasksBefore = TaskIds();
    {
        const Flooder flooder(pty.Master());
        const int cycles = OpenCloseCycles();
        for (int cycle = 0; cycle < cycles; ++cycle) {
            SCOPED_TRACE("cycle " + std::to_string(cycle));
            const std::size_t chunksBefore = owner.window.Chunks().size();
            bool opened = false;
            owner.Run([&] {
                port->SetNotifyTarget(owner.Handle(), ChunkMessage);
                opened = port->Open(pty.SlaveName().c_str(), 57600, 8, 0, 0);
                portOpen = opened;
            });
            ASSERT_TRUE(opened);
            EXPECT_TRUE(owner.window.WaitForChunks(chunksBefore + 1, 10s)) << "no chunk while flooded";
            bool closed = false;
            owner.Run([&] {
                closed = port->Close();
                portOpen = false;
            });
            ASSERT_TRUE(closed);
        }
    }
    owner.Run([&] { EXPECT_EQ(lateChunks, 0); });
    EXPECT_EQ(OpenFdCount(), fdsBefore);
    EXPECT_EQ(TaskIds(), tasksBefore);
}
