#include "SerialTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace serialtest {

namespace {

    int MillisecondsUntil(Clock::time_point deadline)
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return static_cast<int>(std::max<long long>(left, 0));
    }

} // namespace

PtyPair::PtyPair()
{
    char name[256] {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = slave = -1;
        return;
    }
    slavePath = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Raw on both sides from the start, so that nothing written before the port opens is echoed or
    // translated on the master side.
    termios raw {};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
}

PtyPair::~PtyPair()
{
    CloseMaster();
    CloseSlave();
}

std::u16string PtyPair::SlaveName() const
{
    return std::u16string(slavePath.begin(), slavePath.end());
}

void PtyPair::CloseMaster()
{
    if (master >= 0)
        close(master);
    master = -1;
}

void PtyPair::CloseSlave()
{
    if (slave >= 0)
        close(slave);
    slave = -1;
}

bool PtyPair::Send(const std::vector<std::uint8_t>& data, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t put = write(master, data.data() + sent, data.size() - sent);
        if (put > 0) {
            sent += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd entry { master, POLLOUT, 0 };
        if (poll(&entry, 1, MillisecondsUntil(deadline)) == 0)
            return false;
    }
    return true;
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> got;
    while (got.size() < count) {
        pollfd entry { master, POLLIN, 0 };
        if (poll(&entry, 1, MillisecondsUntil(deadline)) <= 0)
            break;
        std::uint8_t buffer[256];
        const ssize_t n = read(master, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.insert(got.end(), buffer, buffer + n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return got;
}

LRESULT ChunkWindow::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LostMessage && wParam == 0 && lParam == 0) {
        std::lock_guard guard(lock);
        losses.push_back(bytes);
        arrived.notify_all();
    }
    if (message != ChunkMessage)
        return 0;
    const auto* data = reinterpret_cast<const std::uint8_t*>(wParam);
    if (onChunk)
        onChunk(data, lParam);
    Chunk chunk { {}, lParam, std::this_thread::get_id(), Clock::now() };
    if (lParam > 0)
        chunk.bytes.assign(data, data + lParam);
    {
        std::lock_guard guard(lock);
        bytes += chunk.bytes.size();
        chunks.push_back(std::move(chunk));
    }
    arrived.notify_all();
    return 0;
}

bool ChunkWindow::WaitForBytes(std::size_t total, std::chrono::milliseconds timeout)
{
    std::unique_lock guard(lock);
    return arrived.wait_for(guard, timeout, [&] { return bytes >= total; });
}

bool ChunkWindow::WaitForLosses(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock guard(lock);
    return arrived.wait_for(guard, timeout, [&] { return losses.size() >= count; });
}

std::vector<std::size_t> ChunkWindow::Losses()
{
    std::lock_guard guard(lock);
    return losses;
}

bool ChunkWindow::WaitForChunks(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock guard(lock);
    return arrived.wait_for(guard, timeout, [&] { return chunks.size() >= count; });
}

std::vector<Chunk> ChunkWindow::Chunks()
{
    std::lock_guard guard(lock);
    return chunks;
}

std::vector<std::uint8_t> ChunkWindow::Bytes()
{
    std::lock_guard guard(lock);
    std::vector<std::uint8_t> all;
    all.reserve(bytes);
    for (const Chunk& chunk : chunks)
        all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
    return all;
}

std::size_t ChunkWindow::ByteCount()
{
    std::lock_guard guard(lock);
    return bytes;
}

Owner::Owner()
{
    thread.Run([&] { handle = WindowRegistry::Register(&window, &thread); });
}

Owner::~Owner()
{
    thread.Run([&] { WindowRegistry::Unregister(handle); });
}

std::set<pid_t> TaskIds()
{
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    return ids;
}

int OpenFdCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

std::vector<std::uint8_t> PatternBytes(std::size_t count, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(count);
    std::uint32_t state = seed;
    for (std::uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::set<pid_t> NewTasks(const std::set<pid_t>& before, const std::set<pid_t>& after)
{
    std::set<pid_t> added;
    std::set_difference(
        after.begin(), after.end(), before.begin(), before.end(), std::inserter(added, added.end()));
    return added;
}

bool WaitForTaskEnd(pid_t task, std::chrono::milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    const std::filesystem::path path = "/proc/self/task/" + std::to_string(task);
    while (std::filesystem::exists(path)) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::chrono::nanoseconds ProcessCpuTime()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace serialtest
