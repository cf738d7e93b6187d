// measure_serial [seconds]: figures of the serial link over a pseudo-terminal.
//
//   latency  last byte of a burst written to the pty -> its chunk handled on the owner thread,
//            median and p99, for 1-byte and 60-byte bursts
//   cpu      the reader thread's CPU time while the port is open and silent, and while a paced
//            9600-baud NMEA stream flows (a receiver capture from tests/data)
//
// seconds (default 10) is the length of each CPU run.

#include "serial/SerialPort.h"
#include "support/WorkerThread.h"
#include "ui/MessageWindow.h"
#include "ui/WindowRegistry.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr UINT ChunkMessage = WM_USER + 1;

// Counts handled bytes and notes when the last chunk was handled.
class TimingWindow final : public MessageWindow {
public:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM lParam) override
    {
        if (message != ChunkMessage)
            return 0;
        {
            std::lock_guard guard(lock);
            bytes += static_cast<std::size_t>(lParam);
            ++chunks;
            lastHandled = Clock::now();
        }
        arrived.notify_all();
        return 0;
    }

    bool WaitForBytes(std::size_t total, Clock::time_point* handled)
    {
        std::unique_lock guard(lock);
        const bool all = arrived.wait_for(guard, 5s, [&] { return bytes >= total; });
        *handled = lastHandled;
        return all;
    }

    std::size_t Chunks()
    {
        std::lock_guard guard(lock);
        return chunks;
    }

private:
    std::mutex lock;
    std::condition_variable arrived;
    std::size_t bytes = 0;
    std::size_t chunks = 0;
    Clock::time_point lastHandled;
};

std::set<pid_t> TaskIds()
{
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    return ids;
}

// CPU time of one thread of this process, by the kernel's per-thread clock id.
std::chrono::nanoseconds ThreadCpuTime(pid_t thread)
{
    const clockid_t clock = (~static_cast<clockid_t>(thread) << 3) | 6;
    timespec used {};
    if (clock_gettime(clock, &used) != 0)
        return std::chrono::nanoseconds(-1);
    return std::chrono::seconds(used.tv_sec) + std::chrono::nanoseconds(used.tv_nsec);
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t put = write(fd, data, length);
        if (put < 0) {
            pollfd entry { fd, POLLOUT, 0 };
            if (poll(&entry, 1, 1000) <= 0)
                return false;
            continue;
        }
        data += put;
        length -= static_cast<std::size_t>(put);
    }
    return true;
}

double Milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

struct Link {
    WorkerThread owner;
    TimingWindow window;
    HWND handle {};
    SerialPort port;
    int master = -1;
    pid_t reader = 0;

    bool Open()
    {
        int slave = -1;
        char name[256] {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        termios raw {};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        const std::string path = name;
        const std::u16string portName(path.begin(), path.end());
        const std::set<pid_t> before = TaskIds();
        bool opened = false;
        owner.Run([&] {
            handle = WindowRegistry::Register(&window, &owner);
            port.SetNotifyTarget(handle, ChunkMessage);
            opened = port.Open(portName.c_str(), 9600, 8, 0, 0);
        });
        close(slave);
        for (const pid_t task : TaskIds())
            if (!before.contains(task))
                reader = task;
        return opened && reader != 0;
    }

    void Close()
    {
        owner.Run([&] {
            (void)port.Close();
            WindowRegistry::Unregister(handle);
        });
        close(master);
    }
};

void MeasureLatency(std::size_t burst, int rounds)
{
    Link link;
    if (!link.Open()) {
        std::printf("latency %zu-byte burst: cannot open a pty\n", burst);
        return;
    }
    std::vector<double> latencies;
    const std::vector<std::uint8_t> bytes(burst, 'A');
    std::size_t total = 0;
    for (int round = 0; round < rounds; ++round) {
        // Let the reader settle back into its wait for the first byte.
        std::this_thread::sleep_for(30ms);
        // Taken before the write, which carries the burst's last byte: the figure errs on the long side.
        const Clock::time_point written = Clock::now();
        if (!WriteAll(link.master, bytes.data(), bytes.size()))
            break;
        total += burst;
        Clock::time_point handled;
        if (!link.window.WaitForBytes(total, &handled))
            break;
        latencies.push_back(Milliseconds(handled - written));
    }
    link.Close();
    if (latencies.empty()) {
        std::printf("latency %zu-byte burst: nothing arrived\n", burst);
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies[latencies.size() / 2];
    const double p99 = latencies[std::min(latencies.size() - 1, latencies.size() * 99 / 100)];
    std::printf("latency %2zu-byte burst: median %7.2f ms  p99 %7.2f ms  (%zu rounds)\n", burst, median, p99,
        latencies.size());
}

void MeasureSilentCpu(std::chrono::seconds duration)
{
    Link link;
    if (!link.Open()) {
        std::printf("cpu silent: cannot open a pty\n");
        return;
    }
    const auto before = ThreadCpuTime(link.reader);
    std::this_thread::sleep_for(duration);
    const auto used = ThreadCpuTime(link.reader) - before;
    link.Close();
    std::printf("cpu silent %llds: reader %.3f ms (target < 10 ms)\n",
        static_cast<long long>(duration.count()), Milliseconds(used));
}

// The receiver's byte stream from a capture, its comment lines dropped; generated sentences when
// the capture cannot be read.
std::string NmeaStream(std::string* source)
{
    const std::filesystem::path capture = std::filesystem::path(TEST_DATA_DIR) / "nmea" / "telit-he910.log";
    std::ifstream in(capture, std::ios::binary);
    std::string stream;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#')
            stream += line + "\n";
    }
    if (!stream.empty()) {
        *source = capture.filename().string();
        return stream;
    }
    *source = "generated sentences";
    for (int second = 0; second < 600; ++second) {
        stream += "$GPRMC,0" + std::to_string(100000 + second)
            + ".000,A,4916.4500,N,12311.1200,W,000.5,054.7,191194,020.3,E,A*68\r\n";
        stream += "$GPGGA,0" + std::to_string(100000 + second)
            + ".000,4916.4500,N,12311.1200,W,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    }
    return stream;
}

void MeasureStreamCpu(std::chrono::seconds duration)
{
    Link link;
    if (!link.Open()) {
        std::printf("cpu stream: cannot open a pty\n");
        return;
    }
    std::string source;
    const std::string stream = NmeaStream(&source);
    // 9600 baud with 8N1 is 960 bytes a second; ten bytes every 10.4 ms keeps that pace.
    constexpr std::size_t Step = 10;
    constexpr auto StepTime = std::chrono::microseconds(10417);
    const auto before = ThreadCpuTime(link.reader);
    const Clock::time_point start = Clock::now();
    Clock::time_point next = start;
    std::size_t offset = 0;
    std::size_t sent = 0;
    while (Clock::now() - start < duration) {
        const std::size_t length = std::min(Step, stream.size() - offset);
        if (!WriteAll(link.master, reinterpret_cast<const std::uint8_t*>(stream.data()) + offset, length))
            break;
        sent += length;
        offset = (offset + length) % stream.size();
        next += StepTime;
        std::this_thread::sleep_until(next);
    }
    const auto elapsed = Clock::now() - start;
    const auto used = ThreadCpuTime(link.reader) - before;
    const std::size_t chunks = link.window.Chunks();
    link.Close();
    std::printf(
        "cpu 9600-baud NMEA stream %llds (%s, %zu bytes, %zu chunks): reader %.3f ms = %.4f %% of a core "
        "(target < 1 %%)\n",
        static_cast<long long>(duration.count()), source.c_str(), sent, chunks, Milliseconds(used),
        100.0 * Milliseconds(used) / Milliseconds(elapsed));
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: measure_serial [seconds per CPU run, default 10]\n");
        return 2;
    }
    MeasureLatency(1, 50);
    MeasureLatency(60, 200);
    MeasureSilentCpu(std::chrono::seconds(seconds));
    MeasureStreamCpu(std::chrono::seconds(seconds));
    return 0;
}
