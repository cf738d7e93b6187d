#include "tools/common/SignalWatch.h"

#include <cerrno>

#include <poll.h>

#include <sys/signalfd.h>
#include <unistd.h>

SignalWatch::~SignalWatch()
{
    if (fd >= 0)
        close(fd);
    if (maskChanged) {
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
        sigaction(SIGPIPE, &previousPipe, nullptr);
    }
}

bool SignalWatch::Open()
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &mask, &previousMask) != 0)
        return false;
    fd = signalfd(-1, &mask, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        const int saved = errno;
        sigprocmask(SIG_SETMASK, &previousMask, nullptr);
        errno = saved;
        return false;
    }
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previousPipe);
    maskChanged = true;
    return true;
}

int SignalWatch::Take()
{
    int last = 0;
    signalfd_siginfo info {};
    for (;;) {
        const ssize_t got = read(fd, &info, sizeof info);
        if (got == static_cast<ssize_t>(sizeof info)) {
            last = static_cast<int>(info.ssi_signo);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        return last;
    }
}

bool SignalWatch::SleepUntil(std::chrono::steady_clock::time_point until)
{
    for (;;) {
        const auto left
            = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return true;
        pollfd watched { fd, POLLIN, 0 };
        if (poll(&watched, 1, static_cast<int>(left.count())) > 0 && Take() != 0)
            return false;
    }
}

void SignalWatch::IgnoreFromNowOn()
{
    struct sigaction ignore { };
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : { SIGINT, SIGTERM, SIGHUP })
        sigaction(signal, &ignore, nullptr);
}
