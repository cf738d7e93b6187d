#include "nmea/NmeaCapture.h"
#include "skyprobe/ReceiverPty.h"

#include "skyprobe/SkyprobeDialog.h"
#include "ui/DialogDriver.h"
#include "ui/DialogFont.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <time.h>

// Usage: measure_skyprobe echo        per-chunk cost of the echo with an empty log and a full one
//        measure_skyprobe cpu [SEC]   CPU and resident memory of the dialog while a pty feeds a
//                                     capture at 9600-baud pace with the echo on (default 60 s)
//        measure_skyprobe feed [MB]   a receiver on a pty for another program (skyprobe itself):
//                                     prints the pty's path, then writes MB megabytes of the
//                                     capture as fast as they are read (default 83, a day at 9600)
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise. Reads the receiver capture
// telit-he910.log from the test data.

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int ChunkSize = 60;
// 9600 baud with 8 data bits, no parity and one stop bit: ten bit times per byte.
constexpr int BytesPerSecond = 960;
constexpr const char* CapturePath = TEST_DATA_DIR "/nmea/telit-he910.log";

// The capture as an endless stream of chunks, the way the serial link hands it over.
class ChunkSource {
public:
    explicit ChunkSource(std::string bytes)
        : stream(std::move(bytes))
    {
    }
    const char* Next()
    {
        if (position + ChunkSize > stream.size())
            position = 0;
        const char* chunk = stream.data() + position;
        position += ChunkSize;
        return chunk;
    }

private:
    std::string stream;
    std::size_t position = 0;
};

int LineBreaks(const WideString& text)
{
    const std::u16string_view view = text.View();
    return static_cast<int>(std::count(view.begin(), view.end(), u'\n'));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile99(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * 99 / 100)];
}

double Microseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::micro>(duration).count();
}

struct ChunkCost {
    std::vector<double> handler; // OnSerialData through the message map, control update included
    std::vector<double> withEvents; // the same plus the event processing that follows (repaint, layout)
};

ChunkCost MeasureChunks(SkyprobeDialog& dialog, ChunkSource& source, int count)
{
    ChunkCost cost;
    for (int i = 0; i < count; ++i) {
        const char* chunk = source.Next();
        const auto start = Clock::now();
        dialog.WindowProc(SerialDataMessage, reinterpret_cast<WPARAM>(chunk), ChunkSize);
        const auto handled = Clock::now();
        QCoreApplication::processEvents();
        const auto settled = Clock::now();
        cost.handler.push_back(Microseconds(handled - start));
        cost.withEvents.push_back(Microseconds(settled - start));
    }
    return cost;
}

void Report(const char* what, const ChunkCost& cost)
{
    std::printf("%-28s handler median %8.2f us p99 %8.2f us | with events median %8.2f us p99 %8.2f us\n",
        what, Median(cost.handler), Percentile99(cost.handler), Median(cost.withEvents),
        Percentile99(cost.withEvents));
}

int MeasureEcho(const std::string& capture)
{
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdShowMessages);
    ChunkSource source(capture);
    constexpr int Samples = 2000;

    driver.Click(IdClearMessages);
    const ChunkCost empty = MeasureChunks(dialog, source, Samples);
    driver.Click(IdClearMessages);
    // Up to the line limit, so that the measured chunks also meet the trimming of the oldest lines.
    const int limit = dialog.logBinding.LineLimit();
    for (int i = 0; LineBreaks(dialog.logText) < limit; ++i) {
        dialog.WindowProc(SerialDataMessage, reinterpret_cast<WPARAM>(source.Next()), ChunkSize);
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    const int grown = dialog.logText.GetLength();
    const ChunkCost full = MeasureChunks(dialog, source, Samples);

    // What the echo would cost if every chunk replaced the control's whole text: a few samples only.
    std::vector<double> wholeText;
    for (int i = 0; i < 3; ++i) {
        const auto start = Clock::now();
        dialog.SetDlgItemText(IdLog, dialog.logText);
        wholeText.push_back(Microseconds(Clock::now() - start));
    }

    std::printf(
        "per-chunk echo cost, %d-byte chunks of %s, %d samples each\n", ChunkSize, CapturePath, Samples);
    Report("log empty:", empty);
    Report("log full:", full);
    std::printf("log before the second run: %d lines (the limit), %d characters\n", limit, grown);
    std::printf("ratio full / empty: handler %.2f, with events %.2f (target < 1.5)\n",
        Median(full.handler) / Median(empty.handler), Median(full.withEvents) / Median(empty.withEvents));
    std::printf("for comparison, replacing the whole full log once: median %.0f us\n", Median(wholeText));
    return 0;
}

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

int MeasureCpu(const std::string& capture, int seconds)
{
    ReceiverPty pty;
    if (!pty.IsOpen()) {
        std::fprintf(stderr, "measure_skyprobe: cannot open a pseudo-terminal\n");
        return 1;
    }
    pty.UseAsCom4();
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdShowMessages);
    driver.Click(IdOpenClose);
    if (!dialog.isOpen) {
        std::fprintf(stderr, "measure_skyprobe: the dialog could not open %s\n", pty.SlavePath().c_str());
        return 1;
    }
    const long residentBefore = ResidentKiB();

    // The receiver: the capture over and over at line pace, in 10 ms steps as a UART would trickle it.
    std::atomic<bool> stop { false };
    double feederCpu = 0;
    std::size_t fed = 0;
    std::thread feeder([&] {
        const auto start = Clock::now();
        std::size_t position = 0;
        while (!stop) {
            std::this_thread::sleep_for(10ms);
            const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            const auto due = static_cast<std::size_t>(elapsed * BytesPerSecond);
            while (fed < due) {
                if (position == capture.size())
                    position = 0;
                const std::size_t size = std::min(due - fed, capture.size() - position);
                if (!pty.Send(capture.substr(position, size), 1s))
                    break;
                position += size;
                fed += size;
            }
            pty.Pending();
        }
        feederCpu = ThreadCpuSeconds();
    });

    const double cpuBefore = CpuSeconds();
    const auto wallBefore = Clock::now();
    QEventLoop loop;
    QTimer::singleShot(std::chrono::seconds(seconds), &loop, &QEventLoop::quit);
    loop.exec();
    stop = true;
    feeder.join();
    const double cpu = CpuSeconds() - cpuBefore - feederCpu;
    const double wall = std::chrono::duration<double>(Clock::now() - wallBefore).count();

    std::printf("%.1f s with the echo on, %zu bytes fed at %d bytes/s, log %d characters\n", wall, fed,
        BytesPerSecond, dialog.logText.GetLength());
    std::printf("CPU of the dialog (UI and reader threads, feeder excluded): %.2f s = %.2f%% of one core\n",
        cpu, 100.0 * cpu / wall);
    std::printf(
        "resident memory: %ld KiB after opening, %ld KiB after the run\n", residentBefore, ResidentKiB());
    std::printf("display after the run: %s %s %s\n", dialog.dateText.ToAscii().c_str(),
        dialog.timeText.ToAscii().c_str(), dialog.latitudeText.ToAscii().c_str());
    return 0;
}

// A receiver that talks as fast as the program reads: prints the terminal's path, waits until a
// program has opened it, then writes megabytes (10^6 bytes) of the capture over and over, telling
// after each megabyte how long it took so far. Stays until the program lets go of the terminal.
int FeedAtFullSpeed(const std::string& capture, long megabytes)
{
    ReceiverPty pty;
    if (!pty.IsOpen()) {
        std::fprintf(stderr, "measure_skyprobe: cannot open a pseudo-terminal\n");
        return 1;
    }
    std::printf("%s\n", pty.SlavePath().c_str());
    std::fflush(stdout);
    while (pty.SeesHangup())
        std::this_thread::sleep_for(50ms);
    std::printf("opened\n");
    std::fflush(stdout);
    // Opening the port discards whatever was pending; give it time to be done with that.
    std::this_thread::sleep_for(1s);
    const std::size_t total = static_cast<std::size_t>(megabytes) * 1000000;
    const auto start = Clock::now();
    std::size_t fed = 0;
    std::size_t position = 0;
    while (fed < total) {
        const std::size_t size = std::min({ std::size_t { 4096 }, capture.size() - position, total - fed });
        if (!pty.Send(capture.substr(position, size), 60s)) {
            std::fprintf(stderr, "measure_skyprobe: the program stopped reading after %zu bytes\n", fed);
            return 1;
        }
        position = (position + size) % capture.size();
        fed += size;
        if (fed % 1000000 < size)
            std::printf("fed %zu bytes in %.1f s\n", fed,
                std::chrono::duration<double>(Clock::now() - start).count());
        std::fflush(stdout);
        pty.Pending();
    }
    std::printf("done\n");
    std::fflush(stdout);
    while (!pty.SeesHangup())
        std::this_thread::sleep_for(200ms);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "echo" && mode != "cpu" && mode != "feed") {
        std::fprintf(stderr, "usage: measure_skyprobe echo | cpu [SECONDS] | feed [MEGABYTES]\n");
        return 2;
    }
    const long number = argc > 2 ? std::atol(argv[2]) : mode == "feed" ? 83 : 60;
    if (number <= 0) {
        std::fprintf(stderr, "measure_skyprobe: %s must be a positive number\n",
            mode == "feed" ? "MEGABYTES" : "SECONDS");
        return 2;
    }
    const std::string capture = ReadCaptureStream(CapturePath);
    if (capture.size() < ChunkSize) {
        std::fprintf(stderr, "measure_skyprobe: cannot read the capture %s\n", CapturePath);
        return 1;
    }
    if (mode == "feed")
        return FeedAtFullSpeed(capture, number);
    const int seconds = static_cast<int>(number);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (!ApplyDialogFont())
        std::fprintf(stderr, "warning: the DejaVu Sans font is missing; figures may not be comparable\n");
    return mode == "echo" ? MeasureEcho(capture) : MeasureCpu(capture, seconds);
}
