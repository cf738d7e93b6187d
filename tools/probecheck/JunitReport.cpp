#include "tools/probecheck/JunitReport.h"

#include "tools/common/Format.h"
#include "tools/probecheck/CheckRecord.h"

#include <algorithm>

namespace {

// Text for an attribute or element. XML 1.0 cannot carry most control characters at all, and a byte
// that is not ASCII may not be valid UTF-8 (a modem's line noise): both become '?'.
std::string Escaped(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else if (c == '"')
            escaped += "&quot;";
        else if (byte >= 0x80 || (byte < 0x20 && c != '\t' && c != '\n'))
            escaped += '?';
        else
            escaped += c;
    }
    return escaped;
}

struct Counts {
    int tests = 0;
    int failures = 0;
    int errors = 0;
    int skipped = 0;
};

// The testcase of the check as a whole, when its verdict is not one of its measurements' outcomes.
std::string CheckCase(const CheckRecord& record, Counts& counts)
{
    const bool measurementFailed = std::any_of(record.measurements.begin(), record.measurements.end(),
        [](const Measurement& m) { return m.outcome == Outcome::Fail; });
    if (record.verdict == Verdict::Pass || (record.verdict == Verdict::Fail && measurementFailed))
        return {};
    ++counts.tests;
    const bool error = record.verdict == Verdict::NotRun;
    ++(error ? counts.errors : counts.failures);
    return Format(
        "    <testcase name=\"%s\" classname=\"probecheck.%s\" time=\"%.3f\">\n      <%s message=\"%s\" "
        "type=\"%s\"/>\n    </testcase>\n",
        record.check.c_str(), record.check.c_str(), record.elapsedSeconds, error ? "error" : "failure",
        Escaped(record.reason).c_str(), error ? "could not run" : "device");
}

std::string Suite(const CheckRecord& record, Counts& total)
{
    Counts counts;
    std::string cases;
    for (const Measurement& m : record.measurements) {
        ++counts.tests;
        std::string inner;
        if (m.outcome == Outcome::Fail) {
            ++counts.failures;
            inner
                = Format("\n      <failure message=\"%s\" type=\"limit\">value %s, limit %s</failure>\n    ",
                    Escaped(m.Describe()).c_str(), Escaped(m.ValueText()).c_str(),
                    Escaped(m.LimitText()).c_str());
        } else if (m.outcome == Outcome::NotMeasured) {
            ++counts.skipped;
            inner = "\n      <skipped message=\"not measured\"/>\n    ";
        }
        cases += Format("    <testcase name=\"%s\" classname=\"probecheck.%s\" time=\"0\">%s</testcase>\n",
            Escaped(m.name).c_str(), record.check.c_str(), inner.c_str());
    }
    cases += CheckCase(record, counts);
    total.tests += counts.tests;
    total.failures += counts.failures;
    total.errors += counts.errors;
    total.skipped += counts.skipped;
    const std::string boardFile = record.boardFile.empty()
        ? ""
        : "\n      <property name=\"boardFile\" value=\"" + Escaped(record.boardFile) + "\"/>";
    return Format(
        "  <testsuite name=\"%s\" tests=\"%d\" failures=\"%d\" errors=\"%d\" skipped=\"%d\" time=\"%.3f\" "
        "timestamp=\"%s\">\n    <properties>\n      <property name=\"device\" value=\"%s\"/>\n      "
        "<property name=\"deviceKind\" value=\"%s\"/>%s\n      <property name=\"verdict\" value=\"%s\"/>\n   "
        "   <property name=\"reason\" value=\"%s\"/>\n    "
        "</properties>\n%s  </testsuite>\n",
        record.check.c_str(), counts.tests, counts.failures, counts.errors, counts.skipped,
        record.elapsedSeconds, UtcText(record.started).c_str(), Escaped(record.devicePath).c_str(),
        record.deviceKind.c_str(), boardFile.c_str(), VerdictName(record.verdict),
        Escaped(record.reason).c_str(), cases.c_str());
}

} // namespace

std::string JunitReport::Render(const CallRecord& call)
{
    Counts total;
    std::string suites;
    for (const CheckRecord& record : call.checks)
        suites += Suite(record, total);
    return Format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"probecheck\" tests=\"%d\" "
        "failures=\"%d\" errors=\"%d\" skipped=\"%d\" time=\"%.3f\" timestamp=\"%s\">\n%s</testsuites>\n",
        total.tests, total.failures, total.errors, total.skipped, call.elapsedSeconds,
        UtcText(call.started).c_str(), suites.c_str());
}
