#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a check ended. The exit status follows it: 0 pass, 1 fail, 2 could not run (bad options, a
// device that was missing or busy at the start, registers out of reach, an interrupted check).
enum class Verdict { Pass = 0, Fail = 1, NotRun = 2 };

// How one measurement came out against its limits.
enum class Outcome { Pass, Fail, NotMeasured };

// A value the record holds: nothing yet, a number with the decimals it is shown with, a text or a flag.
struct RecordValue {
    enum class Kind { None, Number, Text, Flag };
    Kind kind = Kind::None;
    double number = 0;
    int decimals = 0;
    std::string text;
    bool flag = false;

    static RecordValue Number(double value, int decimals = 0)
    {
        return { Kind::Number, value, decimals, {}, false };
    }
    static RecordValue Text(std::string value) { return { Kind::Text, 0, 0, std::move(value), false }; }
    static RecordValue Flag(bool value) { return { Kind::Flag, 0, 0, {}, value }; }
    bool IsSet() const { return kind != Kind::None; }
    // "5.6", "READY", "yes", "none".
    std::string Show() const;
};

struct RecordField {
    std::string name;
    RecordValue value;
};

// One figure declared once with its unit and limits, and judged once against them. A number passes
// when it lies within low and high; a text when it is one of accepted. One without a value fails when
// it has a limit and the check ran to its end with nothing failed before it; otherwise it is "not
// measured" (an earlier failure or an interruption kept the check from getting there).
struct Measurement {
    std::string name; // a key a machine may rely on: "signal", "timeToFirstFix"
    std::string unit; // the limit's unit: "s", "CSQ", "dBm", "satellites"; empty for texts
    RecordValue value;
    std::optional<double> low;
    std::optional<double> high;
    std::vector<std::string> accepted;
    Outcome outcome = Outcome::NotMeasured;

    bool HasLimit() const { return low || high || !accepted.empty(); }
    // "17 CSQ", "READY", "none".
    std::string ValueText() const;
    // "at least 10", "at most 5 s", "expected home or roaming"; empty without a limit.
    std::string LimitText() const;
    // "signal 17 CSQ (at least 10)", the way a reason names it.
    std::string Describe() const;
};

// A list of like things the check saw (satellites, exchanges with a modem, register steps).
struct RecordTable {
    std::string name;
    std::vector<std::vector<RecordField>> rows;
};

// What one check found, as the text, JSON and JUnit writers all render it. The check declares its
// measurements before it starts, fills values as it measures, and ends the record once; the verdict,
// the reason and every outcome follow from the measurements and how the check ended.
class CheckRecord {
public:
    using Clock = std::chrono::steady_clock;

    explicit CheckRecord(std::string check);

    // Restarts the clocks: the check begins now.
    void Start();
    // Seconds since the check began.
    double Elapsed() const;

    // Declares a measurement (value unset); limits as Measurement describes them.
    void Declare(std::string name, std::string unit, std::optional<double> low = {},
        std::optional<double> high = {}, std::vector<std::string> accepted = {});
    // Sets a declared measurement's value; a name never declared is a programmer error.
    void Measure(std::string_view name, RecordValue value);
    const RecordValue& Value(std::string_view name) const;
    // Sets (or replaces) a fact: a figure or text for the record without a limit.
    void Fact(std::string name, RecordValue value);
    RecordTable& Table(std::string name);

    // How the check ended. Each judges the measurements once, and only the first call counts.
    void Complete();
    void Lost();
    void Interrupted(const std::string& signal);
    void CouldNotRun(std::string why);
    bool Ended() const { return ended; }

    int ExitStatus() const;

    std::string check;
    // What was checked: its kind ("serial" for a serial device; for the board the way to it:
    // "registers", "gpio-chardev", "backlight-class" or "out of reach") and where it is, and for the
    // board the board file that chose the way (empty without one). An object in the JSON record, so
    // later kinds add fields, not types.
    std::string deviceKind;
    std::string devicePath;
    std::string boardFile;
    Verdict verdict = Verdict::NotRun;
    std::string reason;
    std::chrono::system_clock::time_point started;
    double elapsedSeconds = 0;
    std::vector<Measurement> measurements;
    std::vector<RecordField> facts;
    std::vector<RecordTable> tables;

private:
    // Judges every measurement; ranToEnd: the check got as far as it meant to.
    bool Judge(bool ranToEnd);
    void End(Verdict how, std::string why);

    Clock::time_point start;
    bool ended = false;
};

// One call of probecheck: every check's record in the order the command line gave them.
struct CallRecord {
    std::chrono::system_clock::time_point started;
    double elapsedSeconds = 0;
    std::vector<CheckRecord> checks;

    // The worst of the checks (an error over a failure over a pass).
    Verdict Overall() const;
};

const char* VerdictName(Verdict verdict); // "pass", "fail", "error"
const char* OutcomeName(Outcome outcome); // "pass", "fail", "not measured"
int ExitStatus(Verdict verdict);
// The worse of two: NotRun over Fail over Pass.
Verdict Worse(Verdict a, Verdict b);
// "2026-12-09T11:43:03Z".
std::string UtcText(std::chrono::system_clock::time_point when);
