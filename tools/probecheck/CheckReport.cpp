#include "tools/probecheck/CheckReport.h"

#include "tools/common/CommandLine.h"
#include "tools/probecheck/JsonWriter.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace {

const char* VerdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Fail:
        return "fail";
    case Verdict::NotRun:
        return "error";
    }
    return "error";
}

const char* VerdictHeadline(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "PASS";
    case Verdict::Fail:
        return "FAIL";
    case Verdict::NotRun:
        return "ERROR";
    }
    return "ERROR";
}

std::string UtcText(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

int ExitStatus(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return 0;
    case Verdict::Fail:
        return 1;
    case Verdict::NotRun:
        return 2;
    }
    return 2;
}

bool ParseCommonOption(std::string_view option, CommandLine& arguments, CommonOptions* options)
{
    if (option == "--json") {
        options->json = arguments.NoValue();
        return true;
    }
    if (option == "--device") {
        if (arguments.Value(&options->device) && options->device.empty())
            arguments.Fail("--device needs a path");
        return true;
    }
    return false;
}

bool ParseCheckOptions(CommandLine& arguments, CommonOptions* common, bool* help,
    const std::function<bool(std::string_view option)>& own)
{
    while (!arguments.AtEnd() && !arguments.Failed()) {
        const std::string_view option = arguments.Next();
        if (option == "--help" || option == "-h") {
            *help = true;
            return true;
        }
        if (!ParseCommonOption(option, arguments, common) && !own(option))
            arguments.Fail("unknown option \"" + std::string(option) + "\"");
    }
    return !arguments.Failed();
}

CheckOutcome CheckReport::Interrupted(const std::string& signal) const
{
    return { Verdict::NotRun, Format("interrupted by %s after %.1f s", signal.c_str(), Elapsed()) };
}

std::string Format(const char* format, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

std::string SummaryLine(std::string_view label, std::string_view value)
{
    if (value.empty())
        return {};
    return Format("  %-13.*s%.*s\n", static_cast<int>(label.size()), label.data(),
        static_cast<int>(value.size()), value.data());
}

CheckReport::CheckReport(std::string checkName)
    : check(std::move(checkName))
    , start(Clock::now())
    , wallStart(std::chrono::system_clock::now())
{
}

double CheckReport::Elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int CheckReport::Finish(const CheckOutcome& outcome, const std::string& device, bool json,
    const std::function<void(JsonWriter&)>& addFields, const std::function<std::string()>& addSummary) const
{
    const int status = ExitStatus(outcome.verdict);
    if (json) {
        JsonWriter writer;
        writer.BeginObject();
        writer.String("check", check);
        writer.String("verdict", VerdictName(outcome.verdict));
        writer.Integer("exitStatus", status);
        writer.String("reason", outcome.reason);
        writer.String("device", device);
        writer.String("started", UtcText(wallStart));
        writer.Number("elapsedSeconds", Elapsed(), 3);
        if (addFields)
            addFields(writer);
        writer.EndObject();
        std::printf("%s\n", writer.Text().c_str());
    } else {
        std::printf("%s: %s  %s\n", check.c_str(), VerdictHeadline(outcome.verdict), outcome.reason.c_str());
        if (addSummary)
            std::fputs(addSummary().c_str(), stdout);
    }
    // A full disk or a closed pipe loses the record: the rig must not take that for a pass.
    if (std::fflush(stdout) != 0 && status == 0)
        return 2;
    return status;
}
