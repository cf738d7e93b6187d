#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>

// What the checks of a call are doing, on standard error while they run; every check's thread may call
// it. On a terminal one live line, rewritten in place, shows each running check's state; events are
// printed as lines of their own above it, and the live line is cleared before the verdicts are
// printed. Anywhere else (a log file, a CI job) everything is plain lines with the time since the call
// started: every event, and each check's state once every PlainStatusPeriod so a long wait still shows
// that the check is alive.
class Progress {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds PlainStatusPeriod { 5 };

    explicit Progress(Clock::time_point start);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress();

    // A check's current state, e.g. "no fix yet, 7 satellites in view". Cheap to call often: a
    // terminal is redrawn at most ten times a second.
    void Status(const std::string& check, const std::string& text);
    // Something that happened, e.g. "first fix after 5.2 s".
    void Event(const std::string& check, const std::string& text);
    // The check has ended: its state leaves the live line.
    void Done(const std::string& check);
    // Removes the live line, so what follows on the terminal starts on a clean line.
    void Clear();

private:
    struct State {
        std::string text;
        Clock::time_point lastPrinted {};
    };

    std::string Prefix(const std::string& check) const;
    void Draw(); // the caller holds lock
    void Erase(); // the caller holds lock

    std::mutex lock;
    Clock::time_point start;
    bool terminal;
    bool lineShown = false;
    Clock::time_point lastDrawn {};
    std::map<std::string, State> states;
};
