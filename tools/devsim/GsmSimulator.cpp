#include "tools/devsim/GsmSimulator.h"

#include "tools/devsim/CommandLine.h"
#include "tools/devsim/ConsoleInput.h"
#include "tools/devsim/DeviceLink.h"
#include "tools/devsim/PacedWriter.h"
#include "tools/devsim/PseudoTerminal.h"
#include "tools/devsim/SignalWatch.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <poll.h>

namespace {

constexpr const char* Help
    = "Usage: devsim gsm [--link PATH] [--ring-every SECONDS] [--ring-after SECONDS]\n"
      "\n"
      "Simulates a GSM module on a pseudo-terminal at 57600-baud pace. Prints the\n"
      "terminal's path on stdout once it is ready, then serves until Ctrl-C.\n"
      "\n"
      "  --link PATH           also make a symbolic link PATH to the terminal (removed at exit)\n"
      "  --ring-after SECONDS  an incoming call that many seconds after start\n"
      "  --ring-every SECONDS  an incoming call every that many seconds (after --ring-after,\n"
      "                        if given, else after the first interval)\n"
      "\n"
      "Answers AT, ATE0/ATE1, AT^SNFS=.., AT^SNFO=.., AT+CSQ, ATD<number>;, ATA and ATH;\n"
      "any other AT command gets ERROR. Echo is on until ATE0. An incoming call rings\n"
      "every 3 s until ATA or ATH, or until the caller gives up after 30 s (NO CARRIER);\n"
      "a call ends from the other side after 20 s (NO CARRIER).\n"
      "On a terminal, press r for an incoming call and h to make the other side hang up;\n"
      "otherwise write the lines \"ring\" or \"hangup\" to stdin.\n";

constexpr double MaxSeconds = 86400;

std::chrono::steady_clock::duration Seconds(double seconds)
{
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(seconds));
}

int Sooner(int a, int b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return a < b ? a : b;
}

int MillisecondsUntil(std::optional<ModemModel::Clock::time_point> when, ModemModel::Clock::time_point now)
{
    if (!when)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*when - now).count();
    return left <= 0 ? 0 : static_cast<int>(left);
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
        arguments, "gsm", Help, [&](bool* help) { return Parse(arguments, help); }, [this] { return Serve(); });
}

bool GsmSimulator::Parse(CommandLine& arguments, bool* help)
{
    while (!arguments.AtEnd() && !arguments.Failed()) {
        const std::string_view option = arguments.Next();
        double seconds = 0;
        if (option == "--help" || option == "-h") {
            *help = true;
            return true;
        }
        if (option == "--link") {
            if (arguments.Value(&linkPath) && linkPath.empty())
                arguments.Fail("--link needs a path");
        } else if (option == "--ring-every") {
            if (arguments.Number(1, MaxSeconds, &seconds))
                ringEvery = seconds;
        } else if (option == "--ring-after") {
            if (arguments.Number(0, MaxSeconds, &seconds))
                ringAfter = seconds;
        } else {
            arguments.Fail("unknown option \"" + std::string(option) + "\"");
        }
    }
    return !arguments.Failed();
}

int GsmSimulator::Serve()
{
    std::string error;
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "devsim gsm: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 1;
    }
    PseudoTerminal port(StaleBytes);
    DeviceLink link;
    if (!port.Open(&error) || (!linkPath.empty() && !link.Create(linkPath, port.SlavePath(), &error))) {
        std::fprintf(stderr, "devsim gsm: %s\n", error.c_str());
        return 1;
    }
    ConsoleInput console;
    console.Open();
    Announce(port, console);

    const auto start = ModemModel::Clock::now();
    ModemModel modem(start);
    PacedWriter writer(port, BytesPerSecond, PieceBytes);
    if (ringAfter)
        scheduledRing = start + Seconds(*ringAfter);
    else if (ringEvery)
        scheduledRing = start + Seconds(*ringEvery);
    for (;;) {
        const auto now = ModemModel::Clock::now();
        writer.Push(modem.Advance(now));
        RunSchedule(modem, writer, now);
        ReportState(modem);
        if (!writer.Pump(now)) {
            std::fprintf(stderr, "devsim gsm: writing to the terminal failed: %s\n", std::strerror(errno));
            return 1;
        }
        pollfd watched[]
            = { { signals.Fd(), POLLIN, 0 }, { port.MasterFd(), POLLIN, 0 }, { console.Fd(), POLLIN, 0 } };
        if (poll(watched, console.Fd() >= 0 ? 3 : 2, Timeout(modem, writer)) < 0 && errno != EINTR) {
            std::fprintf(stderr, "devsim gsm: poll failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (watched[0].revents != 0 && signals.Take() != 0)
            break;
        if (watched[1].revents & POLLIN)
            ReadFromProgram(port, modem, writer);
        if (console.Fd() >= 0 && watched[2].revents != 0)
            HandleConsole(console, modem, writer);
    }
    std::fprintf(stderr, "devsim gsm: stopped\n");
    return 0;
}

void GsmSimulator::Announce(const PseudoTerminal& port, const ConsoleInput& console) const
{
    // The path on stdout is the sign of readiness: the terminal and the link exist from here on.
    std::printf("%s\n", port.SlavePath().c_str());
    std::fflush(stdout);
    const std::string where
        = linkPath.empty() ? port.SlavePath() : port.SlavePath() + " (link " + linkPath + ")";
    const char* calls = console.KeyMode() ? "press r to ring, h to hang up from the other side"
        : console.Fd() >= 0               ? "write \"ring\" or \"hangup\" lines to stdin for calls"
                                          : "incoming calls only by schedule";
    std::fprintf(
        stderr, "devsim gsm: GSM module on %s at 57600 baud, echo on until ATE0; %s\n", where.c_str(), calls);
}

int GsmSimulator::Timeout(const ModemModel& modem, const PacedWriter& writer) const
{
    const auto now = ModemModel::Clock::now();
    const int timeout = Sooner(writer.TimeoutMs(now), MillisecondsUntil(modem.NextDeadline(), now));
    return Sooner(timeout, MillisecondsUntil(scheduledRing, now));
}

void GsmSimulator::ReadFromProgram(PseudoTerminal& port, ModemModel& modem, PacedWriter& writer)
{
    char buffer[256];
    long got = 0;
    while ((got = port.Read(buffer, sizeof buffer)) > 0) {
        const std::string_view bytes(buffer, static_cast<std::size_t>(got));
        writer.Push(modem.Receive(bytes, ModemModel::Clock::now()));
    }
}

void GsmSimulator::ReportState(const ModemModel& modem)
{
    if (modem.State() == reportedState)
        return;
    reportedState = modem.State();
    std::fprintf(stderr, "devsim gsm: %s\n", Describe(reportedState));
}

void GsmSimulator::RunSchedule(ModemModel& modem, PacedWriter& writer, ModemModel::Clock::time_point now)
{
    if (!scheduledRing || now < *scheduledRing)
        return;
    std::string output;
    if (!modem.StartIncomingCall(now, &output))
        std::fprintf(stderr, "devsim gsm: scheduled call skipped: %s\n", Describe(modem.State()));
    writer.Push(output);
    if (ringEvery)
        scheduledRing = now + Seconds(*ringEvery);
    else
        scheduledRing.reset();
}

void GsmSimulator::HandleConsole(ConsoleInput& console, ModemModel& modem, PacedWriter& writer)
{
    std::string unknown;
    for (const ConsoleCommand command : console.Read(&unknown)) {
        std::string output;
        if (command == ConsoleCommand::Ring && !modem.StartIncomingCall(ModemModel::Clock::now(), &output))
            std::fprintf(stderr, "devsim gsm: cannot ring: %s\n", Describe(modem.State()));
        if (command == ConsoleCommand::HangUp && !modem.RemoteHangUp(&output))
            std::fprintf(stderr, "devsim gsm: no call to hang up\n");
        writer.Push(output);
    }
    ReportState(modem);
    if (!unknown.empty())
        std::fprintf(stderr, "devsim gsm: \"%s\" is not a request (%s)\n", unknown.c_str(),
            console.KeyMode() ? "keys: r ring, h hang up" : "lines: ring, hangup");
}
