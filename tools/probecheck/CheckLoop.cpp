#include "tools/probecheck/CheckLoop.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

bool CheckLoop::Open(std::string* error)
{
    wake.Reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.IsValid()) {
        *error = std::string("cannot make an event descriptor: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void CheckLoop::Post(std::function<void()> job)
{
    {
        std::lock_guard guard(lock);
        jobs.push_back(std::move(job));
    }
    Wake();
}

void CheckLoop::Interrupt(int signal)
{
    {
        std::lock_guard guard(lock);
        interrupted = true;
        lastSignal = signal;
    }
    Wake();
}

void CheckLoop::Wake()
{
    const std::uint64_t one = 1;
    // Only fails when the counter is about to overflow, and then the loop is awake anyway.
    [[maybe_unused]] const ssize_t written = write(wake.Get(), &one, sizeof one);
}

bool CheckLoop::TakeInterrupt()
{
    std::lock_guard guard(lock);
    const bool taken = interrupted;
    interrupted = false;
    return taken;
}

bool CheckLoop::StopRequested() const
{
    std::lock_guard guard(lock);
    return lastSignal != 0;
}

CheckLoop::Stop CheckLoop::RunUntil(const std::function<bool()>& done, Clock::time_point deadline)
{
    for (;;) {
        // A signal is reported by exactly one wait, the first to see it, even when that wait's work
        // happened to be done at the same moment: a Ctrl-C is never lost between two waits.
        if (TakeInterrupt())
            return Stop::Interrupted;
        if (done() || RunJobs(done) || RunDueTimers(done))
            return Stop::Done;
        if (Clock::now() >= deadline)
            return Stop::Deadline;
        Wait(NextWake(deadline));
    }
}

bool CheckLoop::RunJobs(const std::function<bool()>& done)
{
    for (;;) {
        std::function<void()> job;
        {
            std::lock_guard guard(lock);
            if (jobs.empty())
                return false;
            job = std::move(jobs.front());
            jobs.pop_front();
        }
        job();
        if (done())
            return true;
    }
}

bool CheckLoop::RunDueTimers(const std::function<bool()>& done)
{
    const Clock::time_point now = Clock::now();
    // By id, not by position: a tick may set or kill timers.
    std::vector<unsigned> due;
    for (const Timer& timer : timers) {
        if (timer.due <= now)
            due.push_back(timer.id);
    }
    for (const unsigned id : due) {
        for (Timer& timer : timers) {
            if (timer.id != id || timer.due > now)
                continue;
            timer.due = now + timer.period;
            const std::function<void()> tick = timer.tick;
            tick();
            break;
        }
        if (done())
            return true;
    }
    return false;
}

void CheckLoop::SetTimer(unsigned id, std::chrono::milliseconds period, std::function<void()> tick)
{
    KillTimer(id);
    timers.push_back({ id, period, Clock::now() + period, std::move(tick) });
}

void CheckLoop::KillTimer(unsigned id)
{
    std::erase_if(timers, [id](const Timer& timer) { return timer.id == id; });
}

CheckLoop::Clock::time_point CheckLoop::NextWake(Clock::time_point deadline) const
{
    Clock::time_point next = deadline;
    for (const Timer& timer : timers) {
        if (timer.due < next)
            next = timer.due;
    }
    return next;
}

void CheckLoop::Wait(Clock::time_point until)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    const int timeout = left <= 0 ? 0 : static_cast<int>(left < 60000 ? left : 60000);
    pollfd watched { wake.Get(), POLLIN, 0 };
    if (poll(&watched, 1, timeout) > 0 && (watched.revents & POLLIN)) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t got = read(wake.Get(), &count, sizeof count);
    }
}

std::string CheckLoop::SignalName() const
{
    std::lock_guard guard(lock);
    switch (lastSignal) {
    case SIGINT:
        return "SIGINT (Ctrl-C)";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        return lastSignal == 0 ? "" : "signal " + std::to_string(lastSignal);
    }
}
