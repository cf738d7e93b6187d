// An adapter pulled out in the middle of a stream and plugged in again: the device comes back as a
// new terminal behind the same stable name (a udev symlink on a real machine, a symlink here).

#include "serial/SerialPort.h"

#include "SerialTestSupport.h"
#include "serial/FaultSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

using namespace serialtest;

namespace {

// Points the stable name at the terminal that plays the device now.
bool PlugIn(const std::string& link, const PtyPair& device)
{
    ::unlink(link.c_str());
    return ::symlink(device.SlavePath().c_str(), link.c_str()) == 0;
}

} // namespace

TEST(SerialPortUnplug, TheReaderEndsQuietlyAndTheSameNameOpensTheReturnedDevice)
{
    fault::TemporaryDirectory dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string link = dir.path + "/ttyGPS";
    const std::u16string name(link.begin(), link.end());
    Owner owner;
    auto port = std::make_unique<SerialPort>();
    const int fdsBefore = OpenFdCount();
    const auto tasksBefore = TaskIds();

    for (int plug = 0; plug < 3; ++plug) {
        SCOPED_TRACE(testing::Message() << "plugged in " << plug + 1 << " times");
        PtyPair device;
        ASSERT_TRUE(device.IsOpen());
        ASSERT_TRUE(PlugIn(link, device));
        const std::size_t receivedBefore = owner.window.ByteCount();
        bool opened = false;
        owner.Run([&] {
            port->SetNotifyTarget(owner.Handle(), ChunkMessage);
            port->SetLostMessage(LostMessage);
            opened = port->Open(name.c_str(), 9600, 8, 0, 0);
        });
        ASSERT_TRUE(opened) << "errno " << port->LastError();
        const auto reader = NewTasks(tasksBefore, TaskIds());
        ASSERT_EQ(reader.size(), 1u);

        // Mid-stream: a whole piece arrives, then the far end goes while more is on its way.
        const std::vector<std::uint8_t> piece = PatternBytes(500, 7 + plug);
        ASSERT_TRUE(device.Send(piece));
        ASSERT_TRUE(owner.window.WaitForBytes(receivedBefore + piece.size(), 10s));
        const std::vector<std::uint8_t> all = owner.window.Bytes();
        EXPECT_EQ(std::vector<std::uint8_t>(all.end() - static_cast<std::ptrdiff_t>(piece.size()), all.end()),
            piece)
            << "the stream before the unplug arrived damaged";
        ASSERT_TRUE(device.Send(PatternBytes(40, 99)));
        device.CloseMaster();
        ::unlink(link.c_str());

        const auto cpuBefore = ProcessCpuTime();
        EXPECT_TRUE(WaitForTaskEnd(*reader.begin(), 5s)) << "the reader goes on after the device vanished";
        std::this_thread::sleep_for(500ms);
        EXPECT_LT(ProcessCpuTime() - cpuBefore, 300ms) << "something spins once the device is gone";
        ASSERT_TRUE(owner.window.WaitForLosses(static_cast<std::size_t>(plug + 1), 1s));
        EXPECT_EQ(owner.window.Losses().size(), static_cast<std::size_t>(plug + 1)) << "the loss was told twice";
        EXPECT_EQ(owner.window.Losses().back(), owner.window.ByteCount()) << "a chunk came after the loss";

        bool closed = false;
        const auto closing = Clock::now();
        owner.Run([&] { closed = port->Close(); });
        EXPECT_TRUE(closed) << "the owner still held an open port and must be told it closed";
        // The reader was already done: the second-long pause for a busy reader is not owed.
        EXPECT_LT(Clock::now() - closing, 900ms) << "closing an unplugged device froze its owner";
        EXPECT_EQ(TaskIds(), tasksBefore);
    }
    // While unplugged the name names nothing: a clear failure, not a hang.
    bool opened = true;
    owner.Run([&] { opened = port->Open(name.c_str(), 9600, 8, 0, 0); });
    EXPECT_FALSE(opened);
    EXPECT_EQ(port->LastError(), ENOENT);
    owner.Run([&] { port.reset(); });
    EXPECT_EQ(OpenFdCount(), fdsBefore) << "a descriptor of an unplugged device was kept";
}
