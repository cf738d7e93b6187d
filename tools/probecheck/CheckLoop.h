#pragma once

#include "serial/UniqueFd.h"
#include "ui/ThreadDispatcher.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The thread a check runs on, standing in for a program's UI thread: windows registered from it get
// their synchronous sends (the serial link's chunks) run here, one at a time, together with the check's
// timers. A signal that the call's main thread takes (Ctrl-C, SIGTERM, SIGHUP) is handed in through
// Interrupt and ends a wait instead of the process, so the check can close its device and report what
// it measured.
//
// Post and Interrupt may be called from any thread; everything else only from the thread that runs the
// loop.
class CheckLoop final : public ThreadDispatcher {
public:
    using Clock = std::chrono::steady_clock;
    enum class Stop { Done, Deadline, Interrupted };

    CheckLoop() = default;
    CheckLoop(const CheckLoop&) = delete;
    CheckLoop& operator=(const CheckLoop&) = delete;
    ~CheckLoop() override = default;

    // False with a message when the wake-up descriptor cannot be made.
    [[nodiscard]] bool Open(std::string* error);

    void Post(std::function<void()> job) override;
    // A signal arrived: the wait that runs now, or the next one, ends as interrupted, and from now on
    // StopRequested holds.
    void Interrupt(int signal);
    // Whether a signal arrived since the last wait or TakeInterrupt reported one; reports it once.
    bool TakeInterrupt();
    bool StopRequested() const;

    // Runs posted jobs and due timers until done() holds (checked after each of them and at the start),
    // the deadline passes, or a signal arrives; a signal that arrived since the last wait that reported
    // one ends this wait at once. Never spins: between events it sleeps in poll.
    Stop RunUntil(const std::function<bool()>& done, Clock::time_point deadline);

    // A timer that calls tick every period from inside RunUntil until it is killed; setting an id that
    // runs restarts it.
    void SetTimer(unsigned id, std::chrono::milliseconds period, std::function<void()> tick);
    void KillTimer(unsigned id);

    // The signal that ended the last interrupted wait ("SIGINT"), or empty.
    std::string SignalName() const;

private:
    struct Timer {
        unsigned id;
        std::chrono::milliseconds period;
        Clock::time_point due;
        std::function<void()> tick;
    };

    void Wake();
    bool RunJobs(const std::function<bool()>& done);
    bool RunDueTimers(const std::function<bool()>& done);
    Clock::time_point NextWake(Clock::time_point deadline) const;
    void Wait(Clock::time_point until);

    UniqueFd wake;
    mutable std::mutex lock;
    bool interrupted = false; // guarded by lock: a signal arrived that no wait has reported yet
    int lastSignal = 0; // guarded by lock
    std::deque<std::function<void()>> jobs; // guarded by lock
    std::vector<Timer> timers;
};
