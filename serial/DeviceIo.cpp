#include "serial/DeviceIo.h"

#include "serial/LineSettings.h"
#include "serial/RetryOnEintr.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Whole milliseconds until deadline, rounded up so that a wait never ends a little early and turns
// into a run of zero-length polls.
milliseconds Until(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return milliseconds(0);
    return std::chrono::ceil<milliseconds>(left);
}

constexpr short Hangup = POLLHUP | POLLERR | POLLNVAL;

} // namespace

bool DeviceIo::OpenExclusive(const char* path, UniqueFd* device)
{
    UniqueFd opened(RetryOnEintr([&] { return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (!opened.IsValid())
        return false;
    if (RetryOnEintr([&] { return ::flock(opened.Get(), LOCK_EX | LOCK_NB); }) != 0)
        return false;
    // Anything that is not a terminal cannot be a serial port; say so now rather than at the first
    // setting. The lock goes with the descriptor when opened is destroyed.
    if (RetryOnEintr([&] { return ::ioctl(opened.Get(), TIOCEXCL); }) != 0)
        return false;
    LineSettings::LowerModemLines(opened.Get());
    *device = std::move(opened);
    return true;
}

void DeviceIo::Release(UniqueFd* device)
{
    if (!device->IsValid())
        return;
    // Exclusive mode belongs to the terminal, not to our descriptor: left on, it would keep the next
    // user out even after we have closed.
    RetryOnEintr([&] { return ::ioctl(device->Get(), TIOCNXCL); });
    RetryOnEintr([&] { return ::flock(device->Get(), LOCK_UN); });
    device->Reset();
}

DeviceIo::Wake DeviceIo::Poll(int device, int stopEvent, milliseconds timeout, bool* timedOut)
{
    pollfd entries[2] = { { stopEvent, POLLIN, 0 }, { device, POLLIN, 0 } };
    const int waitMs = timeout.count() < 0 ? -1 : static_cast<int>(timeout.count());
    const int ready = RetryOnEintr([&] { return ::poll(entries, 2, waitMs); });
    *timedOut = ready == 0;
    if (ready < 0)
        return Wake::Vanished;
    if (entries[0].revents)
        return Wake::Stopped;
    if (entries[1].revents & POLLIN)
        return Wake::Input;
    if (entries[1].revents & Hangup)
        return Wake::Vanished;
    return Wake::Input;
}

DeviceIo::Wake DeviceIo::WaitForInput(int device, int stopEvent)
{
    bool timedOut = false;
    return Poll(device, stopEvent, milliseconds(-1), &timedOut);
}

DeviceIo::Wake DeviceIo::ReadChunk(
    int device, int stopEvent, const ReadTiming& timing, std::uint8_t* buffer, int* count)
{
    const Clock::time_point start = Clock::now();
    const Clock::time_point totalDeadline = start + timing.constant + timing.perByte * timing.capacity;
    Clock::time_point intervalDeadline = totalDeadline;
    *count = 0;
    for (;;) {
        const ssize_t got
            = RetryOnEintr([&] { return ::read(device, buffer + *count, timing.capacity - *count); });
        if (got > 0) {
            *count += static_cast<int>(got);
            if (*count == timing.capacity)
                return Wake::Input;
            intervalDeadline = Clock::now() + timing.interval;
        } else if (got == 0 || errno != EAGAIN) {
            // End of file on a terminal is a hang-up, and EIO is what a pty or an unplugged adapter
            // gives once its other end is gone.
            return Wake::Vanished;
        }
        bool timedOut = false;
        const Wake wake
            = Poll(device, stopEvent, Until(std::min(totalDeadline, intervalDeadline)), &timedOut);
        if (timedOut)
            return Wake::Input;
        if (wake != Wake::Input)
            return wake;
    }
}

std::int64_t DeviceIo::WriteBounded(
    int device, const std::uint8_t* data, std::int64_t length, milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::int64_t written = 0;
    while (written < length) {
        const ssize_t put = RetryOnEintr([&] { return ::write(device, data + written, length - written); });
        if (put > 0) {
            written += put;
            continue;
        }
        if (put == 0 || errno != EAGAIN)
            return written;
        const milliseconds left = Until(deadline);
        if (left.count() == 0)
            return written;
        pollfd entry { device, POLLOUT, 0 };
        const int ready = RetryOnEintr([&] { return ::poll(&entry, 1, static_cast<int>(left.count())); });
        if (ready <= 0 || (entry.revents & Hangup))
            return written;
    }
    return written;
}
