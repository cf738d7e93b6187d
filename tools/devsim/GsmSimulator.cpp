#include "tools/devsim/GsmSimulator.h"

#include "tools/common/CommandLine.h"
#include "tools/common/Deadline.h"
#include "tools/devsim/ConsoleInput.h"
#include "tools/devsim/DeviceLink.h"
#include "tools/devsim/PacedWriter.h"
#include "tools/devsim/PseudoTerminal.h"
#include "tools/common/SignalWatch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <poll.h>

namespace {

constexpr const char* Help
    = "Usage: devsim gsm [--link PATH] [--ring-every SECONDS] [--ring-after SECONDS] [OPTIONS]\n"
      "\n"
      "Simulates a GSM module on a pseudo-terminal at 57600-baud pace. Prints the\n"
      "terminal's path on stdout once it is ready, then serves until Ctrl-C.\n"
      "\n"
      "  --link PATH           also make a symbolic link PATH to the terminal (removed at exit)\n"
      "  --ring-after SECONDS  an incoming call that many seconds after start\n"
      "  --ring-every SECONDS  an incoming call every that many seconds (after --ring-after,\n"
      "                        if given, else after the first interval)\n"
      "  --trace               print every command line the module receives\n"
      "\n"
      "What real modules do, on request:\n"
      "  --no-vendor           ERROR to the vendor commands AT^SNFS and AT^SNFO\n"
      "  --unsolicited         \"+CREG: 1\" ahead of every other signal report, and calls\n"
      "                        announced as +CRING: VOICE and +CLIP instead of RING\n"
      "  --no-blank            signal reports without the blank: \"+CSQ:17,99\"\n"
      "  --signal N            a fixed signal value, 0 to 31 or 99 (none), instead of a drift\n"
      "  --fail-calls REPLY    every ATD and ATA answered at once by REPLY, with no OK:\n"
      "                        no-carrier, busy, no-answer or error\n"
      "  --caller-gives-up SECONDS\n"
      "                        a caller stops ringing after SECONDS with no NO CARRIER\n"
      "  --reset-after SECONDS the module resets then: its terminal goes away for 3 s and\n"
      "                        comes back behind the same --link, echo on again\n"
      "  --split-replies       a reply's final result comes 300 ms after the rest\n"
      "\n"
      "The SIM and the network (AT+CPIN?, AT+CREG?, AT+CEREG?, AT+COPS?):\n"
      "  --sim STATE           ready (default), absent or pin (waiting for its PIN)\n"
      "  --registration STATE  home (default), roaming, searching or denied\n"
      "  --register-after SECONDS\n"
      "                        searching until then after switch-on, then as above\n"
      "\n"
      "Answers AT, ATE0/ATE1, AT^SNFS=.., AT^SNFO=.., AT+CSQ, ATD<number>;, ATA, ATH,\n"
      "the identity queries AT+CGMI, AT+CGMM, AT+CGMR, AT+CGSN and the four above;\n"
      "any other AT command gets ERROR. Echo is on until ATE0. An incoming call rings\n"
      "every 3 s until ATA or ATH, or until the caller gives up after 30 s (NO CARRIER);\n"
      "a call ends from the other side after 20 s (NO CARRIER).\n"
      "On a terminal, press r for an incoming call and h to make the other side hang up;\n"
      "otherwise write the lines \"ring\" or \"hangup\" to stdin.\n";

// The final replies --fail-calls offers, by the names a shell user types.
constexpr std::pair<const char*, const char*> CallFailures[] = {
    { "no-carrier", "NO CARRIER" },
    { "busy", "BUSY" },
    { "no-answer", "NO ANSWER" },
    { "error", "ERROR" },
};

constexpr double MaxSeconds = 86400;

// The SIM and registration states by the names a shell user types.
constexpr std::pair<const char*, ModemHabits::Sim> SimStates[] = {
    { "ready", ModemHabits::Sim::Ready },
    { "absent", ModemHabits::Sim::Absent },
    { "pin", ModemHabits::Sim::WaitingForPin },
};
constexpr std::pair<const char*, ModemHabits::Registration> Registrations[] = {
    { "home", ModemHabits::Registration::Home },
    { "roaming", ModemHabits::Registration::Roaming },
    { "searching", ModemHabits::Registration::Searching },
    { "denied", ModemHabits::Registration::Denied },
};

template <typename Value, std::size_t Count>
bool Pick(const std::pair<const char*, Value> (&names)[Count], std::string_view name, Value* value)
{
    for (const auto& [text, named] : names) {
        if (name == text) {
            *value = named;
            return true;
        }
    }
    return false;
}

const char* Describe(ModemModel::CallState state)
{
    switch (state) {
    case ModemModel::CallState::Idle:
        return "no call";
    case ModemModel::CallState::Ringing:
        return "incoming call ringing";
    case ModemModel::CallState::Connected:
        return "call connected";
    }
    return "";
}

}

int GsmSimulator::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "gsm", Help, [&](bool* help) { return Parse(arguments, help); },
        [this] { return Serve(); });
}

bool GsmSimulator::Parse(CommandLine& arguments, bool* help)
{
    const bool parsed = arguments.ParseOptions(help, [&](std::string_view option) {
        double seconds = 0;
        if (option == "--link") {
            if (arguments.Value(&linkPath) && linkPath.empty())
                arguments.Fail("--link needs a path");
        } else if (option == "--ring-every") {
            if (arguments.Number(1, MaxSeconds, &seconds))
                ringEvery = seconds;
        } else if (option == "--ring-after") {
            if (arguments.Number(0, MaxSeconds, &seconds))
                ringAfter = seconds;
        } else if (option == "--reset-after") {
            if (arguments.Number(0, MaxSeconds, &seconds))
                resetAfter = seconds;
        } else if (option == "--split-replies") {
            splitReplies = arguments.NoValue();
        } else if (option == "--trace") {
            trace = arguments.NoValue();
        } else {
            return ParseHabit(option, arguments) || ParseNetwork(option, arguments);
        }
        return true;
    });
    // Only a link keeps the name while the terminal behind it is replaced.
    if (parsed && !*help && resetAfter && linkPath.empty())
        arguments.Fail("--reset-after needs --link, the name the module comes back under");
    return !arguments.Failed();
}

// The options that pick the SIM and the network; false for any other option.
bool GsmSimulator::ParseNetwork(std::string_view option, CommandLine& arguments)
{
    std::string name;
    if (option == "--sim") {
        if (arguments.Value(&name) && !Pick(SimStates, name, &habits.sim))
            arguments.Fail("--sim needs ready, absent or pin, not \"" + name + "\"");
    } else if (option == "--registration") {
        if (arguments.Value(&name) && !Pick(Registrations, name, &habits.registration))
            arguments.Fail("--registration needs home, roaming, searching or denied, not \"" + name + "\"");
    } else if (option == "--register-after") {
        double seconds = 0;
        if (arguments.Number(0, MaxSeconds, &seconds))
            habits.registerAfter
                = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline::Seconds(seconds));
    } else {
        return false;
    }
    return true;
}

// The options that pick a module's habits; false for any other option.
bool GsmSimulator::ParseHabit(std::string_view option, CommandLine& arguments)
{
    double number = 0;
    if (option == "--no-vendor") {
        habits.vendorCommands = !arguments.NoValue();
    } else if (option == "--unsolicited") {
        habits.unsolicited = arguments.NoValue();
    } else if (option == "--no-blank") {
        habits.blankInReport = !arguments.NoValue();
    } else if (option == "--signal") {
        if (arguments.Number(0, 99, &number)
            && (number != static_cast<int>(number) || (number > 31 && number != 99)))
            arguments.Fail("--signal needs a whole number from 0 to 31, or 99");
        habits.signal = static_cast<int>(number);
    } else if (option == "--fail-calls") {
        std::string reply;
        if (!arguments.Value(&reply))
            return true;
        for (const auto& [name, result] : CallFailures) {
            if (reply == name)
                habits.callFailure = result;
        }
        if (habits.callFailure.empty())
            arguments.Fail("--fail-calls needs no-carrier, busy, no-answer or error, not \"" + reply + "\"");
    } else if (option == "--caller-gives-up") {
        if (arguments.Number(1, MaxSeconds, &number)) {
            habits.giveUpAfter
                = std::chrono::duration_cast<std::chrono::milliseconds>(Deadline::Seconds(number));
            habits.giveUpSilently = true;
        }
    } else {
        return false;
    }
    return true;
}

int GsmSimulator::Serve()
{
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "devsim gsm: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 1;
    }
    ConsoleInput console;
    console.Open();
    const auto start = Clock::now();
    if (ringAfter)
        scheduledRing = Deadline::After(start, *ringAfter);
    else if (ringEvery)
        scheduledRing = Deadline::After(start, *ringEvery);
    if (resetAfter)
        scheduledReset = Deadline::After(start, *resetAfter);
    for (bool first = true;; first = false) {
        const PowerCycle end = RunModule(signals, console, first);
        if (end == PowerCycle::Failed)
            return 1;
        if (end == PowerCycle::Stopped || !WaitWhileAway(signals))
            break;
    }
    std::fprintf(stderr, "devsim gsm: stopped\n");
    return 0;
}

GsmSimulator::PowerCycle GsmSimulator::RunModule(SignalWatch& signals, ConsoleInput& console, bool first)
{
    std::string error;
    PseudoTerminal port(StaleBytes);
    DeviceLink link;
    if (!port.Open(&error) || (!linkPath.empty() && !link.Create(linkPath, port.SlavePath(), &error))) {
        std::fprintf(stderr, "devsim gsm: %s\n", error.c_str());
        return PowerCycle::Failed;
    }
    Announce(port, console, first);
    ModemModel modem(Clock::now(), habits);
    PacedWriter writer(port, BytesPerSecond, PieceBytes);
    held.clear();
    for (;;) {
        const auto now = Clock::now();
        if (scheduledReset && now >= *scheduledReset) {
            scheduledReset.reset();
            return PowerCycle::Reset;
        }
        Queue(writer, modem.Advance(now), false, now);
        RunSchedule(modem, writer, now);
        ReleaseHeld(writer, now);
        ReportState(modem);
        if (!writer.Pump(now)) {
            std::fprintf(stderr, "devsim gsm: writing to the terminal failed: %s\n", std::strerror(errno));
            return PowerCycle::Failed;
        }
        pollfd watched[]
            = { { signals.Fd(), POLLIN, 0 }, { port.MasterFd(), POLLIN, 0 }, { console.Fd(), POLLIN, 0 } };
        if (poll(watched, console.Fd() >= 0 ? 3 : 2, Timeout(modem, writer)) < 0 && errno != EINTR) {
            std::fprintf(stderr, "devsim gsm: poll failed: %s\n", std::strerror(errno));
            return PowerCycle::Failed;
        }
        if (watched[0].revents != 0 && signals.Take() != 0)
            return PowerCycle::Stopped;
        if (watched[1].revents & POLLIN)
            ReadFromProgram(port, modem, writer);
        if (console.Fd() >= 0 && watched[2].revents != 0)
            HandleConsole(console, modem, writer);
    }
}

// The terminal and the link are gone while the module restarts; Ctrl-C still ends the simulator.
bool GsmSimulator::WaitWhileAway(SignalWatch& signals)
{
    std::fprintf(
        stderr, "devsim gsm: module reset, away for %lld s\n", static_cast<long long>(ResetDownTime.count()));
    reportedState = ModemModel::CallState::Idle;
    return signals.SleepUntil(Clock::now() + ResetDownTime);
}

void GsmSimulator::Announce(const PseudoTerminal& port, const ConsoleInput& console, bool first) const
{
    const std::string where
        = linkPath.empty() ? port.SlavePath() : port.SlavePath() + " (link " + linkPath + ")";
    if (!first) {
        std::fprintf(stderr, "devsim gsm: module back on %s, echo on until ATE0\n", where.c_str());
        return;
    }
    // The path on stdout is the sign of readiness: the terminal and the link exist from here on.
    std::printf("%s\n", port.SlavePath().c_str());
    std::fflush(stdout);
    const char* calls = console.KeyMode() ? "press r to ring, h to hang up from the other side"
        : console.Fd() >= 0               ? "write \"ring\" or \"hangup\" lines to stdin for calls"
                                          : "incoming calls only by schedule";
    std::fprintf(
        stderr, "devsim gsm: GSM module on %s at 57600 baud, echo on until ATE0; %s\n", where.c_str(), calls);
}

int GsmSimulator::Timeout(const ModemModel& modem, const PacedWriter& writer) const
{
    const auto now = Clock::now();
    int timeout = Deadline::Sooner(writer.TimeoutMs(now), Deadline::PollTimeout(modem.NextDeadline(), now));
    if (!held.empty())
        timeout = Deadline::Sooner(timeout, Deadline::PollTimeout(held.front().first, now));
    timeout = Deadline::Sooner(timeout, Deadline::PollTimeout(scheduledReset, now));
    return Deadline::Sooner(timeout, Deadline::PollTimeout(scheduledRing, now));
}

void GsmSimulator::ReadFromProgram(PseudoTerminal& port, ModemModel& modem, PacedWriter& writer)
{
    char buffer[256];
    long got = 0;
    while ((got = port.Read(buffer, sizeof buffer)) > 0) {
        const std::string_view bytes(buffer, static_cast<std::size_t>(got));
        if (trace)
            Trace(bytes);
        const auto now = Clock::now();
        Queue(writer, modem.Receive(bytes, now), true, now);
    }
}

// One line per command as the module receives it, up to its CR; other control bytes as \xHH.
void GsmSimulator::Trace(std::string_view bytes)
{
    for (const char c : bytes) {
        if (c == '\r') {
            std::fprintf(stderr, "devsim gsm: received \"%s\"\n", traceLine.c_str());
            traceLine.clear();
        } else if (c != '\n' && traceLine.size() < ModemModel::MaxLine) {
            char shown[8];
            const auto byte = static_cast<unsigned char>(c);
            std::snprintf(shown, sizeof shown, byte >= 0x20 && byte < 0x7F ? "%c" : "\\x%02X", byte);
            traceLine += shown;
        }
    }
}

void GsmSimulator::Queue(PacedWriter& writer, std::string text, bool reply, Clock::time_point now)
{
    if (text.empty())
        return;
    // Split where the final result line starts, as a module that answers in two goes does.
    const std::size_t lastLine = splitReplies && reply ? text.rfind("\r\n\r\n") : std::string::npos;
    std::string rest;
    if (lastLine != std::string::npos) {
        rest = text.substr(lastLine + 2);
        text.resize(lastLine + 2);
    }
    if (held.empty())
        writer.Push(std::move(text));
    else
        held.emplace_back(held.back().first, std::move(text));
    if (!rest.empty())
        held.emplace_back((held.empty() ? now : held.back().first) + SplitPause, std::move(rest));
}

void GsmSimulator::ReleaseHeld(PacedWriter& writer, Clock::time_point now)
{
    while (!held.empty() && held.front().first <= now) {
        writer.Push(std::move(held.front().second));
        held.pop_front();
    }
}

void GsmSimulator::ReportState(const ModemModel& modem)
{
    if (modem.State() == reportedState)
        return;
    reportedState = modem.State();
    std::fprintf(stderr, "devsim gsm: %s\n", Describe(reportedState));
}

void GsmSimulator::RunSchedule(ModemModel& modem, PacedWriter& writer, Clock::time_point now)
{
    if (!scheduledRing || now < *scheduledRing)
        return;
    std::string output;
    if (!modem.StartIncomingCall(now, &output))
        std::fprintf(stderr, "devsim gsm: scheduled call skipped: %s\n", Describe(modem.State()));
    Queue(writer, std::move(output), false, now);
    if (ringEvery)
        scheduledRing = Deadline::After(now, *ringEvery);
    else
        scheduledRing.reset();
}

void GsmSimulator::HandleConsole(ConsoleInput& console, ModemModel& modem, PacedWriter& writer)
{
    std::string unknown;
    for (const ConsoleCommand command : console.Read(&unknown)) {
        std::string output;
        if (command == ConsoleCommand::Ring && !modem.StartIncomingCall(Clock::now(), &output))
            std::fprintf(stderr, "devsim gsm: cannot ring: %s\n", Describe(modem.State()));
        if (command == ConsoleCommand::HangUp && !modem.RemoteHangUp(&output))
            std::fprintf(stderr, "devsim gsm: no call to hang up\n");
        Queue(writer, std::move(output), false, Clock::now());
    }
    ReportState(modem);
    if (!unknown.empty())
        std::fprintf(stderr, "devsim gsm: \"%s\" is not a request (%s)\n", unknown.c_str(),
            console.KeyMode() ? "keys: r ring, h hang up" : "lines: ring, hangup");
}
