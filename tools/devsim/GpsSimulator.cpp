#include "tools/devsim/GpsSimulator.h"

#include "tools/devsim/CaptureReplay.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Deadline.h"
#include "tools/devsim/DeviceLink.h"
#include "tools/devsim/NmeaSentence.h"
#include "tools/devsim/PacedWriter.h"
#include "tools/devsim/PseudoTerminal.h"
#include "tools/devsim/ReceiverModel.h"
#include "tools/common/SignalWatch.h"
#include "tools/common/UbxFrame.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include <poll.h>

namespace {

constexpr const char* Help
    = "Usage: devsim gps [--link PATH] [--replay FILE] [--speed KMH] [--talker GP|GN]\n"
      "                  [--no-fix] [--no-gsa] [--snr DB] [--bad-checksums SHARE]\n"
      "                  [--vanish-after S [--back-after S]]\n"
      "\n"
      "Simulates a GPS receiver on a pseudo-terminal at 9600-baud pace. Prints the\n"
      "terminal's path on stdout once it is ready, then serves until Ctrl-C.\n"
      "\n"
      "  --link PATH    also make a symbolic link PATH to the terminal (removed at exit)\n"
      "  --replay FILE  play a receiver capture (lines starting with '#' left out) over\n"
      "                 and over instead of the generated drive\n"
      "  --speed KMH    average speed of the generated drive, 0 to 300 (default 50)\n"
      "  --talker GN    talk as a GPS and GLONASS receiver: RMC, VTG, GGA and GLL as\n"
      "                 $GN..., one $GNGSA per system with its system id, satellites\n"
      "                 as $GPGSV and $GLGSV (default GP everywhere, GPS only)\n"
      "  --vanish-after S  go away S seconds after appearing, as an unplugged adapter:\n"
      "                 the terminal hangs up and the link disappears; the receiver\n"
      "                 comes back --back-after S later (default 5), freshly switched\n"
      "                 on, under the same link (its new path on stdout), and so on\n"
      "\n"
      "Faults a test rig must catch, on request:\n"
      "  --no-fix       never a fix (satellites in view, none good enough)\n"
      "  --no-gsa       no GSA sentences, as a receiver configured without them\n"
      "  --snr DB       every tracked satellite at DB dB-Hz, 0 to 99 (a weak antenna)\n"
      "  --bad-checksums SHARE\n"
      "                 that share of sentences (0 to 1, spread evenly) with a wrong\n"
      "                 checksum, as on a noisy line\n"
      "\n"
      "Generated output: RMC, VTG, GGA, GSA, GSV and GLL once a second, no fix for\n"
      "the first 5 seconds. A CFG-RATE frame with a good checksum is answered with\n"
      "ACK-ACK and sets the report period until the receiver goes away.\n";

// The first multiple of the period (counted from the Unix epoch, so reports fall on whole seconds
// the way a receiver's do) that lies after now.
std::chrono::system_clock::time_point AlignedAfter(std::chrono::system_clock::time_point now, int periodMs)
{
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const long long next = (since / periodMs + 1) * periodMs;
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(next));
}

}

int GpsSimulator::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "gps", Help, [&](bool* help) { return Parse(arguments, help); },
        [this] { return Serve(); });
}

bool GpsSimulator::Parse(CommandLine& arguments, bool* help)
{
    bool backGiven = false;
    bool shaped = false; // an option that shapes the generated drive
    const bool parsed = arguments.ParseOptions(help, [&](std::string_view option) {
        if (option == "--link") {
            if (arguments.Value(&linkPath) && linkPath.empty())
                arguments.Fail("--link needs a path");
        } else if (option == "--replay") {
            if (arguments.Value(&replayPath) && replayPath.empty())
                arguments.Fail("--replay needs a file");
        } else if (option == "--vanish-after") {
            (void)arguments.Number(0.1, 86400, &vanishAfter);
        } else if (option == "--back-after") {
            backGiven = arguments.Number(0.1, 3600, &backAfter);
        } else if (ParseHabit(option, arguments)) {
            shaped = true;
        } else {
            return false;
        }
        return true;
    });
    if (!parsed || *help)
        return parsed;
    if (shaped && !replayPath.empty())
        arguments.Fail("--replay plays a capture as it is; the options that shape the generated drive cannot "
                       "go with it");
    else if (backGiven && vanishAfter == 0)
        arguments.Fail("--back-after needs --vanish-after");
    return !arguments.Failed();
}

// The options that shape the generated drive and the receiver's faults; false for any other option.
bool GpsSimulator::ParseHabit(std::string_view option, CommandLine& arguments)
{
    if (option == "--speed") {
        (void)arguments.Number(0, 300, &speedKmh);
    } else if (option == "--talker") {
        std::string name;
        if (arguments.Value(&name) && name != "GP" && name != "GN")
            arguments.Fail("--talker takes GP or GN, not \"" + name + "\"");
        habits.talker = name == "GN" ? ReceiverModel::Talker::Combined : ReceiverModel::Talker::Gps;
    } else if (option == "--no-fix") {
        habits.fix = !arguments.NoValue();
    } else if (option == "--no-gsa") {
        habits.gsa = !arguments.NoValue();
    } else if (option == "--snr") {
        (void)arguments.WholeNumber(0, 99, &habits.snr);
    } else if (option == "--bad-checksums") {
        (void)arguments.Number(0, 1, &badChecksumShare);
    } else {
        return false;
    }
    return true;
}

int GpsSimulator::Serve()
{
    std::string error;
    CaptureReplay replay;
    if (!replayPath.empty() && !replay.Load(replayPath, &error)) {
        std::fprintf(stderr, "devsim gps: %s\n", error.c_str());
        return 1;
    }
    SignalWatch signals;
    if (!signals.Open()) {
        std::fprintf(stderr, "devsim gps: cannot watch for Ctrl-C: %s\n", std::strerror(errno));
        return 1;
    }
    const ReceiverModel receiver(speedKmh, habits);
    for (;;) {
        const Ending ending = ServeTerminal(receiver, replay, signals);
        if (ending == Ending::Failed)
            return 1;
        if (ending == Ending::Stopped || !StayAway(signals))
            break;
    }
    std::fprintf(stderr, "devsim gps: stopped\n");
    return 0;
}

GpsSimulator::Ending GpsSimulator::ServeTerminal(
    const ReceiverModel& receiver, CaptureReplay& replay, SignalWatch& signals)
{
    std::string error;
    PseudoTerminal port(StaleBytes);
    // Declared after the terminal, so that going away removes the link before the terminal hangs up.
    DeviceLink link;
    if (!port.Open(&error) || (!linkPath.empty() && !link.Create(linkPath, port.SlavePath(), &error))) {
        std::fprintf(stderr, "devsim gps: %s\n", error.c_str());
        return Ending::Failed;
    }
    Announce(port, replay.Size());
    // Every appearance is a switch-on: the default period, and no fix for the first seconds.
    periodMs = 1000;
    navRate = 1;
    timeRef = 0;
    decoder = UbxRateDecoder();
    switchedOn = std::chrono::system_clock::now();
    ScheduleNextReport(switchedOn);
    return RunTerminal(port, receiver, replay, signals);
}

GpsSimulator::Ending GpsSimulator::RunTerminal(
    PseudoTerminal& port, const ReceiverModel& receiver, CaptureReplay& replay, SignalWatch& signals)
{
    PacedWriter writer(port, BytesPerSecond, PieceBytes);
    const auto vanishAt = Deadline::After(PacedWriter::Clock::now(), vanishAfter);
    for (;;) {
        Produce(receiver, replay, writer);
        if (!writer.Pump(PacedWriter::Clock::now())) {
            std::fprintf(stderr, "devsim gps: writing to the terminal failed: %s\n", std::strerror(errno));
            return Ending::Failed;
        }
        int timeout = Timeout(writer);
        if (vanishAfter > 0) {
            const int left = Deadline::PollTimeout(vanishAt, PacedWriter::Clock::now());
            if (left == 0)
                return Ending::Vanished;
            timeout = Deadline::Sooner(timeout, left);
        }
        pollfd watched[] = { { signals.Fd(), POLLIN, 0 }, { port.MasterFd(), POLLIN, 0 } };
        if (poll(watched, 2, timeout) < 0 && errno != EINTR) {
            std::fprintf(stderr, "devsim gps: poll failed: %s\n", std::strerror(errno));
            return Ending::Failed;
        }
        if (watched[0].revents != 0 && signals.Take() != 0)
            return Ending::Stopped;
        if (watched[1].revents & POLLIN)
            ReadFromProgram(port, writer);
    }
}

bool GpsSimulator::StayAway(SignalWatch& signals) const
{
    std::fprintf(stderr, "devsim gps: receiver gone (terminal hung up%s), back in %g s\n",
        linkPath.empty() ? "" : ", link removed", backAfter);
    return signals.SleepUntil(Deadline::After(std::chrono::steady_clock::now(), backAfter));
}

void GpsSimulator::Announce(const PseudoTerminal& port, std::size_t replayBytes)
{
    // The path on stdout is the sign of readiness: the terminal and the link exist from here on.
    std::printf("%s\n", port.SlavePath().c_str());
    std::fflush(stdout);
    const std::string where
        = linkPath.empty() ? port.SlavePath() : port.SlavePath() + " (link " + linkPath + ")";
    if (announced) {
        std::fprintf(stderr, "devsim gps: receiver back on %s, switched on afresh\n", where.c_str());
        return;
    }
    announced = true;
    if (!replayPath.empty())
        std::fprintf(stderr, "devsim gps: GPS receiver on %s at 9600 baud, replaying %s (%zu bytes a pass)\n",
            where.c_str(), replayPath.c_str(), replayBytes);
    else
        std::fprintf(stderr,
            "devsim gps: GPS receiver on %s at 9600 baud, reports every 1 s driving a town loop at %g km/h "
            "with the %s talker, first fix after %g s\n",
            where.c_str(), speedKmh, habits.talker == ReceiverModel::Talker::Combined ? "GN" : "GP",
            ReceiverModel::NoFixSeconds);
}

void GpsSimulator::Produce(const ReceiverModel& receiver, CaptureReplay& replay, PacedWriter& writer)
{
    if (!replayPath.empty()) {
        if (writer.Pending() < 4 * PieceBytes)
            writer.Push(replay.Next(16 * PieceBytes));
        return;
    }
    const auto now = std::chrono::system_clock::now();
    if (nextReport - now > std::chrono::milliseconds(periodMs))
        ScheduleNextReport(now); // the clock was set back
    if (now < nextReport)
        return;
    // A report that would start before the last one is out is skipped, as a receiver set faster than
    // its line can carry drops output.
    if (writer.Idle()) {
        const double sinceStart = std::chrono::duration<double>(nextReport - switchedOn).count();
        for (std::string& sentence : receiver.Report(nextReport, sinceStart)) {
            // The given share of sentences, spread evenly, as a noisy line damages them.
            badChecksumDebt += badChecksumShare;
            if (badChecksumDebt >= 1) {
                badChecksumDebt -= 1;
                SpoilChecksum(&sentence);
            }
            writer.Push(std::move(sentence));
        }
    }
    ScheduleNextReport(now);
}

int GpsSimulator::Timeout(const PacedWriter& writer) const
{
    const int writing = writer.TimeoutMs(PacedWriter::Clock::now());
    if (!replayPath.empty())
        return writing;
    return Deadline::Sooner(writing, Deadline::PollTimeout(nextReport, std::chrono::system_clock::now()));
}

void GpsSimulator::ReadFromProgram(PseudoTerminal& port, PacedWriter& writer)
{
    std::uint8_t buffer[256];
    long got = 0;
    while ((got = port.Read(reinterpret_cast<char*>(buffer), sizeof buffer)) > 0)
        HandleRequests(decoder.Feed(buffer, static_cast<std::size_t>(got)), &writer);
}

void GpsSimulator::HandleRequests(const UbxRateDecoder::Requests& requests, PacedWriter* writer)
{
    for (const UbxRateRequest& request : requests) {
        if (request.kind == UbxRateRequest::Kind::Poll) {
            writer->PushNext(Ubx::MakeCfgRate(static_cast<std::uint16_t>(periodMs), navRate, timeRef)
                + Ubx::MakeAck(Ubx::ClassCfg, Ubx::IdCfgRate, true));
            continue;
        }
        if (request.measRateMs < MinPeriodMs) {
            writer->PushNext(Ubx::MakeAck(Ubx::ClassCfg, Ubx::IdCfgRate, false));
            std::fprintf(stderr, "devsim gps: refused a report period of %u ms (NAK)\n", request.measRateMs);
            continue;
        }
        writer->PushNext(Ubx::MakeAck(Ubx::ClassCfg, Ubx::IdCfgRate, true));
        periodMs = request.measRateMs;
        navRate = request.navRate;
        timeRef = request.timeRef;
        ScheduleNextReport(std::chrono::system_clock::now());
        std::fprintf(stderr, "devsim gps: report period now %d ms (ACK)%s\n", periodMs,
            replayPath.empty() ? "" : "; the replay keeps the capture's own pace");
    }
}

void GpsSimulator::ScheduleNextReport(std::chrono::system_clock::time_point now)
{
    nextReport = AlignedAfter(now, periodMs);
}
