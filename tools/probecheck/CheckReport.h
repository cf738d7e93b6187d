#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

class CommandLine;
class JsonWriter;

// How a check ended. The exit status follows it: 0 pass, 1 fail, 2 could not run (bad options, a
// device that is missing, busy or went away, an interrupted check).
enum class Verdict { Pass, Fail, NotRun };

struct CheckOutcome {
    Verdict verdict = Verdict::NotRun;
    // One sentence for a person, also in the record: why it passed, failed or could not run.
    std::string reason;
};

int ExitStatus(Verdict verdict);

// The options every check takes.
struct CommonOptions {
    bool json = false;
    std::string device; // empty: the device the programs use
};

// Takes --json and --device PATH; true when option was one of them (a bad value is reported through
// arguments).
bool ParseCommonOption(std::string_view option, CommandLine& arguments, CommonOptions* options);

// The option loop of every check: --help (or -h) sets help and ends it, the common options are taken,
// and every other option goes to own, which reads its value and returns false for one it does not
// know. False when an option was unknown or bad (the message is in arguments).
bool ParseCheckOptions(CommandLine& arguments, CommonOptions* common, bool* help,
    const std::function<bool(std::string_view option)>& own);

// The frame of every check's result: when it started, how long it took, and how it is written out.
class CheckReport {
public:
    using Clock = std::chrono::steady_clock;

    explicit CheckReport(std::string check);

    Clock::time_point Start() const { return start; }
    // Seconds since the check started.
    double Elapsed() const;
    // The outcome of a check that a signal ("SIGINT") ended.
    CheckOutcome Interrupted(const std::string& signal) const;

    // Prints the result on stdout and returns the exit status. With json, one line holding a JSON object:
    // check, verdict ("pass", "fail" or "error"), exitStatus, reason, device, started (UTC),
    // elapsedSeconds, then what addFields writes (criteria, measured figures, timings). Otherwise the
    // headline "<check>: PASS|FAIL|ERROR  <reason>" followed by what addSummary returns.
    int Finish(const CheckOutcome& outcome, const std::string& device, bool json,
        const std::function<void(JsonWriter&)>& addFields,
        const std::function<std::string()>& addSummary) const;

private:
    std::string check;
    Clock::time_point start;
    std::chrono::system_clock::time_point wallStart;
};

// "  label        value\n", the layout of every summary line; nothing for an empty value, so what a
// check never got to measure leaves no blank line.
std::string SummaryLine(std::string_view label, std::string_view value);
// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
