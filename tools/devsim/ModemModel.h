#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// How a particular module strays from the plainest behaviour, as real modules do. The defaults are the
// plain module: every command the programs send is known, reports are framed by the book, calls go
// through, and a caller who gives up is reported with NO CARRIER.
struct ModemHabits {
    static constexpr std::chrono::seconds DefaultGiveUp { 30 };

    // false: the two vendor audio commands are unknown (ERROR).
    bool vendorCommands = true;
    // Unsolicited lines: a network registration line ("+CREG: 1") ahead of every other signal report,
    // and incoming calls announced as "+CRING: VOICE" with the caller's "+CLIP:" line instead of RING.
    bool unsolicited = false;
    // false: signal reports without the blank after the colon ("+CSQ:17,99").
    bool blankInReport = true;
    // A final reply ("BUSY", "NO CARRIER", "NO ANSWER", "ERROR") that ends every dial and every answer
    // at once, with no OK first; empty: calls go through.
    std::string callFailure;
    // How long a caller waits for an answer, and whether giving up goes unreported (the RINGs just stop).
    std::chrono::milliseconds giveUpAfter = DefaultGiveUp;
    bool giveUpSilently = false;
    // A fixed signal value (0 to 31, or 99 for none); -1: a signal that drifts slowly.
    int signal = -1;

    // The SIM as AT+CPIN? finds it: ready, not inserted (+CME ERROR: 10), or waiting for its PIN.
    enum class Sim { Ready, Absent, WaitingForPin };
    Sim sim = Sim::Ready;
    // The network registration AT+CREG? and AT+CEREG? report once a SIM is ready: registered on the
    // home network or roaming, still searching, or refused by the network. Until registerAfter has
    // passed since switch-on the module is still searching.
    enum class Registration { Home, Roaming, Searching, Denied };
    Registration registration = Registration::Home;
    std::chrono::milliseconds registerAfter { 0 };
};

// The simulated GSM module's command interpreter and call state, free of any I/O so it can be driven
// with made-up times. Replies are framed as a real module frames them in verbose mode: the echo of the
// command (while echo is on) ends with the command's own CR, then every result is CR LF text CR LF.
//
// Commands end at CR; LF is ignored, backspace deletes, and "AT" may be written "at". Known commands:
// AT, ATE0/ATE1, AT^SNFS=<n>, AT^SNFO=<n,...>, AT+CSQ, ATD<number>; (voice call), ATA, ATH, the
// identity queries AT+CGMI, AT+CGMM, AT+CGMR and AT+CGSN, and AT+CPIN?, AT+CREG?, AT+CEREG? and
// AT+COPS?. Any other command gets ERROR; a line that does not start with AT is no command and gets no
// answer. An incoming call rings every RingSeconds until it is answered, hung up or given up
// (ModemHabits::giveUpAfter); a call, dialled or answered, is ended by the other side after CallSeconds.
class ModemModel {
public:
    using Clock = std::chrono::steady_clock;
    enum class CallState { Idle, Ringing, Connected };

    static constexpr std::chrono::seconds RingSeconds { 3 };
    static constexpr std::chrono::seconds CallSeconds { 20 };
    // A command line longer than this is thrown away and answered with ERROR.
    static constexpr std::size_t MaxLine = 256;

    explicit ModemModel(Clock::time_point switchedOn, ModemHabits habits = {});

    // Bytes the program sent; returns what the module sends back (echo and results), in order.
    std::string Receive(std::string_view bytes, Clock::time_point now);
    // Runs what is due by now (rings, the other side hanging up, a caller giving up) and returns the
    // unsolicited lines it produced.
    std::string Advance(Clock::time_point now);
    // When Advance next has something to do; nothing while idle.
    std::optional<Clock::time_point> NextDeadline() const;

    // Someone calls the module. false (and nothing sent) while a call is ringing or connected.
    bool StartIncomingCall(Clock::time_point now, std::string* output);
    // The other side ends the call or stops calling. false when there is no call.
    bool RemoteHangUp(std::string* output);

    CallState State() const { return state; }
    bool EchoOn() const { return echo; }
    // The received signal strength the module reports at a moment, 0 to 31 as +CSQ gives it.
    int SignalStrength(Clock::time_point now) const;

private:
    std::string Execute(const std::string& line, Clock::time_point now);
    std::string Dial(std::string_view number, Clock::time_point now);
    std::string Answer(Clock::time_point now);
    std::string SignalReport(Clock::time_point now);
    // The answer to a query of identity, SIM, registration or operator; empty for another command.
    std::string Query(const std::string& command, Clock::time_point now) const;
    // The registration status number of 27.007 (1 home, 2 searching, 3 denied, 5 roaming, 0 none).
    int RegistrationStatus(Clock::time_point now) const;
    std::string RingLines() const;

    Clock::time_point switchedOn;
    ModemHabits habits;
    int reports = 0;
    bool echo = true;
    std::string line;
    bool lineOverflow = false;
    CallState state = CallState::Idle;
    Clock::time_point nextRing {};
    Clock::time_point callDeadline {}; // ringing: the caller gives up; connected: the other side hangs up
};
