#pragma once

#include "tools/devsim/ModemModel.h"

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <utility>

class CommandLine;
class ConsoleInput;
class PacedWriter;
class PseudoTerminal;
class SignalWatch;

// `devsim gsm`: a GSM module on a pseudo-terminal, answering AT commands at 57600-baud pace (see
// ModemModel for what it understands). Incoming calls come from a key or line on devsim's own stdin
// or from a schedule given on the command line. Options add what real modules do beyond the happy path
// (ModemHabits), a reset that takes the terminal away for a while, and replies that come in two goes.
class GsmSimulator {
public:
    // 57600 baud, 8N1.
    static constexpr int BytesPerSecond = 5760;
    static constexpr std::size_t PieceBytes = 32;
    // Replies and RINGs nobody reads are dropped beyond this (see PseudoTerminal).
    static constexpr std::size_t StaleBytes = 1024;
    // How long a reset module stays away, and the pause inside a reply that comes in two goes: longer
    // than a serial link waits before it hands over what has arrived.
    static constexpr std::chrono::seconds ResetDownTime { 3 };
    static constexpr std::chrono::milliseconds SplitPause { 300 };

    // Runs the subcommand with the arguments after "gsm". Exit status as GpsSimulator::Main.
    int Main(CommandLine& arguments);

private:
    using Clock = ModemModel::Clock;
    enum class PowerCycle { Stopped, Reset, Failed };

    bool Parse(CommandLine& arguments, bool* help);
    bool ParseHabit(std::string_view option, CommandLine& arguments);
    bool ParseNetwork(std::string_view option, CommandLine& arguments);
    int Serve();
    // One stretch of the module being there, from switching on to Ctrl-C, a reset or a failure.
    PowerCycle RunModule(SignalWatch& signals, ConsoleInput& console, bool first);
    bool WaitWhileAway(SignalWatch& signals);
    void Announce(const PseudoTerminal& port, const ConsoleInput& console, bool first) const;
    // Milliseconds until the writer, the module, a held-back reply, the ring schedule or the reset has
    // something to do.
    int Timeout(const ModemModel& modem, const PacedWriter& writer) const;
    void ReadFromProgram(PseudoTerminal& port, ModemModel& modem, PacedWriter& writer);
    void Trace(std::string_view bytes);
    // Queues output behind anything held back; a reply may be split before its final result line.
    void Queue(PacedWriter& writer, std::string text, bool reply, Clock::time_point now);
    void ReleaseHeld(PacedWriter& writer, Clock::time_point now);
    // Tells the person running the simulator when a call starts or ends.
    void ReportState(const ModemModel& modem);
    void RunSchedule(ModemModel& modem, PacedWriter& writer, Clock::time_point now);
    void HandleConsole(ConsoleInput& console, ModemModel& modem, PacedWriter& writer);

    std::string linkPath;
    std::optional<double> ringEvery;
    std::optional<double> ringAfter;
    std::optional<double> resetAfter;
    bool splitReplies = false;
    bool trace = false;
    ModemHabits habits;

    std::optional<Clock::time_point> scheduledRing;
    std::optional<Clock::time_point> scheduledReset;
    ModemModel::CallState reportedState = ModemModel::CallState::Idle;
    std::deque<std::pair<Clock::time_point, std::string>> held;
    std::string traceLine;
};
