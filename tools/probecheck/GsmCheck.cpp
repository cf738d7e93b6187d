#include "tools/probecheck/GsmCheck.h"

#include "cellprobe/ModemLine.h"
#include "cellprobe/ModemRules.h"
#include "tools/common/CommandLine.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/ModemCheckEffects.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/SerialSession.h"

#include <algorithm>

namespace {

constexpr const char* Help
    = "Usage: probecheck gsm [--timeout S] [--min-level L] [--dial NUMBER [--hold S]]\n"
      "                      [--device PATH] [--json]\n"
      "\n"
      "Checks the GSM module. Opens it at 57600 baud, 8N1, as cellprobe does, and lets\n"
      "cellprobe's own modem rules run it: the start-up commands, then the signal query\n"
      "every 10 s. Passes when the signal level (0 to 5, as cellprobe's bar shows it)\n"
      "reaches L within the timeout and, with --dial, every step of the call was\n"
      "accepted. The module is always hung up before the port is closed.\n"
      "\n"
      "  --timeout S    wait at most S seconds for the signal, and for each answer of a\n"
      "                 call, 1 to 3600 (default 30)\n"
      "  --min-level L  lowest signal level that passes, 0 to 5 (default 1)\n"
      "  --dial NUMBER  once the signal is there, place a voice call to NUMBER (digits,\n"
      "                 + * # and the pauses P W and comma), hold it, and hang up\n"
      "  --hold S       how long to hold the call, 0 to 3600 seconds (default 5)\n"
      "  --device PATH  the module's serial device (default COM1: the device in $COM1,\n"
      "                 else /dev/ttyS0)\n"
      "  --json         print one JSON object on one line instead of the summary\n"
      "\n"
      "Reports every exchange with the module (command, reply, time), the signal\n"
      "reports, incoming calls, and the steps of the call. Progress goes to standard\n"
      "error.\n"
      "\n"
      "Exit status: 0 pass, 1 fail, 2 could not run (bad option; module missing, busy\n"
      "or lost; interrupted).\n";

constexpr unsigned StatusTimerId = 100;
constexpr auto StatusPeriod = std::chrono::milliseconds(250);
// How long the closing hang-up may take before the port is closed regardless.
constexpr auto CloseWait = std::chrono::seconds(3);

// The module's final result codes; the first one in a reply decides the step.
constexpr const char* ResultCodes[] = { "OK", "ERROR", "NO CARRIER", "BUSY", "NO DIALTONE", "NO ANSWER" };

std::string CommandText(const char* bytes, int count)
{
    std::string text(bytes, static_cast<std::size_t>(count));
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.pop_back();
    return text;
}

// A reply as one line for a person: its lines, trimmed, joined by " | ".
std::string ReplyLine(const std::string& reply)
{
    std::string line;
    std::string current;
    const auto flush = [&] {
        if (!current.empty())
            line += (line.empty() ? "" : " | ") + current;
        current.clear();
    };
    for (const char c : reply) {
        if (c == '\r' || c == '\n')
            flush();
        else
            current
                += static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F ? c : '?';
    }
    flush();
    return line;
}

} // namespace

int GsmCheck::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "gsm", Help, [&](bool* help) { return Parse(arguments, help); }, [this] { return Run(); },
        "probecheck");
}

bool GsmCheck::Parse(CommandLine& arguments, bool* help)
{
    const bool parsed = ParseCheckOptions(arguments, &common, help, [&](std::string_view option) {
        if (option == "--timeout")
            (void)arguments.Number(1, 3600, &timeoutSeconds);
        else if (option == "--min-level")
            (void)arguments.WholeNumber(0, ModemRules::SignalBarMaximum, &minLevel);
        else if (option == "--dial")
            ParseNumber(arguments);
        else if (option == "--hold")
            holdGiven = arguments.Number(0, 3600, &holdSeconds);
        else
            return false;
        return true;
    });
    if (parsed && !*help && holdGiven && dialNumber.empty())
        arguments.Fail("--hold needs --dial");
    return !arguments.Failed();
}

bool GsmCheck::ParseNumber(CommandLine& arguments)
{
    if (!arguments.Value(&dialNumber))
        return false;
    // What a keypad can dial; anything else would go to the module as part of a command.
    if (dialNumber.empty() || dialNumber.find_first_not_of("0123456789+*#PpWw,") != std::string::npos) {
        arguments.Fail("--dial needs a phone number (digits, + * # P W ,), not \"" + dialNumber + "\"");
        return false;
    }
    if (dialNumber.size() > static_cast<std::size_t>(ModemRules::MaxPhoneNumberLength)) {
        arguments.Fail(
            Format("--dial: a number has at most %d characters", ModemRules::MaxPhoneNumberLength));
        return false;
    }
    return true;
}

int GsmCheck::Run()
{
    std::u16string portName;
    CheckOutcome outcome;
    if (!SerialSession::PortName(common.device, ModemPortName, &portName, &outcome.reason))
        return report.Finish(outcome, common.device, common.json, nullptr, nullptr);
    devicePath = SerialSession::ResolvePath(portName);
    {
        Progress progress("gsm", report.Start());
        CheckLoop loop;
        std::string error;
        if (!loop.Open(&error)) {
            outcome.reason = error;
        } else {
            ModemCheckEffects effects(loop);
            ModemRules rules(effects);
            effects.Attach(rules);
            SerialSession port(loop, [&](const char* bytes, int count) { OnChunk(bytes, count, rules); });
            Connect(effects, port, progress);
            if (!port.Open(portName, ModemBaudRate, ModemByteSize, ModemStopBits, ModemParity, &error)) {
                outcome.reason = error;
            } else {
                openedAt = report.Elapsed();
                progress.Event("opened " + devicePath + " at 57600 baud");
                rules.Start();
                effects.StartPolling();
                loop.SetTimer(StatusTimerId, StatusPeriod, [&] { progress.Status(StatusText(rules)); });
                outcome = Measure(loop, rules, port, progress);
                HangUpAndClose(loop, rules, port, progress);
            }
            effects.StopTimers();
            loop.KillTimer(StatusTimerId);
            rules.Close();
        }
    }
    return report.Finish(
        outcome, devicePath, common.json, [this](JsonWriter& writer) { WriteJson(writer); },
        [this] { return Summary(); });
}

void GsmCheck::Connect(ModemCheckEffects& effects, SerialSession& port, Progress& progress)
{
    effects.write = [this, &port](const char* bytes, int count) {
        exchanges.push_back({ CommandText(bytes, count), report.Elapsed(), {}, {} });
        return port.Write(bytes, count);
    };
    effects.onSignalBar = [this, &progress](int level) {
        signalReports.emplace_back(report.Elapsed(), level);
        if (!signalMetAt && level >= minLevel) {
            signalMetAt = report.Elapsed();
            progress.Event(Format("signal level %d", level));
        }
    };
    effects.onEnableDisconnect = [this](bool enable) {
        // The rules drop the Disconnect button when the call ends by itself (NO CARRIER).
        if (!enable && (phase == Phase::Dialling || phase == Phase::Holding) && !callEndedAt)
            callEndedAt = report.Elapsed();
    };
    effects.onSettled = [this] {
        if (phase == Phase::Dialling && !callUpAt)
            callUpAt = report.Elapsed();
    };
    effects.onRing = [this, &progress] {
        ++rings;
        progress.Event("an incoming call rings");
    };
    effects.onCloseSteps = [this] { closeConfirmed = true; };
}

void GsmCheck::OnChunk(const char* bytes, int count, ModemRules& rules)
{
    // Before the rules see it: a command they send in answer starts the next exchange.
    if (!exchanges.empty()) {
        exchanges.back().reply.append(bytes, static_cast<std::size_t>(count));
        exchanges.back().replyAt = report.Elapsed();
    }
    rules.OnSerialData(bytes, count);
}

std::optional<CheckOutcome> GsmCheck::Interrupted(
    CheckLoop::Stop stop, const CheckLoop& loop, const SerialSession& port) const
{
    if (stop == CheckLoop::Stop::Interrupted)
        return report.Interrupted(loop.SignalName());
    if (port.IsLost())
        return CheckOutcome { Verdict::NotRun,
            Format("the module went away after %.1f s (device lost)", report.Elapsed()) };
    return std::nullopt;
}

CheckOutcome GsmCheck::Measure(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress)
{
    const CheckOutcome signal = WaitForSignal(loop, rules, port, progress);
    if (signal.verdict != Verdict::Pass || dialNumber.empty())
        return signal;
    const CheckOutcome call = Call(loop, rules, port, progress);
    if (call.verdict != Verdict::Pass)
        return call;
    return { Verdict::Pass, signal.reason + "; " + call.reason };
}

CheckOutcome GsmCheck::WaitForSignal(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress&)
{
    const auto deadline = CheckLoop::After(report.Start(), timeoutSeconds);
    const CheckLoop::Stop stop = loop.RunUntil([&] { return signalMetAt || port.IsLost(); }, deadline);
    if (!signalMetAt) {
        if (const auto ended = Interrupted(stop, loop, port))
            return *ended;
        std::string reason = SignalShortfall(rules);
        if (rings > 0)
            reason += "; an incoming call rang, which pauses the signal query";
        return { Verdict::Fail, reason };
    }
    return { Verdict::Pass,
        Format("signal level %d (at least %d) %.1f s after opening", signalReports.back().second, minLevel,
            *signalMetAt - openedAt.value_or(0)) };
}

std::string GsmCheck::SignalShortfall(const ModemRules& rules) const
{
    const bool answered = std::any_of(
        exchanges.begin(), exchanges.end(), [](const Exchange& exchange) { return !exchange.reply.empty(); });
    if (!answered)
        return Format("the module did not answer within %g s", timeoutSeconds);
    if (!rules.Flags().csqStarted && !exchanges.empty()) {
        const StepResult last = ResultOf(exchanges.size() - 1);
        return Format("the start-up commands stopped at %s (%s) within %g s",
            exchanges.back().command.c_str(), last.done ? last.code.c_str() : "no final answer",
            timeoutSeconds);
    }
    if (signalReports.empty())
        return Format("no signal report within %g s", timeoutSeconds);
    int best = 0;
    for (const auto& [at, level] : signalReports)
        best = std::max(best, level);
    return Format("signal level at most %d (at least %d) in %zu reports within %g s", best, minLevel,
        signalReports.size(), timeoutSeconds);
}

CheckOutcome GsmCheck::Dial(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress)
{
    phase = Phase::Dialling;
    rules.PhoneNumber() = WideString::FromAscii(dialNumber);
    dialExchange = exchanges.size();
    rules.OnDial();
    if (exchanges.size() == *dialExchange)
        return { Verdict::NotRun, "the dial command was not sent: " + rules.StatusText().ToAscii() };
    progress.Event("dialling " + dialNumber);
    const CheckLoop::Stop stop = loop.RunUntil(
        [&] {
            const StepResult dial = ResultOf(*dialExchange);
            return callUpAt || callEndedAt || (dial.done && !dial.accepted) || port.IsLost();
        },
        CheckLoop::After(CheckLoop::Clock::now(), timeoutSeconds));
    if (callUpAt)
        return { Verdict::Pass, {} };
    if (const auto ended = Interrupted(stop, loop, port))
        return *ended;
    const StepResult dial = ResultOf(*dialExchange);
    if (dial.done && !dial.accepted)
        return { Verdict::Fail, "the module refused the call: " + dial.code };
    if (callEndedAt)
        return { Verdict::Fail, "the call ended before it was up (NO CARRIER)" };
    return { Verdict::Fail, Format("no answer to the dial command within %g s", timeoutSeconds) };
}

CheckOutcome GsmCheck::Call(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress)
{
    const CheckOutcome dial = Dial(loop, rules, port, progress);
    if (dial.verdict != Verdict::Pass)
        return dial;

    phase = Phase::Holding;
    progress.Event(Format("call up; holding it %g s", holdSeconds));
    CheckLoop::Stop stop = loop.RunUntil(
        [&] { return callEndedAt || port.IsLost(); }, CheckLoop::After(CheckLoop::Clock::now(), holdSeconds));
    if (const auto ended = Interrupted(stop, loop, port))
        return *ended;
    if (callEndedAt) {
        return { Verdict::Fail,
            Format("the call ended %.1f s into the %g s hold (NO CARRIER)", *callEndedAt - *callUpAt,
                holdSeconds) };
    }

    phase = Phase::HangingUp;
    hangUpExchange = exchanges.size();
    rules.OnDisconnect();
    stop = loop.RunUntil([&] { return ResultOf(*hangUpExchange).done || port.IsLost(); },
        CheckLoop::After(CheckLoop::Clock::now(), timeoutSeconds));
    if (const auto ended = Interrupted(stop, loop, port))
        return *ended;
    const StepResult hangUp = ResultOf(*hangUpExchange);
    if (!hangUp.done)
        return { Verdict::Fail, Format("no answer to the hang-up within %g s", timeoutSeconds) };
    if (!hangUp.accepted)
        return { Verdict::Fail, "the module refused the hang-up: " + hangUp.code };
    return { Verdict::Pass,
        Format("call to %s up after %.1f s, held %g s and hung up", dialNumber.c_str(),
            *callUpAt - exchanges[*dialExchange].sentAt, holdSeconds) };
}

void GsmCheck::HangUpAndClose(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress)
{
    if (port.IsLost())
        return;
    // The dialog's own way out: hang up, and close once the module confirmed it. A call left up by an
    // interrupted or failed check ends here too.
    phase = Phase::Closing;
    progress.Event("hanging up");
    rules.OnOK();
    loop.RunUntil([&] { return closeConfirmed || port.IsLost(); }, CheckLoop::Clock::now() + CloseWait);
}

GsmCheck::StepResult GsmCheck::ResultOf(std::size_t exchange) const
{
    if (exchange >= exchanges.size())
        return {};
    const std::string& reply = exchanges[exchange].reply;
    std::size_t first = std::string::npos;
    const char* found = nullptr;
    for (const char* code : ResultCodes) {
        const std::size_t at = reply.find(code);
        if (at < first) {
            first = at;
            found = code;
        }
    }
    if (!found)
        return {};
    // The whole line, so "+CME ERROR: 30" keeps its number.
    const std::size_t lineStart = reply.find_last_of("\r\n", first);
    const std::size_t lineEnd = reply.find_first_of("\r\n", first);
    const std::size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
    return { true, std::string_view(found) == "OK", ReplyLine(reply.substr(from, lineEnd - from)) };
}

std::string GsmCheck::StatusText(const ModemRules& rules) const
{
    switch (phase) {
    case Phase::Signal:
        if (!rules.Flags().csqStarted)
            return "starting the module: " + (exchanges.empty() ? std::string() : exchanges.back().command);
        if (signalReports.empty())
            return "waiting for the first signal report";
        return Format("signal level %d, waiting for %d (queried every %u s)", signalReports.back().second,
            minLevel, ModemRules::PollTimerPeriodMs / 1000);
    case Phase::Dialling:
        return "dialling " + dialNumber;
    case Phase::Holding:
        return Format("call up, holding it (%g s)", holdSeconds);
    case Phase::HangingUp:
        return "hanging up the call";
    case Phase::Closing:
        return "hanging up and closing the port";
    }
    return {};
}

void GsmCheck::WriteJson(JsonWriter& writer) const
{
    writer.BeginObject("criteria");
    writer.Number("timeoutSeconds", timeoutSeconds, 3);
    writer.Integer("minLevel", minLevel);
    if (dialNumber.empty()) {
        writer.Null("dial");
        writer.Null("holdSeconds");
    } else {
        writer.String("dial", dialNumber);
        writer.Number("holdSeconds", holdSeconds, 3);
    }
    writer.EndObject();

    writer.BeginObject("timings");
    writer.Number("portOpenedSeconds", openedAt, 3);
    writer.Number("signalMetSeconds", signalMetAt, 3);
    writer.Number("callUpSeconds", callUpAt, 3);
    writer.Number("callEndedSeconds", callEndedAt, 3);
    writer.EndObject();

    WriteMeasured(writer);
}

void GsmCheck::WriteMeasured(JsonWriter& writer) const
{
    writer.BeginObject("measured");
    if (signalReports.empty())
        writer.Null("signalLevel");
    else
        writer.Integer("signalLevel", signalReports.back().second);
    writer.BeginArray("signalReports");
    for (const auto& [at, level] : signalReports) {
        writer.BeginObject();
        writer.Number("seconds", at, 3);
        writer.Integer("level", level);
        writer.EndObject();
    }
    writer.EndArray();
    writer.Integer("incomingRings", rings);
    if (dialExchange) {
        writer.BeginObject("call");
        const StepResult dial = ResultOf(*dialExchange);
        writer.String("dialResult", dial.code);
        writer.Bool("up", callUpAt.has_value());
        writer.Bool("endedByModem", callEndedAt.has_value());
        const StepResult hangUp = hangUpExchange ? ResultOf(*hangUpExchange) : StepResult {};
        writer.String("hangUpResult", hangUp.code);
        writer.EndObject();
    } else {
        writer.Null("call");
    }
    writer.Bool("closeConfirmed", closeConfirmed);
    writer.BeginArray("exchanges");
    for (const Exchange& exchange : exchanges) {
        writer.BeginObject();
        writer.String("command", exchange.command);
        writer.Number("sentSeconds", exchange.sentAt, 3);
        writer.String("reply", exchange.reply);
        writer.Number("replySeconds", exchange.replyAt, 3);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
}

std::string GsmCheck::Summary() const
{
    std::string summary = SummaryLine("device", devicePath + " at 57600 baud");
    if (!openedAt)
        return summary;
    if (signalReports.empty()) {
        summary += SummaryLine("signal", "no report");
    } else {
        summary += SummaryLine("signal",
            Format("level %d of 5 (%zu reports)", signalReports.back().second, signalReports.size()));
    }
    if (rings > 0)
        summary += SummaryLine("incoming", Format("%d RING", rings));
    if (dialExchange) {
        const StepResult dial = ResultOf(*dialExchange);
        std::string call = "to " + dialNumber + ": " + (dial.done ? dial.code : "no answer");
        if (callUpAt)
            call += Format(", up after %.1f s", *callUpAt - exchanges[*dialExchange].sentAt);
        if (callEndedAt)
            call += ", ended by the module";
        if (hangUpExchange) {
            const StepResult hangUp = ResultOf(*hangUpExchange);
            call += ", hang-up " + (hangUp.done ? hangUp.code : std::string("unanswered"));
        }
        summary += SummaryLine("call", call);
    }
    summary += "  exchanges\n";
    for (const Exchange& exchange : exchanges) {
        const std::string reply = ReplyLine(exchange.reply);
        summary += Format("    %7.3f s  %-24s -> %s\n", exchange.sentAt, exchange.command.c_str(),
            reply.empty() ? "(no reply)" : reply.c_str());
    }
    summary += SummaryLine("took", Format("%.1f s", report.Elapsed()));
    return summary;
}
