#include "tools/probecheck/CheckRecord.h"

#include "tools/common/Format.h"

#include <cassert>
#include <ctime>

namespace {

std::string ShowNumber(double number, int decimals)
{
    return Format("%.*f", decimals, number);
}

} // namespace

std::string RecordValue::Show() const
{
    switch (kind) {
    case Kind::Number:
        return ShowNumber(number, decimals);
    case Kind::Text:
        return text;
    case Kind::Flag:
        return flag ? "yes" : "no";
    case Kind::None:
        break;
    }
    return "none";
}

std::string Measurement::ValueText() const
{
    if (value.kind == RecordValue::Kind::Number && !unit.empty())
        return value.Show() + " " + unit;
    return value.Show();
}

std::string Measurement::LimitText() const
{
    // A limit as it was given: "at most 5", not "at most 5.0".
    const auto shown
        = [this](double limit) { return Format("%g", limit) + (unit.empty() ? "" : " " + unit); };
    if (low && high && *low == *high)
        return "exactly " + shown(*low);
    if (low && high)
        return Format("from %g to ", *low) + shown(*high);
    if (low)
        return "at least " + shown(*low);
    if (high)
        return "at most " + shown(*high);
    std::string text;
    for (const std::string& one : accepted)
        text += (text.empty() ? "expected " : " or ") + one;
    return text;
}

std::string Measurement::Describe() const
{
    const std::string limit = LimitText();
    return name + " " + ValueText() + (limit.empty() ? "" : " (" + limit + ")");
}

CheckRecord::CheckRecord(std::string checkName)
    : check(std::move(checkName))
{
    Start();
}

void CheckRecord::Start()
{
    start = Clock::now();
    started = std::chrono::system_clock::now();
}

double CheckRecord::Elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void CheckRecord::Declare(std::string name, std::string unit, std::optional<double> low,
    std::optional<double> high, std::vector<std::string> accepted)
{
    measurements.push_back({ std::move(name), std::move(unit), {}, low, high, std::move(accepted) });
}

void CheckRecord::Measure(std::string_view name, RecordValue value)
{
    for (Measurement& measurement : measurements) {
        if (measurement.name == name) {
            measurement.value = std::move(value);
            return;
        }
    }
    assert(false && "a measurement is declared before it is measured");
}

const RecordValue& CheckRecord::Value(std::string_view name) const
{
    static const RecordValue none;
    for (const Measurement& measurement : measurements) {
        if (measurement.name == name)
            return measurement.value;
    }
    return none;
}

void CheckRecord::Fact(std::string name, RecordValue value)
{
    for (RecordField& fact : facts) {
        if (fact.name == name) {
            fact.value = std::move(value);
            return;
        }
    }
    facts.push_back({ std::move(name), std::move(value) });
}

RecordTable& CheckRecord::Table(std::string name)
{
    for (RecordTable& table : tables) {
        if (table.name == name)
            return table;
    }
    tables.push_back({ std::move(name), {} });
    return tables.back();
}

bool CheckRecord::Judge(bool ranToEnd)
{
    bool failed = false;
    for (Measurement& m : measurements) {
        if (m.value.IsSet()) {
            bool within = m.accepted.empty();
            for (const std::string& one : m.accepted)
                within = within || (m.value.kind == RecordValue::Kind::Text && m.value.text == one);
            if (m.value.kind == RecordValue::Kind::Number)
                within = within && (!m.low || m.value.number >= *m.low)
                    && (!m.high || m.value.number <= *m.high);
            m.outcome = within ? Outcome::Pass : Outcome::Fail;
        } else {
            m.outcome = m.HasLimit() && ranToEnd && !failed ? Outcome::Fail : Outcome::NotMeasured;
        }
        failed = failed || m.outcome == Outcome::Fail;
    }
    return failed;
}

void CheckRecord::End(Verdict how, std::string why)
{
    ended = true;
    verdict = how;
    reason = std::move(why);
    elapsedSeconds = Elapsed();
}

void CheckRecord::Complete()
{
    if (ended)
        return;
    if (Judge(true)) {
        for (const Measurement& m : measurements) {
            if (m.outcome == Outcome::Fail)
                return End(Verdict::Fail, m.Describe());
        }
    }
    // A pass names what it found for every limit, so the line alone says what was measured.
    std::string met;
    for (const Measurement& m : measurements) {
        if (m.HasLimit())
            met += (met.empty() ? "all limits met: " : "; ") + m.name + " " + m.ValueText();
    }
    End(Verdict::Pass, met.empty() ? "nothing to compare" : met);
}

void CheckRecord::Lost()
{
    if (ended)
        return;
    Judge(false);
    End(Verdict::Fail, Format("the device went away during the check, after %.1f s", Elapsed()));
}

void CheckRecord::Interrupted(const std::string& signal)
{
    if (ended)
        return;
    Judge(false);
    End(Verdict::NotRun, Format("interrupted by %s after %.1f s", signal.c_str(), Elapsed()));
}

void CheckRecord::CouldNotRun(std::string why)
{
    if (ended)
        return;
    Judge(false);
    End(Verdict::NotRun, std::move(why));
}

int CheckRecord::ExitStatus() const
{
    return ::ExitStatus(verdict);
}

Verdict CallRecord::Overall() const
{
    Verdict worst = Verdict::Pass;
    for (const CheckRecord& record : checks)
        worst = Worse(worst, record.verdict);
    return worst;
}

const char* VerdictName(Verdict verdict)
{
    constexpr const char* Names[] = { "pass", "fail", "error" };
    return Names[static_cast<int>(verdict)];
}

const char* OutcomeName(Outcome outcome)
{
    constexpr const char* Names[] = { "pass", "fail", "not measured" };
    return Names[static_cast<int>(outcome)];
}

int ExitStatus(Verdict verdict)
{
    // The enumerators stand in the order of their exit statuses.
    return static_cast<int>(verdict);
}

Verdict Worse(Verdict a, Verdict b)
{
    return ExitStatus(a) >= ExitStatus(b) ? a : b;
}

std::string UtcText(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    return Format("%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
        utc.tm_hour, utc.tm_min, utc.tm_sec);
}
