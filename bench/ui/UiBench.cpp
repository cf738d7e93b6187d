#include "ui/DataExchange.h"
#include "ui/Dialog.h"
#include "ui/DialogFont.h"
#include "ui/LogBinding.h"
#include "ui/MessageMap.h"
#include "ui/PaintDC.h"
#include "ui/WindowRegistry.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

// Usage: QT_QPA_PLATFORM=offscreen ui_bench
// Prints median and 99th percentile of each figure, in microseconds.

namespace {

using Clock = std::chrono::steady_clock;

constexpr int IdLog = 1002;
constexpr ControlTemplate Controls[] = {
    { IdLog, ControlKind::Edit, u"", 7, 176, 294, 53, MultiLine | ReadOnly | VerticalScroll | Border },
};
constexpr DialogTemplate Template { 102, u"Bench dialog", 308, 232, CaptionOkButton, Controls };

class BenchDialog : public Dialog {
public:
    BenchDialog()
        : Dialog(Template)
    {
    }

    WideString log;
    LogBinding logBinding;
    Clock::time_point firstPaint {};
    bool endOnPaint = false;

    void DoDataExchange(DataExchange* dx) override { DDX_Log(dx, IdLog, log, logBinding); }

    LRESULT OnSerialData(WPARAM, LPARAM count) { return count; }
    void OnPaint()
    {
        PaintDC dc(this);
        dc.FillSolidRect(Rect { 0, 0, 10, 10 }, RGB(0, 0, 255));
        if (endOnPaint && firstPaint == Clock::time_point {}) {
            firstPaint = Clock::now();
            EndDialog(IDOK);
        }
    }

    static const MessageMapEntry<BenchDialog> messageMap[];
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

const MessageMapEntry<BenchDialog> BenchDialog::messageMap[] = {
    MapMessage(WM_USER + 1, &BenchDialog::OnSerialData),
    MapPaint(&BenchDialog::OnPaint),
};

bool BenchDialog::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return RunMessageMap(*this, messageMap, message, wParam, lParam, result);
}

void Report(const char* what, std::vector<double> microseconds)
{
    std::sort(microseconds.begin(), microseconds.end());
    const double median = microseconds[microseconds.size() / 2];
    const double p99 = microseconds[std::min(microseconds.size() - 1, microseconds.size() * 99 / 100)];
    std::printf("%-48s n=%-6zu median %9.1f us   p99 %9.1f us\n", what, microseconds.size(), median, p99);
}

void SendRoundTrip()
{
    BenchDialog dialog;
    dialog.Create();
    const HWND window = dialog.GetSafeHwnd();
    constexpr int Sends = 20000;
    std::vector<double> times;
    times.reserve(Sends);
    std::atomic<bool> done = false;
    std::thread reader([&] {
        char buffer[60] = {};
        for (int i = 0; i < Sends; ++i) {
            const auto start = Clock::now();
            WindowRegistry::SendMessage(window, WM_USER + 1, reinterpret_cast<WPARAM>(buffer), 60);
            times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    reader.join();
    Report("SendMessage round trip (reader -> UI thread)", times);
}

void ModalToFirstPaint()
{
    std::vector<double> times;
    for (int i = 0; i < 50; ++i) {
        BenchDialog dialog;
        dialog.endOnPaint = true;
        const auto start = Clock::now();
        dialog.DoModal();
        times.push_back(std::chrono::duration<double, std::micro>(dialog.firstPaint - start).count());
    }
    Report("DoModal to first WM_PAINT", times);
}

void LogShowCost(int logBytes)
{
    BenchDialog dialog;
    dialog.Create();
    // The whole log, whatever its size: the figure is the cost of a show against that size.
    dialog.logBinding.SetLineLimit(logBytes);
    const WideString line(u"$GPGSV,3,1,12,01,40,083,46,02,17,308,41,12,07,344,39*\r\n");
    while (dialog.log.GetLength() < logBytes)
        dialog.log += line;
    dialog.UpdateData(FALSE);
    std::vector<double> times;
    for (int i = 0; i < 2000; ++i) {
        dialog.log += line;
        const auto start = Clock::now();
        dialog.UpdateData(FALSE);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    char what[80];
    std::snprintf(what, sizeof what, "UpdateData(FALSE) of a 58-char chunk, log %d KB", logBytes / 1000);
    Report(what, times);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    ApplyDialogFont();
    SendRoundTrip();
    ModalToFirstPaint();
    LogShowCost(10000);
    LogShowCost(1000000);
    return 0;
}
