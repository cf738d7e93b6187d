#pragma once

#include <cerrno>

// Runs a system call again for as long as a signal interrupts it, so no caller in serial/ has to
// handle EINTR itself. The call is any callable returning the system call's result (-1 on failure,
// with errno set).
template <typename SystemCall> auto RetryOnEintr(SystemCall call)
{
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR)
            return result;
    }
}
