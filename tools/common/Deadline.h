#pragma once

#include <chrono>
#include <optional>

// Times the tools take as seconds from the command line, and the timeouts their poll loops sleep for.
namespace Deadline {

inline std::chrono::steady_clock::duration Seconds(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

inline std::chrono::steady_clock::time_point After(std::chrono::steady_clock::time_point from, double seconds)
{
    return from + Seconds(seconds);
}

// Milliseconds from now until when, as poll takes them: 0 once it has passed, at most a day.
template <typename TimePoint> int PollTimeout(TimePoint when, TimePoint now)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return left <= 0 ? 0 : static_cast<int>(left < 86400000 ? left : 86400000);
}

// As above; -1 (wait for ever) when there is nothing to wait for.
template <typename TimePoint> int PollTimeout(const std::optional<TimePoint>& when, TimePoint now)
{
    return when ? PollTimeout(*when, now) : -1;
}

// The sooner of two poll timeouts, where -1 means none.
inline int Sooner(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return a < b ? a : b;
}

}
