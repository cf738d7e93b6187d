#pragma once

#include "tools/devsim/ModemModel.h"

#include <chrono>
#include <optional>
#include <string>

class CommandLine;
class ConsoleInput;
class PacedWriter;
class PseudoTerminal;

// `devsim gsm`: a GSM module on a pseudo-terminal, answering AT commands at 57600-baud pace (see
// ModemModel for what it understands). Incoming calls come from a key or line on devsim's own stdin
// or from a schedule given on the command line.
class GsmSimulator {
public:
    // 57600 baud, 8N1.
    static constexpr int BytesPerSecond = 5760;
    static constexpr std::size_t PieceBytes = 32;
    // Replies and RINGs nobody reads are dropped beyond this (see PseudoTerminal).
    static constexpr std::size_t StaleBytes = 1024;

    // Runs the subcommand with the arguments after "gsm". Exit status as GpsSimulator::Main.
    int Main(CommandLine& arguments);

private:
    bool Parse(CommandLine& arguments, bool* help);
    int Serve();
    void Announce(const PseudoTerminal& port, const ConsoleInput& console) const;
    // Milliseconds until the writer, the module or the ring schedule has something to do.
    int Timeout(const ModemModel& modem, const PacedWriter& writer) const;
    void ReadFromProgram(PseudoTerminal& port, ModemModel& modem, PacedWriter& writer);
    // Tells the person running the simulator when a call starts or ends.
    void ReportState(const ModemModel& modem);
    void RunSchedule(ModemModel& modem, PacedWriter& writer, ModemModel::Clock::time_point now);
    void HandleConsole(ConsoleInput& console, ModemModel& modem, PacedWriter& writer);

    std::string linkPath;
    std::optional<double> ringEvery;
    std::optional<double> ringAfter;
    std::optional<ModemModel::Clock::time_point> scheduledRing;
    ModemModel::CallState reportedState = ModemModel::CallState::Idle;
};
