#include "tools/probecheck/Progress.h"

#include <cstdio>
#include <utility>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);
constexpr auto ClockInterval = std::chrono::seconds(1);
// An event stays on the live line this long before the status may replace it, so it can be read.
constexpr auto EventHold = std::chrono::seconds(1);
constexpr std::size_t DefaultWidth = 80;

std::size_t TerminalWidth()
{
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return DefaultWidth;
}

} // namespace

Progress::Progress(std::string checkName, Clock::time_point started)
    : check(std::move(checkName))
    , start(started)
    , terminal(isatty(STDERR_FILENO) == 1)
{
}

Progress::~Progress()
{
    Clear();
}

std::string Progress::Line(const std::string& text) const
{
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "probecheck %s [%6.1f s] ", check.c_str(), seconds);
    return prefix + text;
}

void Progress::Draw(const std::string& text)
{
    std::string line = Line(text);
    // A line longer than the terminal would wrap, and \r could then no longer reach its start.
    const std::size_t width = TerminalWidth() - 1;
    if (line.size() > width)
        line.resize(width);
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    lineShown = true;
    lastDrawn = Clock::now();
}

void Progress::Status(const std::string& text)
{
    const Clock::time_point now = Clock::now();
    if (terminal) {
        // A new text, or the same one once a second so the clock in front of it keeps going.
        const bool due
            = text != lastStatus ? now - lastDrawn >= RedrawInterval : now - lastDrawn >= ClockInterval;
        if (due && now >= eventHeldUntil) {
            Draw(text);
            lastStatus = text;
        }
        return;
    }
    if (now - lastDrawn >= PlainStatusPeriod) {
        std::fprintf(stderr, "%s\n", Line(text).c_str());
        lastDrawn = now;
    }
}

void Progress::Event(const std::string& text)
{
    if (terminal) {
        Draw(text);
        lastStatus.clear();
        eventHeldUntil = Clock::now() + EventHold;
        return;
    }
    std::fprintf(stderr, "%s\n", Line(text).c_str());
    lastDrawn = Clock::now();
}

void Progress::Clear()
{
    if (!lineShown)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    lineShown = false;
}
