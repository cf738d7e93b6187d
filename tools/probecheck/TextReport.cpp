#include "tools/probecheck/TextReport.h"

#include "tools/common/Format.h"
#include "tools/probecheck/CheckRecord.h"

namespace {

const char* Headline(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "PASS";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::NotRun:
        break;
    }
    return "ERROR";
}

// "  label           value", the layout of every line under a headline.
std::string Line(const std::string& label, const std::string& value)
{
    return Format("  %-16s %s\n", label.c_str(), value.c_str());
}

std::string Row(const std::vector<RecordField>& row)
{
    std::string text = "   ";
    for (const RecordField& field : row)
        text += " " + field.name + " " + field.value.Show() + " ";
    text.back() = '\n';
    return text;
}

std::string Check(const CheckRecord& record)
{
    std::string text
        = Format("%s: %s  %s\n", record.check.c_str(), Headline(record.verdict), record.reason.c_str());
    // "/dev/gpiochip0 (gpio-chardev, the board file /etc/deviceprobe/board.conf)".
    const std::string boardFile = record.boardFile.empty() ? "" : ", the board file " + record.boardFile;
    const std::string path = record.devicePath.empty() ? "" : record.devicePath + " ";
    if (!path.empty() || !boardFile.empty())
        text += Line("device", path + "(" + record.deviceKind + boardFile + ")");
    for (const Measurement& measurement : record.measurements)
        text += Line(OutcomeName(measurement.outcome), measurement.Describe());
    for (const RecordField& fact : record.facts)
        text += Line(fact.name, fact.value.Show());
    for (const RecordTable& table : record.tables) {
        text += "  " + table.name + "\n";
        for (const std::vector<RecordField>& row : table.rows)
            text += Row(row);
    }
    return text + Line("took", Format("%.1f s", record.elapsedSeconds));
}

} // namespace

std::string TextReport::Render(const CallRecord& call)
{
    std::string text;
    std::string verdicts;
    for (const CheckRecord& record : call.checks) {
        text += Check(record);
        verdicts += Format(
            "%s%s %s", verdicts.empty() ? "" : ", ", record.check.c_str(), VerdictName(record.verdict));
    }
    if (call.checks.size() > 1)
        text += Format(
            "unit: %s  %s in %.1f s\n", Headline(call.Overall()), verdicts.c_str(), call.elapsedSeconds);
    return text;
}
