#include "tools/devsim/ModemModel.h"

#include <cctype>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr char Ok[] = "\r\nOK\r\n";
constexpr char Error[] = "\r\nERROR\r\n";
constexpr char Ring[] = "\r\nRING\r\n";
constexpr char NoCarrier[] = "\r\nNO CARRIER\r\n";
constexpr char Registered[] = "\r\n+CREG: 1\r\n";
// The extended incoming-call report, with the caller's number (type 129: national or unknown).
constexpr char ExtendedRing[] = "\r\n+CRING: VOICE\r\n\r\n+CLIP: \"01701234567\",129\r\n";

// What the identity queries answer: maker, model, firmware and a serial number of IMEI form.
constexpr std::pair<const char*, const char*> Identity[] = {
    { "+CGMI", "devsim" },
    { "+CGMM", "simulated GSM module" },
    { "+CGMR", "devsim 1.0" },
    { "+CGSN", "490154203237518" },
};
constexpr char OperatorName[] = "devsim net";

// The signal wanders slowly between 11 and 23 (about -91 to -67 dBm), a full swing every four minutes.
constexpr double SignalMean = 17.0;
constexpr double SignalSwing = 6.0;
constexpr double SignalSwingSeconds = 240.0;

std::string Upper(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool AllOf(std::string_view text, std::string_view allowed)
{
    return !text.empty() && text.find_first_not_of(allowed) == std::string_view::npos;
}

}

ModemModel::ModemModel(Clock::time_point start, ModemHabits moduleHabits)
    : switchedOn(start)
    , habits(std::move(moduleHabits))
{
}

int ModemModel::SignalStrength(Clock::time_point now) const
{
    const double seconds = std::chrono::duration<double>(now - switchedOn).count();
    const double value
        = SignalMean + SignalSwing * std::sin(2.0 * std::numbers::pi * seconds / SignalSwingSeconds);
    return static_cast<int>(std::lround(value));
}

std::string ModemModel::Receive(std::string_view bytes, Clock::time_point now)
{
    std::string output;
    for (const char c : bytes) {
        if (echo)
            output += c;
        if (c == '\r') {
            const bool overflow = lineOverflow;
            const std::string command = line;
            line.clear();
            lineOverflow = false;
            if (overflow)
                output += Error;
            else if (!command.empty())
                output += Execute(command, now);
        } else if (c == '\b' || c == 0x7F) {
            if (!line.empty())
                line.pop_back();
        } else if (c != '\n' && c != '\0') {
            if (line.size() < MaxLine)
                line += c;
            else
                lineOverflow = true;
        }
    }
    return output;
}

std::string ModemModel::Execute(const std::string& command, Clock::time_point now)
{
    // A module waits for "AT" and ignores anything else on the line. That also keeps a program that
    // turned echo on at its end from bouncing our own results back to us as commands forever.
    if (command.size() < 2 || (command.compare(0, 2, "AT") != 0 && command.compare(0, 2, "at") != 0))
        return {};
    const std::string_view body = std::string_view(command).substr(2);
    const std::string upper = Upper(body);
    if (upper.empty())
        return Ok;
    if (upper == "E0" || upper == "E") {
        echo = false;
        return Ok;
    }
    if (upper == "E1") {
        echo = true;
        return Ok;
    }
    // The two vendor settings (noise suppression and audio gains) only need to be accepted, by a module
    // that has them.
    if ((upper.starts_with("^SNFS=") && AllOf(upper.substr(6), "0123456789"))
        || (upper.starts_with("^SNFO=") && AllOf(upper.substr(6), "0123456789,"))) {
        return habits.vendorCommands ? Ok : Error;
    }
    if (upper == "+CSQ")
        return SignalReport(now);
    if (const std::string answer = Query(upper, now); !answer.empty())
        return answer;
    if (upper.starts_with("D"))
        return Dial(body.substr(1), now);
    if (upper == "A")
        return Answer(now);
    if (upper == "H" || upper == "H0") {
        state = CallState::Idle;
        return Ok;
    }
    return Error;
}

std::string ModemModel::Dial(std::string_view text, Clock::time_point now)
{
    // Only voice calls ("ATD<number>;"); a data call, an empty number or one with characters no
    // keypad has is refused, and so is a second call while one rings or is connected.
    if (!text.ends_with(';') || state != CallState::Idle)
        return Error;
    const std::string_view number = text.substr(0, text.size() - 1);
    if (!AllOf(number, "0123456789+*#pPwWtT,"))
        return Error;
    if (!habits.callFailure.empty())
        return "\r\n" + habits.callFailure + "\r\n";
    state = CallState::Connected;
    callDeadline = now + CallSeconds;
    return Ok;
}

std::string ModemModel::Answer(Clock::time_point now)
{
    if (state != CallState::Ringing)
        return NoCarrier;
    if (!habits.callFailure.empty()) {
        // A refused answer leaves the caller waiting; any other failure loses the call.
        if (habits.callFailure != "ERROR")
            state = CallState::Idle;
        return "\r\n" + habits.callFailure + "\r\n";
    }
    state = CallState::Connected;
    callDeadline = now + CallSeconds;
    return Ok;
}

std::string ModemModel::SignalReport(Clock::time_point now)
{
    const int value = habits.signal >= 0 ? habits.signal : SignalStrength(now);
    std::string report = habits.unsolicited && reports % 2 == 0 ? Registered : "";
    ++reports;
    report
        += std::string("\r\n+CSQ:") + (habits.blankInReport ? " " : "") + std::to_string(value) + ",99\r\n";
    return report + Ok;
}

std::string ModemModel::Query(const std::string& command, Clock::time_point now) const
{
    for (const auto& [name, answer] : Identity) {
        if (command == name)
            return std::string("\r\n") + answer + "\r\n" + Ok;
    }
    if (command == "+CPIN?") {
        if (habits.sim == ModemHabits::Sim::Absent)
            return "\r\n+CME ERROR: 10\r\n"; // SIM not inserted
        return std::string("\r\n+CPIN: ") + (habits.sim == ModemHabits::Sim::Ready ? "READY" : "SIM PIN")
            + "\r\n" + Ok;
    }
    const int status = RegistrationStatus(now);
    if (command == "+CREG?" || command == "+CEREG?")
        return "\r\n" + command.substr(0, command.size() - 1) + ": 0," + std::to_string(status) + "\r\n" + Ok;
    if (command == "+COPS?") {
        const bool registered = status == 1 || status == 5;
        return std::string("\r\n+COPS: 0") + (registered ? std::string(",0,\"") + OperatorName + "\"" : "")
            + "\r\n" + Ok;
    }
    return {};
}

int ModemModel::RegistrationStatus(Clock::time_point now) const
{
    if (habits.sim != ModemHabits::Sim::Ready)
        return 0;
    if (now - switchedOn < habits.registerAfter)
        return 2;
    switch (habits.registration) {
    case ModemHabits::Registration::Home:
        return 1;
    case ModemHabits::Registration::Roaming:
        return 5;
    case ModemHabits::Registration::Searching:
        return 2;
    case ModemHabits::Registration::Denied:
        return 3;
    }
    return 0;
}

std::string ModemModel::RingLines() const
{
    return habits.unsolicited ? ExtendedRing : Ring;
}

std::string ModemModel::Advance(Clock::time_point now)
{
    std::string output;
    if (state == CallState::Ringing) {
        if (now >= callDeadline) {
            if (habits.giveUpSilently)
                state = CallState::Idle;
            else
                RemoteHangUp(&output);
            return output;
        }
        if (now >= nextRing) {
            output += RingLines();
            nextRing += RingSeconds;
            if (nextRing <= now) // held up for longer than a ring: one RING, not a burst
                nextRing = now + RingSeconds;
        }
        return output;
    }
    if (state == CallState::Connected && now >= callDeadline)
        RemoteHangUp(&output);
    return output;
}

std::optional<ModemModel::Clock::time_point> ModemModel::NextDeadline() const
{
    if (state == CallState::Ringing)
        return nextRing < callDeadline ? nextRing : callDeadline;
    if (state == CallState::Connected)
        return callDeadline;
    return std::nullopt;
}

bool ModemModel::StartIncomingCall(Clock::time_point now, std::string* output)
{
    if (state != CallState::Idle)
        return false;
    state = CallState::Ringing;
    *output += RingLines();
    nextRing = now + RingSeconds;
    callDeadline = now + habits.giveUpAfter;
    return true;
}

bool ModemModel::RemoteHangUp(std::string* output)
{
    if (state == CallState::Idle)
        return false;
    state = CallState::Idle;
    *output += NoCarrier;
    return true;
}
