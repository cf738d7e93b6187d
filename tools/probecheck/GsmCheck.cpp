#include "tools/probecheck/GsmCheck.h"

#include "cellprobe/ModemLine.h"
#include "cellprobe/ModemRules.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Deadline.h"
#include "tools/common/Format.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/ModemCheckEffects.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/SerialSession.h"

#include <algorithm>

namespace {

constexpr const char* HelpText
    = "Usage: probecheck gsm [--timeout S] [--min-csq N] [--min-level L] [--home-only]\n"
      "                      [--dial NUMBER [--hold S]] [--device PATH]\n"
      "\n"
      "Checks the GSM module. Opens it at 57600 baud, 8N1, as cellprobe does, and lets\n"
      "cellprobe's own modem rules start it and query its signal every 10 s (a vendor\n"
      "command the module refuses is noted, and the start-up goes on). Then asks its\n"
      "identity (AT+CGMI, AT+CGMM, AT+CGMR, AT+CGSN), its SIM (AT+CPIN?), its\n"
      "registration (AT+CREG? and AT+CEREG?, again while it is searching) and its\n"
      "operator (AT+COPS?). Passes when the SIM is ready, the module is registered and\n"
      "the signal reaches both limits within the timeout and, with --dial, every step\n"
      "of the call was accepted. The module is always hung up before the port closes.\n"
      "\n"
      "  --timeout S    wait at most S seconds for the start-up, the registration and\n"
      "                 the signal, and for each answer of a call, 1 to 3600 (default 30)\n"
      "  --min-csq N    lowest signal quality that passes, the raw +CSQ value 0 to 31\n"
      "                 (default 10, about -93 dBm)\n"
      "  --min-level L  lowest signal level that passes, 0 to 5 as cellprobe's bar\n"
      "                 shows it (default 1)\n"
      "  --home-only    a module roaming on another network fails (default: passes)\n"
      "  --dial NUMBER  then place a voice call to NUMBER (digits, + * # and the pauses\n"
      "                 P W and comma), hold it, and hang up\n"
      "  --hold S       how long to hold the call, 0 to 3600 seconds (default 5)\n"
      "  --device PATH  the module's serial device (default COM1: the device in $COM1,\n"
      "                 else /dev/ttyS0)\n";

constexpr unsigned StatusTimerId = 100;
constexpr auto StatusPeriod = std::chrono::milliseconds(250);
// How long the closing hang-up may take before the port is closed regardless, and how often a
// searching module's registration is asked again.
constexpr auto CloseWait = std::chrono::seconds(3);
constexpr auto RegistrationPeriod = std::chrono::seconds(1);
constexpr int MaxQuality = 31;
constexpr int UnknownQuality = 99;

constexpr std::pair<const char*, const char*> Identity[] = { { "manufacturer", "AT+CGMI" },
    { "model", "AT+CGMM" }, { "revision", "AT+CGMR" }, { "imei", "AT+CGSN" } };
// Registration states from best to worst: two answers (GSM and LTE) count as the better one.
constexpr const char* RegistrationStates[] = { "home", "roaming", "searching", "denied", "not registered",
    "emergency only", "unknown", "no answer" };

// The module's final result lines; the first in a reply decides the step.
bool IsFinal(std::string_view line)
{
    for (const char* code : { "OK", "ERROR", "NO CARRIER", "BUSY", "NO DIALTONE", "NO ANSWER" }) {
        if (line == code)
            return true;
    }
    return line.starts_with("+CME ERROR") || line.starts_with("+CMS ERROR");
}

std::vector<std::string_view> Lines(std::string_view reply)
{
    std::vector<std::string_view> lines;
    while (!reply.empty()) {
        const std::size_t end = std::min(reply.find_first_of("\r\n"), reply.size());
        if (end > 0)
            lines.push_back(reply.substr(0, end));
        reply.remove_prefix(std::min(end + 1, reply.size()));
    }
    return lines;
}

// A reply as one line for a person: its lines joined by " | ", unprintable bytes as '?'.
std::string ReplyLine(std::string_view reply)
{
    std::string line;
    for (const std::string_view part : Lines(reply)) {
        line += line.empty() ? "" : " | ";
        for (const char c : part)
            line += static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F ? c : '?';
    }
    return line;
}

// The raw value of the last "+CSQ: n,m" in a reply; -1 without one.
int Quality(std::string_view reply)
{
    const std::size_t at = reply.rfind("+CSQ:");
    if (at == std::string_view::npos)
        return -1;
    std::string_view rest = reply.substr(at + 5);
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    int value = -1;
    return ParseWholeNumber(rest.substr(0, rest.find(',')), &value) ? value : -1;
}

// The state a "+CREG: n,stat[,...]" answer names (or an unsolicited "+CREG: stat"), by 27.007's
// numbers: SMS only and CSFB not preferred count as registered too.
std::string RegistrationName(const std::optional<std::string>& answer)
{
    constexpr const char* Names[] = { "not registered", "home", "searching", "denied", "unknown", "roaming",
        "home", "roaming", "emergency only", "home", "roaming" };
    if (!answer)
        return "no answer";
    const std::string_view fields(*answer);
    const std::size_t comma = fields.find(',');
    const std::string_view status = comma == std::string_view::npos
        ? fields
        : fields.substr(comma + 1, fields.find(',', comma + 1) - comma - 1);
    int number = -1;
    const bool known
        = ParseWholeNumber(status, &number) && number >= 0 && number < static_cast<int>(std::size(Names));
    return known ? Names[number] : "unknown";
}

int Rank(const std::string& state)
{
    return static_cast<int>(std::find(std::begin(RegistrationStates), std::end(RegistrationStates), state)
        - std::begin(RegistrationStates));
}

} // namespace

GsmCheck::GsmCheck()
    : SerialCheck({ ModemPortName, ModemBaudRate, ModemByteSize, ModemStopBits, ModemParity })
{
}

std::string GsmCheck::Help() const
{
    return HelpText;
}

bool GsmCheck::ParseOption(std::string_view option, CommandLine& arguments)
{
    if (option == "--timeout")
        (void)arguments.Number(1, 3600, &timeoutSeconds);
    else if (option == "--min-csq")
        (void)arguments.WholeNumber(0, MaxQuality, &minCsq);
    else if (option == "--min-level")
        (void)arguments.WholeNumber(0, ModemRules::SignalBarMaximum, &minLevel);
    else if (option == "--home-only")
        homeOnly = arguments.NoValue();
    else if (option == "--dial")
        ParseNumber(arguments);
    else if (option == "--hold")
        holdGiven = arguments.Number(0, 3600, &holdSeconds);
    else
        return false;
    return true;
}

void GsmCheck::CheckOptions(CommandLine& arguments)
{
    if (holdGiven && dialNumber.empty())
        arguments.Fail("--hold needs --dial");
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

void GsmCheck::Declare(CheckRecord& record) const
{
    record.Declare("startUp", "", {}, {}, { "done" });
    record.Declare("vendorCommands", "");
    for (const auto& [name, command] : Identity)
        record.Declare(name, "");
    record.Declare("sim", "", {}, {}, { "READY" });
    record.Declare("registration", "", {}, {},
        homeOnly ? std::vector<std::string> { "home" } : std::vector<std::string> { "home", "roaming" });
    record.Declare("operator", "");
    // 99 is the module's "not known": outside the range, so it never passes.
    record.Declare("signal", "CSQ", minCsq, MaxQuality);
    record.Declare("signalDbm", "dBm");
    record.Declare("signalLevel", "", minLevel);
    if (!dialNumber.empty()) {
        record.Declare("callSetUp", "", {}, {}, { "OK" });
        record.Declare("callHeld", "s", holdSeconds);
        record.Declare("hangUp", "", {}, {}, { "OK" });
    }
}

void GsmCheck::Run(CheckLoop& loop, Progress& progress, CheckRecord& record)
{
    Declare(record);
    ModemCheckEffects effects(loop);
    ModemRules rules(effects);
    effects.Attach(rules);
    Session* current = nullptr;
    SerialSession port(loop, [&](const char* bytes, int count) { OnChunk(bytes, count, *current); });
    Session session { loop, rules, effects, port, progress, record };
    current = &session;
    Connect(session);
    if (Open(port, progress, record)) {
        deadline = Deadline::After(CheckLoop::Clock::now(), timeoutSeconds);
        rules.Start();
        effects.StartPolling();
        loop.SetTimer(StatusTimerId, StatusPeriod, [&] { progress.Status(Name(), StatusText()); });
        (void)(WaitForStartUp(session) && AskAboutModule(session) && WaitForSignal(session) && Call(session));
        HangUpAndClose(session);
    }
    effects.StopTimers();
    loop.KillTimer(StatusTimerId);
    rules.Close();
    if (record.Ended())
        return;
    Measure(record);
    Describe(record);
    if (interrupted)
        record.Interrupted(loop.SignalName());
    else if (lost)
        record.Lost();
    else
        record.Complete();
}

void GsmCheck::Connect(Session& s)
{
    s.effects.write = [this, &s](const char* bytes, int count) {
        exchanges.push_back({ ReplyLine(std::string_view(bytes, static_cast<std::size_t>(count))),
            s.record.Elapsed(), {}, {} });
        return s.port.Write(bytes, count);
    };
    s.effects.onSignalBar = [this, &s](int level) {
        const int quality = exchanges.empty() ? -1 : Quality(exchanges.back().reply);
        signalReports.push_back({ s.record.Elapsed(), quality, level });
        if (!metReport && SignalMeets(signalReports.back())) {
            metReport = signalReports.size() - 1;
            s.progress.Event(
                Name(), Format("signal %d (%d dBm), level %d", quality, -113 + 2 * quality, level));
        }
    };
    s.effects.onEnableDisconnect = [this, &s](bool enable) {
        // The rules drop the Disconnect button when the call ends by itself (NO CARRIER).
        if (!enable && (phase == Phase::Dialling || phase == Phase::Holding) && !callEndedAt)
            callEndedAt = s.record.Elapsed();
    };
    s.effects.onSettled = [this, &s] {
        if (phase == Phase::Dialling && !callUpAt)
            callUpAt = s.record.Elapsed();
    };
    s.effects.onRing = [this, &s] {
        ++rings;
        s.progress.Event(Name(), "an incoming call rings");
    };
    s.effects.onCloseSteps = [this] { closeConfirmed = true; };
}

void GsmCheck::Send(Session& s, const std::string& command)
{
    exchanges.push_back({ command, s.record.Elapsed(), {}, {} });
    const std::string line = command + "\r";
    s.port.Write(line.data(), static_cast<int>(line.size()));
}

void GsmCheck::OnChunk(const char* bytes, int count, Session& s)
{
    // Before the rules see it: a command they send in answer starts the next exchange.
    if (!exchanges.empty()) {
        exchanges.back().reply.append(bytes, static_cast<std::size_t>(count));
        exchanges.back().replyAt = s.record.Elapsed();
    }
    s.rules.OnSerialData(bytes, count);
    // A module without the vendor audio commands refuses them, and the rules then wait for the next
    // "OK", which the signal poll would bring only 10 s later: an "AT" of our own brings it at once.
    if (phase != Phase::StartUp || exchanges.empty() || !exchanges.back().command.starts_with("AT^SNF"))
        return;
    const StepResult result = ResultOf(exchanges.size() - 1);
    if (result.done && !result.accepted) {
        vendorCommands = "refused";
        Send(s, "AT");
    }
}

bool GsmCheck::Waited(CheckLoop::Stop stop, const Session& s)
{
    interrupted = interrupted || stop == CheckLoop::Stop::Interrupted;
    lost = lost || (!interrupted && s.port.IsLost());
    return !interrupted && !lost;
}

bool GsmCheck::WaitForStartUp(Session& s)
{
    const CheckLoop::Stop stop
        = s.loop.RunUntil([&] { return !signalReports.empty() || s.port.IsLost(); }, deadline);
    if (!Waited(stop, s))
        return false;
    if (signalReports.empty()) {
        startUp = StartUpShortfall();
        return false;
    }
    startUp = "done";
    vendorCommands = vendorCommands.value_or("accepted");
    return true;
}

std::string GsmCheck::StartUpShortfall() const
{
    const bool answered = std::any_of(
        exchanges.begin(), exchanges.end(), [](const Exchange& exchange) { return !exchange.reply.empty(); });
    if (!answered)
        return "no answer";
    if (exchanges.back().command != "AT+CSQ") {
        const StepResult last = ResultOf(exchanges.size() - 1);
        return "stopped at " + exchanges.back().command + " (" + (last.done ? last.code : "no final answer")
            + ")";
    }
    return "no signal report";
}

// Asks command; the answer is the text after prefix on the line that starts with it, or the first
// line that is no final result when prefix is empty. Nothing when the module refused or did not answer.
std::optional<std::string> GsmCheck::Answer(Session& s, const char* command, const char* prefix)
{
    const std::size_t index = exchanges.size();
    Send(s, command);
    const CheckLoop::Stop stop
        = s.loop.RunUntil([&] { return ResultOf(index).done || s.port.IsLost(); }, deadline);
    if (!Waited(stop, s) || !ResultOf(index).accepted)
        return std::nullopt;
    for (const std::string_view line : Lines(exchanges[index].reply)) {
        if (IsFinal(line) || line == command || !line.starts_with(prefix))
            continue;
        std::string_view text = line.substr(std::string_view(prefix).size());
        text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
        return std::string(text);
    }
    return std::nullopt;
}

bool GsmCheck::AskAboutModule(Session& s)
{
    phase = Phase::Asking;
    s.effects.StopPolling();
    for (const auto& [name, command] : Identity) {
        if (const std::optional<std::string> text = Answer(s, command, ""))
            answers.emplace_back(name, *text);
    }
    std::optional<std::string> sim = Answer(s, "AT+CPIN?", "+CPIN:");
    if (!sim && !interrupted && !lost) {
        const StepResult refusal = ResultOf(exchanges.size() - 1);
        // 10 is the module's number for "SIM not inserted".
        const bool absent
            = refusal.code == "+CME ERROR: 10" || refusal.code.find("not inserted") != std::string::npos;
        sim = !refusal.done ? "no answer" : absent ? "no SIM (" + refusal.code + ")" : refusal.code;
    }
    answers.emplace_back("sim", sim.value_or("no answer"));
    if (sim != "READY")
        return false;
    const std::string registration = Registration(s);
    answers.emplace_back("registration", registration);
    if (registration != "home" && (homeOnly || registration != "roaming"))
        return false;
    if (const std::optional<std::string> network = Answer(s, "AT+COPS?", "+COPS:")) {
        // "0,0,\"Operator\"": the name between the quotes.
        const std::size_t open = network->find('"');
        const std::size_t close = network->rfind('"');
        if (open != close)
            answers.emplace_back("operator", network->substr(open + 1, close - open - 1));
    }
    return !interrupted && !lost;
}

std::string GsmCheck::Registration(Session& s)
{
    for (;;) {
        const std::string gsm = RegistrationName(Answer(s, "AT+CREG?", "+CREG:"));
        const std::string lte = RegistrationName(Answer(s, "AT+CEREG?", "+CEREG:"));
        const std::string state = Rank(gsm) <= Rank(lte) ? gsm : lte;
        if (interrupted || lost || state == "home" || state == "roaming" || state == "denied")
            return state;
        // Not registered yet: asked again until the time is up.
        s.progress.Status(Name(), "registration: " + state);
        const auto next = CheckLoop::Clock::now() + RegistrationPeriod;
        if (next >= deadline || !Waited(s.loop.RunUntil([&] { return s.port.IsLost(); }, next), s))
            return state;
    }
}

bool GsmCheck::SignalMeets(const SignalReport& report) const
{
    return report.quality >= minCsq && report.quality <= MaxQuality && report.level >= minLevel;
}

bool GsmCheck::WaitForSignal(Session& s)
{
    phase = Phase::Signal;
    s.effects.StartPolling();
    // Asked again at once rather than 10 s on, when the first report fell short.
    if (!metReport)
        s.rules.OnTimer(ModemRules::PollTimerId);
    const CheckLoop::Stop stop = s.loop.RunUntil([&] { return metReport || s.port.IsLost(); }, deadline);
    return Waited(stop, s) && metReport;
}

bool GsmCheck::Dial(Session& s)
{
    phase = Phase::Dialling;
    s.rules.PhoneNumber() = WideString::FromAscii(dialNumber);
    const std::size_t index = exchanges.size();
    s.rules.OnDial();
    s.progress.Event(Name(), "dialling " + dialNumber);
    const CheckLoop::Stop stop = s.loop.RunUntil(
        [&] {
            const StepResult dial = ResultOf(index);
            return callUpAt || callEndedAt || (dial.done && !dial.accepted) || s.port.IsLost();
        },
        Deadline::After(CheckLoop::Clock::now(), timeoutSeconds));
    const StepResult dial = ResultOf(index);
    if (dial.done)
        dialResult = callEndedAt && !callUpAt ? "NO CARRIER" : dial.code;
    return Waited(stop, s) && callUpAt;
}

bool GsmCheck::Call(Session& s)
{
    if (dialNumber.empty() || !Dial(s))
        return !interrupted && !lost && dialNumber.empty();
    phase = Phase::Holding;
    s.progress.Event(Name(), Format("call up; holding it %g s", holdSeconds));
    const CheckLoop::Stop stop = s.loop.RunUntil([&] { return callEndedAt || s.port.IsLost(); },
        Deadline::After(CheckLoop::Clock::now(), holdSeconds));
    if (!Waited(stop, s))
        return false;
    heldSeconds = (callEndedAt ? *callEndedAt : s.record.Elapsed()) - *callUpAt;
    if (callEndedAt)
        return false;
    phase = Phase::HangingUp;
    const std::size_t index = exchanges.size();
    s.rules.OnDisconnect();
    const CheckLoop::Stop answered = s.loop.RunUntil([&] { return ResultOf(index).done || s.port.IsLost(); },
        Deadline::After(CheckLoop::Clock::now(), timeoutSeconds));
    if (ResultOf(index).done)
        hangUpResult = ResultOf(index).code;
    return Waited(answered, s);
}

void GsmCheck::HangUpAndClose(Session& s)
{
    if (s.port.IsLost())
        return;
    // The dialog's own way out: hang up, and close once the module confirmed it. A call left up by an
    // interrupted or failed check ends here too.
    phase = Phase::Closing;
    s.progress.Event(Name(), "hanging up");
    s.rules.OnOK();
    s.loop.RunUntil([&] { return closeConfirmed || s.port.IsLost(); }, CheckLoop::Clock::now() + CloseWait);
}

GsmCheck::StepResult GsmCheck::ResultOf(std::size_t exchange) const
{
    if (exchange >= exchanges.size())
        return {};
    for (const std::string_view line : Lines(exchanges[exchange].reply)) {
        if (IsFinal(line))
            return { true, line == "OK", ReplyLine(line) };
    }
    return {};
}

void GsmCheck::Measure(CheckRecord& record) const
{
    if (startUp)
        record.Measure("startUp", RecordValue::Text(*startUp));
    if (vendorCommands)
        record.Measure("vendorCommands", RecordValue::Text(*vendorCommands));
    for (const auto& [name, text] : answers)
        record.Measure(name, RecordValue::Text(text));
    // The first report that met the limits, else the best one; 99 (not known) is no better than none.
    const auto valid
        = [](const SignalReport& report) { return report.quality >= 0 && report.quality <= MaxQuality; };
    const SignalReport* shown = metReport ? &signalReports[*metReport] : nullptr;
    for (const SignalReport& report : signalReports) {
        if (!metReport && (!shown || valid(report))
            && (!shown || !valid(*shown) || report.quality > shown->quality))
            shown = &report;
    }
    if (shown && shown->quality >= 0)
        record.Measure("signal", RecordValue::Number(shown->quality));
    if (shown && valid(*shown))
        record.Measure("signalDbm", RecordValue::Number(-113 + 2 * shown->quality));
    if (shown)
        record.Measure("signalLevel", RecordValue::Number(shown->level));
    if (dialResult)
        record.Measure("callSetUp", RecordValue::Text(*dialResult));
    if (heldSeconds)
        record.Measure("callHeld", RecordValue::Number(*heldSeconds, 1));
    if (hangUpResult)
        record.Measure("hangUp", RecordValue::Text(*hangUpResult));
}

void GsmCheck::Describe(CheckRecord& record) const
{
    record.Fact("incomingRings", RecordValue::Number(rings));
    record.Fact("closeConfirmed", RecordValue::Flag(closeConfirmed));
    RecordTable& reports = record.Table("signalReports");
    for (const SignalReport& report : signalReports) {
        reports.rows.push_back({ { "seconds", RecordValue::Number(report.at, 3) },
            { "csq", RecordValue::Number(report.quality) }, { "level", RecordValue::Number(report.level) } });
    }
    RecordTable& table = record.Table("exchanges");
    for (const Exchange& exchange : exchanges) {
        table.rows.push_back({ { "command", RecordValue::Text(exchange.command) },
            { "sentSeconds", RecordValue::Number(exchange.sentAt, 3) },
            { "reply", RecordValue::Text(ReplyLine(exchange.reply)) },
            { "replySeconds",
                exchange.replyAt ? RecordValue::Number(*exchange.replyAt, 3) : RecordValue {} } });
    }
}

std::string GsmCheck::StatusText() const
{
    switch (phase) {
    case Phase::StartUp:
        return "starting the module: " + (exchanges.empty() ? std::string() : exchanges.back().command);
    case Phase::Asking:
        return "asking: " + (exchanges.empty() ? std::string() : exchanges.back().command);
    case Phase::Signal:
        return Format("signal %d, waiting for %d and level %d (queried every %u s)",
            signalReports.empty() ? -1 : signalReports.back().quality, minCsq, minLevel,
            ModemRules::PollTimerPeriodMs / 1000);
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
