#pragma once

#include <chrono>
#include <string>

// What a check is doing, on standard error while it runs. On a terminal it is one live line rewritten
// in place, cleared before the verdict is printed. Anywhere else (a log file, a CI job) it is plain
// lines, each with the time since the check started: every event, and the live status once every
// PlainStatusPeriod so a long wait still shows that the check is alive.
class Progress {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds PlainStatusPeriod { 5 };

    // check names the lines ("gps"); start is when the check began.
    Progress(std::string check, Clock::time_point start);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    ~Progress();

    // The current state, e.g. "no fix yet, 7 satellites in view". Cheap to call often: a terminal is
    // redrawn at most ten times a second.
    void Status(const std::string& text);
    // Something that happened, e.g. "first fix after 5.2 s".
    void Event(const std::string& text);
    // Removes the live line, so what follows on the terminal starts on a clean line.
    void Clear();

private:
    std::string Line(const std::string& text) const;
    void Draw(const std::string& text);

    std::string check;
    Clock::time_point start;
    bool terminal;
    bool lineShown = false;
    Clock::time_point lastDrawn {};
    Clock::time_point eventHeldUntil {};
    std::string lastStatus;
};
