#pragma once

#include "cellprobe/ModemEffects.h"
#include "cellprobe/ModemRules.h"
#include "tools/probecheck/CheckLoop.h"

#include <chrono>
#include <functional>

// The modem rules' effects for a check with no window: the settle and poll timers run on the check's
// loop, the port is written through write, and every effect the check cares about is handed to it as
// it happens. The rules' two strings are the only copy of the fields, so data exchange has nothing to do.
class ModemCheckEffects final : public ModemEffects {
public:
    std::function<bool(const char* bytes, int count)> write;
    std::function<void(int level)> onSignalBar;
    std::function<void(bool enable)> onEnableDisconnect;
    // The settle timer ran out and the rules took the call as connected.
    std::function<void()> onSettled;
    std::function<void()> onRing;
    std::function<void()> onCloseSteps;

    explicit ModemCheckEffects(CheckLoop& checkLoop)
        : loop(checkLoop)
    {
    }

    // The rules the timers deliver to; call once, before the rules start.
    void Attach(ModemRules& modemRules) { rules = &modemRules; }

    // The signal poll, as the dialog runs it from start-up on.
    void StartPolling()
    {
        loop.SetTimer(ModemRules::PollTimerId, std::chrono::milliseconds(ModemRules::PollTimerPeriodMs),
            [this] { rules->OnTimer(ModemRules::PollTimerId); });
    }
    // Paused while the check asks questions of its own, so no poll's reply is taken for their answer.
    void StopPolling() { loop.KillTimer(ModemRules::PollTimerId); }
    void StopTimers()
    {
        StopPolling();
        loop.KillTimer(ModemRules::SettleTimerId);
        loop.KillTimer(ModemRules::RingTimerId);
    }

    void EnableConnect(bool) override { }
    void EnableDisconnect(bool enable) override { Notify(onEnableDisconnect, enable); }
    void SetSignalBar(int level) override { Notify(onSignalBar, level); }
    void ExchangeFields(bool) override { }
    void StartSettleTimer() override
    {
        loop.SetTimer(
            ModemRules::SettleTimerId, std::chrono::milliseconds(ModemRules::SettleTimerPeriodMs), [this] {
                rules->OnTimer(ModemRules::SettleTimerId);
                Notify(onSettled);
            });
    }
    void StopSettleTimer() override { loop.KillTimer(ModemRules::SettleTimerId); }
    void StartRingTimer() override
    {
        loop.SetTimer(ModemRules::RingTimerId, std::chrono::milliseconds(ModemRules::RingTimeoutMs),
            [this] { rules->OnTimer(ModemRules::RingTimerId); });
    }
    void StopRingTimer() override { loop.KillTimer(ModemRules::RingTimerId); }
    // Nobody stands at a test rig to hear it; the check notes the call instead.
    void PlayRing() override { Notify(onRing); }
    // Runs inside the chunk's handler: only noted here, the check releases the port once it returns.
    void RunCloseSteps() override
    {
        StopTimers();
        Notify(onCloseSteps);
    }
    bool WriteCommand(const char* bytes, int count) override { return write && write(bytes, count); }

private:
    template <typename Callback, typename... Arguments>
    static void Notify(const Callback& callback, Arguments... arguments)
    {
        if (callback)
            callback(arguments...);
    }

    CheckLoop& loop;
    ModemRules* rules = nullptr;
};
