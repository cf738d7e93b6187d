#include "serial/EventFd.h"

#include "serial/RetryOnEintr.h"

#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

bool EventFd::Create()
{
    fd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    return fd.IsValid();
}

void EventFd::Signal()
{
    // The counter only has to become non-zero; EAGAIN (counter full) still leaves it set.
    const std::uint64_t one = 1;
    RetryOnEintr([&] { return ::write(fd.Get(), &one, sizeof one); });
}

bool EventFd::IsSignalled() const
{
    pollfd entry { fd.Get(), POLLIN, 0 };
    return RetryOnEintr([&] { return ::poll(&entry, 1, 0); }) > 0 && (entry.revents & POLLIN);
}
