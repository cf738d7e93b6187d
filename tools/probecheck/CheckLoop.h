#pragma once

#include "serial/UniqueFd.h"
#include "tools/common/SignalWatch.h"
#include "ui/ThreadDispatcher.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The thread a check runs on, standing in for a program's UI thread: windows registered from it get
// their synchronous sends (the serial link's chunks) run here, one at a time, together with the check's
// timers. Ctrl-C, SIGTERM and SIGHUP end a wait instead of the process, so the check can close its
// device and report what it measured.
//
// Open before any other thread starts, so that every thread inherits the blocked signals. Post may be
// called from any thread; everything else only from the thread that runs the loop.
class CheckLoop final : public ThreadDispatcher {
public:
    using Clock = std::chrono::steady_clock;
    enum class Stop { Done, Deadline, Interrupted };

    CheckLoop() = default;
    CheckLoop(const CheckLoop&) = delete;
    CheckLoop& operator=(const CheckLoop&) = delete;
    ~CheckLoop() override = default;

    // False with a message when the signals or the wake-up descriptor cannot be set up.
    [[nodiscard]] bool Open(std::string* error);

    void Post(std::function<void()> job) override;

    // Runs posted jobs and due timers until done() holds (checked after each of them and at the start),
    // the deadline passes, or a signal arrives; a signal that arrived since the last wait that reported
    // one ends this wait at once. Never spins: between events it sleeps in poll.
    Stop RunUntil(const std::function<bool()>& done, Clock::time_point deadline);

    // A timer that calls tick every period from inside RunUntil until it is killed; setting an id that
    // runs restarts it.
    void SetTimer(unsigned id, std::chrono::milliseconds period, std::function<void()> tick);
    void KillTimer(unsigned id);

    // The moment seconds after from: the checks take their times as seconds from the command line.
    static Clock::time_point After(Clock::time_point from, double seconds)
    {
        return from + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    }

    // The signal that ended the last interrupted wait ("SIGINT"), or empty.
    std::string SignalName() const;

private:
    struct Timer {
        unsigned id;
        std::chrono::milliseconds period;
        Clock::time_point due;
        std::function<void()> tick;
    };

    bool RunJobs(const std::function<bool()>& done);
    bool RunDueTimers(const std::function<bool()>& done);
    Clock::time_point NextWake(Clock::time_point deadline) const;
    void Wait(Clock::time_point until);

    SignalWatch signals;
    UniqueFd wake;
    bool interrupted = false; // a signal arrived that no wait has reported yet
    int lastSignal = 0;
    std::mutex lock;
    std::deque<std::function<void()>> jobs; // guarded by lock
    std::vector<Timer> timers;
};
