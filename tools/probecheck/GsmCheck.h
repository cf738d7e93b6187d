#pragma once

#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/CheckReport.h"

#include <optional>
#include <string>
#include <vector>

class CommandLine;
class JsonWriter;
class ModemCheckEffects;
class ModemRules;
class Progress;
class SerialSession;

// `probecheck gsm`: opens the module as cellprobe does and lets cellprobe's own modem rules run it: the
// start-up sequence, the signal poll and, on request, a call that is placed, held and hung up. Passes
// when the signal level (0 to 5, as the dialog's bar shows it) reaches the minimum in time and every
// step of the call was accepted. Every command and reply goes into the record.
class GsmCheck {
public:
    int Main(CommandLine& arguments);

private:
    // One command and what came back until the next command.
    struct Exchange {
        std::string command;
        double sentAt = 0;
        std::string reply;
        std::optional<double> replyAt;
    };
    enum class Phase { Signal, Dialling, Holding, HangingUp, Closing };
    // The outcome of one step by the module's final result: still waiting, "OK", or a refusal.
    struct StepResult {
        bool done = false;
        bool accepted = false;
        std::string code;
    };

    bool Parse(CommandLine& arguments, bool* help);
    bool ParseNumber(CommandLine& arguments);
    int Run();
    CheckOutcome Measure(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress);
    CheckOutcome WaitForSignal(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress);
    CheckOutcome Dial(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress);
    CheckOutcome Call(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress);
    void HangUpAndClose(CheckLoop& loop, ModemRules& rules, SerialSession& port, Progress& progress);
    void Connect(ModemCheckEffects& effects, SerialSession& port, Progress& progress);
    void OnChunk(const char* bytes, int count, ModemRules& rules);
    std::optional<CheckOutcome> Interrupted(
        CheckLoop::Stop stop, const CheckLoop& loop, const SerialSession& port) const;
    StepResult ResultOf(std::size_t exchange) const;
    std::string SignalShortfall(const ModemRules& rules) const;
    std::string StatusText(const ModemRules& rules) const;
    void WriteJson(JsonWriter& writer) const;
    void WriteMeasured(JsonWriter& writer) const;
    std::string Summary() const;

    // Criteria.
    double timeoutSeconds = 30;
    int minLevel = 1;
    std::string dialNumber;
    double holdSeconds = 5;
    bool holdGiven = false;
    CommonOptions common;

    // What was measured, in seconds since the check started where it is a time.
    CheckReport report { "gsm" };
    std::string devicePath;
    Phase phase = Phase::Signal;
    std::vector<Exchange> exchanges;
    std::vector<std::pair<double, int>> signalReports;
    std::optional<double> openedAt;
    std::optional<double> signalMetAt;
    int rings = 0;
    std::optional<std::size_t> dialExchange;
    std::optional<double> callUpAt;
    std::optional<double> callEndedAt;
    std::optional<std::size_t> hangUpExchange;
    bool closeConfirmed = false;
};
