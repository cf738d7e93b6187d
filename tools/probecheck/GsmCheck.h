#pragma once

#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/SerialCheck.h"

#include <optional>
#include <string>
#include <vector>

class ModemCheckEffects;
class ModemRules;
class SerialSession;

// `probecheck gsm`: opens the module as cellprobe does and lets cellprobe's own modem rules start it
// and poll its signal; a vendor command the module refuses is noted and the start-up goes on. Then it
// asks the module's identity, its SIM, its registration (GSM and LTE, again while it is searching) and
// its operator, and passes when the SIM is ready, the module registered (at home, or roaming unless
// --home-only) and the signal reached its limits in time; with --dial, also when a call went through.
// Every command and reply goes into the record; the module is always hung up before the port closes.
class GsmCheck final : public SerialCheck {
public:
    GsmCheck();

    const char* Name() const override { return "gsm"; }
    std::string Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    void CheckOptions(CommandLine& arguments) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    // One command and what came back until the next command.
    struct Exchange {
        std::string command;
        double sentAt = 0;
        std::string reply;
        std::optional<double> replyAt;
    };
    // The outcome of one command by the module's final result: still waiting, "OK", or another.
    struct StepResult {
        bool done = false;
        bool accepted = false;
        std::string code; // the final result line: "OK", "ERROR", "+CME ERROR: 10"
    };
    struct SignalReport {
        double at;
        int quality; // the raw value, 0 to 31 or 99
        int level; // the dialog's bar, 0 to 5
    };
    // What one call of Run works with.
    struct Session {
        CheckLoop& loop;
        ModemRules& rules;
        ModemCheckEffects& effects;
        SerialSession& port;
        Progress& progress;
        CheckRecord& record;
    };
    enum class Phase { StartUp, Asking, Signal, Dialling, Holding, HangingUp, Closing };

    bool ParseNumber(CommandLine& arguments);
    void Declare(CheckRecord& record) const;
    void Connect(Session& session);
    void OnChunk(const char* bytes, int count, Session& session);
    bool Waited(CheckLoop::Stop stop, const Session& session);
    bool WaitForStartUp(Session& session);
    void Send(Session& session, const std::string& command);
    std::optional<std::string> Answer(Session& session, const char* command, const char* prefix);
    std::string StartUpShortfall() const;
    bool AskAboutModule(Session& session);
    std::string Registration(Session& session);
    bool Dial(Session& session);
    bool WaitForSignal(Session& session);
    bool SignalMeets(const SignalReport& report) const;
    bool Call(Session& session);
    bool Hold(Session& session);
    void HangUpAndClose(Session& session);
    StepResult ResultOf(std::size_t exchange) const;
    void Measure(CheckRecord& record) const;
    void Describe(CheckRecord& record) const;
    std::string StatusText() const;

    // Limits.
    double timeoutSeconds = 30;
    int minCsq = 10;
    int minLevel = 1;
    bool homeOnly = false;
    std::string dialNumber;
    double holdSeconds = 5;
    bool holdGiven = false;

    // What was measured, in seconds since the check started where it is a time.
    CheckLoop::Clock::time_point deadline {};
    Phase phase = Phase::StartUp;
    std::vector<Exchange> exchanges;
    std::vector<SignalReport> signalReports;
    std::optional<std::size_t> metReport; // the first report that met the limits
    std::optional<std::string> vendorCommands; // "accepted" or "refused"
    std::optional<std::string> startUp; // how the start-up ended
    std::vector<std::pair<std::string, std::string>> answers; // measurement name and answer
    int rings = 0;
    std::optional<std::string> dialResult;
    std::optional<double> callUpAt;
    std::optional<double> callEndedAt;
    std::optional<double> heldSeconds;
    std::optional<std::string> hangUpResult;
    bool closeConfirmed = false;
    // How a wait ended early, if one did.
    bool interrupted = false;
    bool lost = false;
};
