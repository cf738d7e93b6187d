// Long runs of the GPS dialog that are too slow for the tests, under the offscreen platform.
//
//   probe_load flood [SECONDS]   a receiver on a pseudo-terminal writes as fast as the terminal takes
//                                it, with the echo on, for SECONDS (default 60); prints how late a
//                                50 ms timer of the UI thread came, and whether every byte reached
//                                the log.
//   probe_load soak [SECONDS]    presses "Open GPS" and ticks "Show GPS message" on the receiver that
//                                COM4 names, then lets the dialog run for SECONDS (default 3600);
//                                scripts/soak watches the process from outside.
//
// Exit status 0 on success, 1 when the run found a fault, 2 on bad arguments.

#include "skyprobe/ReceiverPty.h" // the test receiver, from tests/
#include "skyprobe/SkyprobeDialog.h"
#include "ui/DialogDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int TickMs = 50;

int Flood(int seconds)
{
    ReceiverPty pty;
    if (!pty.IsOpen()) {
        std::fprintf(stderr, "probe_load: no pseudo-terminal\n");
        return 1;
    }
    pty.UseAsCom4();
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdOpenClose);
    driver.Click(IdShowMessages);
    if (!dialog.isOpen || !dialog.showMessages) {
        std::fprintf(stderr, "probe_load: the dialog did not open the receiver\n");
        return 1;
    }
    (void)pty.Receive(14, 5s); // the rate frame
    // Every byte sent is counted in the log, so the log keeps all of them here.
    dialog.logBinding.SetLineLimit(1 << 30);
    const int logBefore = dialog.logText.GetLength();

    std::string block;
    for (int i = 0; i < 20; ++i)
        block += "$GPRMC,081836,A,3751.65,S,14507.36,E,0.0,360.0,130998,011.3,E*62\r\n";
    std::atomic<bool> stop = false;
    std::atomic<long long> sentBytes = 0;
    std::thread flooder([&] {
        while (!stop && pty.Send(block, 10s))
            sentBytes += static_cast<long long>(block.size());
    });

    QElapsedTimer clock;
    clock.start();
    qint64 due = TickMs;
    std::vector<qint64> lateness;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        lateness.push_back(std::max<qint64>(0, clock.elapsed() - due));
        due = clock.elapsed() + TickMs;
    });
    ticker.start(TickMs);
    driver.WaitUntil([] { return false; }, std::chrono::seconds(seconds));
    stop = true;
    flooder.join();
    driver.WaitUntil([&] { return dialog.logText.GetLength() - logBefore >= sentBytes; }, 120s);
    ticker.stop();

    std::sort(lateness.begin(), lateness.end());
    const auto at = [&](double share) {
        return lateness.empty() ? 0 : lateness[static_cast<std::size_t>(share * (lateness.size() - 1))];
    };
    const long long echoed = dialog.logText.GetLength() - logBefore;
    std::printf("flood %d s: %lld bytes sent (%.0f kB/s), %lld echoed into the log\n", seconds,
        static_cast<long long>(sentBytes), sentBytes / 1000.0 / seconds, echoed);
    std::printf("50 ms timer: %zu ticks, lateness median %lld ms, 99%% %lld ms, worst %lld ms\n",
        lateness.size(), static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)),
        static_cast<long long>(at(1.0)));
    driver.Click(IdOpenClose);
    return echoed == sentBytes ? 0 : 1;
}

int Soak(int seconds)
{
    SkyprobeDialog dialog;
    DialogDriver driver(dialog);
    driver.Click(IdOpenClose);
    if (!dialog.isOpen) {
        std::fprintf(stderr, "probe_load: Open GPS failed: %s\n", dialog.logText.ToAscii().c_str());
        return 1;
    }
    driver.Click(IdShowMessages);
    std::printf("soak: receiver open, echo on, running %d s\n", seconds);
    std::fflush(stdout);
    driver.WaitUntil([] { return false; }, std::chrono::seconds(seconds));
    std::printf("soak: %d characters in the log, time field %s\n", dialog.logText.GetLength(),
        driver.Text(IdTime).ToAscii().c_str());
    driver.CloseButton();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    const int seconds = argc > 2 ? std::atoi(argv[2]) : (mode == "soak" ? 3600 : 60);
    if ((mode != "flood" && mode != "soak") || seconds <= 0) {
        std::fprintf(stderr, "usage: probe_load flood|soak [SECONDS]\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return mode == "flood" ? Flood(seconds) : Soak(seconds);
}
