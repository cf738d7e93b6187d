#pragma once

#include "support/WorkerThread.h"
#include "ui/MessageWindow.h"
#include "ui/WindowRegistry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace serialtest {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr UINT ChunkMessage = WM_USER + 1;
constexpr UINT LostMessage = WM_USER + 2;

// A pseudo-terminal pair: the master plays the device's far end, the slave is the "serial port".
// The test keeps a slave descriptor of its own so the pair outlives every close of the port.
class PtyPair {
public:
    PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;
    ~PtyPair();

    bool IsOpen() const { return master >= 0; }
    const std::string& SlavePath() const { return slavePath; }
    std::u16string SlaveName() const;
    int Master() const { return master; }
    int Slave() const { return slave; }
    // The far end goes away, as when a USB adapter is pulled.
    void CloseMaster();
    void CloseSlave();

    // Writes all of data to the master, waiting while the pty is full; false after timeout.
    bool Send(const std::vector<std::uint8_t>& data, std::chrono::milliseconds timeout = 10s);
    // Reads from the master until count bytes arrived or timeout passed.
    std::vector<std::uint8_t> Receive(std::size_t count, std::chrono::milliseconds timeout);

private:
    int master = -1;
    int slave = -1;
    std::string slavePath;
};

struct Chunk {
    std::vector<std::uint8_t> bytes;
    LPARAM count;
    std::thread::id thread;
    Clock::time_point at;
};

// The owner's window: records every chunk the port delivers, with the count and the thread it ran
// on. onChunk runs first, inside the handler, with the buffer as delivered; the bytes are copied
// only after it returns, so a test can check that the buffer outlives what onChunk does.
class ChunkWindow final : public MessageWindow {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    bool WaitForBytes(std::size_t total, std::chrono::milliseconds timeout);
    bool WaitForChunks(std::size_t count, std::chrono::milliseconds timeout);
    std::vector<Chunk> Chunks();
    std::vector<std::uint8_t> Bytes();
    std::size_t ByteCount();
    // The byte count at each report of a lost device, in order; waits until count reports came.
    bool WaitForLosses(std::size_t count, std::chrono::milliseconds timeout);
    std::vector<std::size_t> Losses();

    std::function<void(const std::uint8_t* bytes, LPARAM count)> onChunk;

private:
    std::mutex lock;
    std::condition_variable arrived;
    std::vector<Chunk> chunks;
    std::size_t bytes = 0;
    std::vector<std::size_t> losses;
};

// Owner thread with a registered ChunkWindow; the window is unregistered when it goes.
class Owner {
public:
    Owner();
    ~Owner();
    void Run(const std::function<void()>& job) { thread.Run(job); }
    HWND Handle() const { return handle; }
    std::thread::id Id() const { return thread.Id(); }

    WorkerThread thread;
    ChunkWindow window;

private:
    HWND handle {};
};

std::set<pid_t> TaskIds();
int OpenFdCount();
// Bytes 0..count-1 of a fixed pseudo-random sequence, so that a lost, repeated or reordered byte
// shows as a mismatch.
std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint32_t seed = 1);
// The threads that appeared between two task listings.
std::set<pid_t> NewTasks(const std::set<pid_t>& before, const std::set<pid_t>& after);
// Waits until the task has ended; false after timeout.
bool WaitForTaskEnd(pid_t task, std::chrono::milliseconds timeout);
// Process and thread CPU time.
std::chrono::nanoseconds ProcessCpuTime();

} // namespace serialtest
