#include "tools/probecheck/Progress.h"

#include "tools/common/Format.h"

#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t DefaultWidth = 80;

std::size_t TerminalWidth()
{
    winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return DefaultWidth;
}

} // namespace

Progress::Progress(Clock::time_point started)
    : start(started)
    , terminal(isatty(STDERR_FILENO) == 1)
{
}

Progress::~Progress()
{
    Clear();
}

std::string Progress::Prefix(const std::string& check) const
{
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return Format("probecheck %s[%6.1f s] ", check.empty() ? "" : (check + " ").c_str(), seconds);
}

void Progress::Erase()
{
    if (!lineShown)
        return;
    std::fputs("\r\x1b[K", stderr);
    lineShown = false;
}

void Progress::Draw()
{
    std::string line = Prefix({});
    for (const auto& [check, state] : states)
        line += check + ": " + state.text + "  ";
    // A line longer than the terminal would wrap, and \r could then no longer reach its start.
    const std::size_t width = TerminalWidth() - 1;
    if (line.size() > width)
        line.resize(width);
    std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
    std::fflush(stderr);
    lineShown = true;
    lastDrawn = Clock::now();
}

void Progress::Status(const std::string& check, const std::string& text)
{
    std::lock_guard guard(lock);
    State& state = states[check];
    state.text = text;
    const Clock::time_point now = Clock::now();
    if (terminal) {
        if (now - lastDrawn >= RedrawInterval)
            Draw();
        return;
    }
    if (now - state.lastPrinted >= PlainStatusPeriod) {
        std::fprintf(stderr, "%s%s\n", Prefix(check).c_str(), text.c_str());
        state.lastPrinted = now;
    }
}

void Progress::Event(const std::string& check, const std::string& text)
{
    std::lock_guard guard(lock);
    Erase();
    std::fprintf(stderr, "%s%s\n", Prefix(check).c_str(), text.c_str());
    if (const auto found = states.find(check); found != states.end())
        found->second.lastPrinted = Clock::now();
    if (terminal && !states.empty())
        Draw();
    std::fflush(stderr);
}

void Progress::Done(const std::string& check)
{
    std::lock_guard guard(lock);
    states.erase(check);
    Erase();
    if (terminal && !states.empty())
        Draw();
}

void Progress::Clear()
{
    std::lock_guard guard(lock);
    Erase();
    std::fflush(stderr);
}
