#pragma once

#include "tools/devsim/ReceiverModel.h"
#include "tools/devsim/UbxRateDecoder.h"

#include <chrono>
#include <string>
#include <string_view>

class CaptureReplay;
class CommandLine;
class PacedWriter;
class PseudoTerminal;
class SignalWatch;

// `devsim gps`: a GPS receiver on a pseudo-terminal. It talks NMEA at 9600-baud pace, either generated
// (a drive around a town, with a few seconds without fix after start) or replayed from a capture, and
// takes the binary CFG-RATE frame: a good frame is acknowledged and changes the report period, a frame
// with a bad checksum is ignored as the real receiver ignores it. On request it goes away now and then
// (its terminal hangs up and its device disappears, as an unplugged adapter's does) and comes back a
// few seconds later as a freshly switched-on receiver, under the same link.
class GpsSimulator {
public:
    // Line speed: 9600 baud, 8N1, so ten bits to a byte.
    static constexpr int BytesPerSecond = 960;
    // The usual write; at 9600 baud about 17 ms on the wire.
    static constexpr std::size_t PieceBytes = 16;
    // Unread output beyond about two seconds' worth is dropped (see PseudoTerminal).
    static constexpr std::size_t StaleBytes = 2 * BytesPerSecond;
    // Shortest report period accepted; shorter requests are refused with ACK-NAK.
    static constexpr int MinPeriodMs = 50;

    // Runs the subcommand with the arguments after "gps". Returns the exit status: 0 after Ctrl-C or
    // SIGTERM (or --help), 1 when the simulator could not start, 2 for bad arguments.
    int Main(CommandLine& arguments);

private:
    // How serving one terminal ended.
    enum class Ending { Stopped, Vanished, Failed };

    bool Parse(CommandLine& arguments, bool* help);
    bool ParseHabit(std::string_view option, CommandLine& arguments);
    int Serve();
    // One appearance of the receiver: a fresh terminal (and link) served until Ctrl-C, a failure or the
    // time to go away.
    Ending ServeTerminal(const ReceiverModel& receiver, CaptureReplay& replay, SignalWatch& signals);
    Ending RunTerminal(
        PseudoTerminal& port, const ReceiverModel& receiver, CaptureReplay& replay, SignalWatch& signals);
    // Waits out the time away; false when Ctrl-C came meanwhile.
    bool StayAway(SignalWatch& signals) const;
    void Announce(const PseudoTerminal& port, std::size_t replayBytes);
    // Queues the next report when it is due, or keeps the replay flowing.
    void Produce(const ReceiverModel& receiver, CaptureReplay& replay, PacedWriter& writer);
    // Milliseconds until Produce or the writer has something to do.
    int Timeout(const PacedWriter& writer) const;
    void ReadFromProgram(PseudoTerminal& port, PacedWriter& writer);
    void HandleRequests(const UbxRateDecoder::Requests& requests, PacedWriter* writer);
    void ScheduleNextReport(std::chrono::system_clock::time_point now);

    std::string linkPath;
    std::string replayPath;
    double speedKmh = 50;
    ReceiverModel::Habits habits;
    // The share of sentences sent with a wrong checksum, and how far the next one is due.
    double badChecksumShare = 0;
    double badChecksumDebt = 0;
    // Seconds present before going away (0: never) and seconds away.
    double vanishAfter = 0;
    double backAfter = 5;
    bool announced = false;

    UbxRateDecoder decoder;
    int periodMs = 1000;
    std::uint16_t navRate = 1;
    std::uint16_t timeRef = 0;
    std::chrono::system_clock::time_point switchedOn {};
    std::chrono::system_clock::time_point nextReport {};
};
