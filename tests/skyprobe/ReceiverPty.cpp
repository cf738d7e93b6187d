#include "ReceiverPty.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

} // namespace

ReceiverPty::ReceiverPty()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ::close(master);
        master = -1;
        return;
    }
    slavePath = ::ptsname(master);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

ReceiverPty::~ReceiverPty()
{
    if (master >= 0)
        ::close(master);
}

void ReceiverPty::UseAsCom4() const
{
    ::setenv("COM4", slavePath.c_str(), 1);
}

bool ReceiverPty::Send(const std::string& bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t written = ::write(master, bytes.data() + sent, bytes.size() - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd entry { master, POLLOUT, 0 };
        if (Clock::now() >= deadline)
            return false;
        ::poll(&entry, 1, std::min(MillisecondsLeft(deadline), 50));
    }
    return true;
}

std::vector<std::uint8_t> ReceiverPty::Receive(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::vector<std::uint8_t> received;
    while (received.size() < count) {
        std::uint8_t buffer[256];
        const ssize_t got = ::read(master, buffer, std::min(sizeof buffer, count - received.size()));
        if (got > 0) {
            received.insert(received.end(), buffer, buffer + got);
            continue;
        }
        if (Clock::now() >= deadline)
            break;
        pollfd entry { master, POLLIN, 0 };
        ::poll(&entry, 1, std::min(MillisecondsLeft(deadline), 50));
    }
    return received;
}

std::vector<std::uint8_t> ReceiverPty::Pending()
{
    std::vector<std::uint8_t> received;
    std::uint8_t buffer[256];
    ssize_t got = 0;
    while ((got = ::read(master, buffer, sizeof buffer)) > 0)
        received.insert(received.end(), buffer, buffer + got);
    return received;
}

bool ReceiverPty::SeesHangup()
{
    pollfd entry { master, POLLIN, 0 };
    return ::poll(&entry, 1, 0) > 0 && (entry.revents & POLLHUP) != 0;
}

bool DeviceIsFree(const std::string& path)
{
    const int device = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (device < 0)
        return false;
    const bool locked = ::flock(device, LOCK_EX | LOCK_NB) == 0;
    ::close(device);
    return locked;
}
