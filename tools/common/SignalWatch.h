#pragma once

#include <chrono>

#include <signal.h>

// Turns Ctrl-C, SIGTERM and SIGHUP into a readable descriptor so the simulators' poll loops end cleanly
// (and remove what they created) instead of dying inside a handler. SIGPIPE is ignored so a closed
// stdout cannot kill a simulator before it cleans up. Create it before any thread starts; the
// destructor restores the signal mask and SIGPIPE's disposition.
class SignalWatch {
public:
    SignalWatch() = default;
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;
    ~SignalWatch();

    // false (errno kept) when the mask or the descriptor could not be set up; nothing is left changed then.
    [[nodiscard]] bool Open();
    int Fd() const { return fd; }
    // Drains pending signals; returns the last one's number, or 0 when none was waiting.
    int Take();
    // Sleeps until then; false (the signal taken) when one of the signals comes first.
    [[nodiscard]] bool SleepUntil(std::chrono::steady_clock::time_point until);
    // For a program whose work is done: the signals are ignored from now on, so one that arrives before
    // the mask is restored is dropped instead of killing the program on its way out.
    void IgnoreFromNowOn();

private:
    int fd = -1;
    sigset_t previousMask {};
    struct sigaction previousPipe { };
    bool maskChanged = false;
};
