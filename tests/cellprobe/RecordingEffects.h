#pragma once

#include "cellprobe/ModemEffects.h"
#include "cellprobe/ModemRules.h"
#include "ui/WideString.h"

#include <string>
#include <vector>

// Stands in for the dialog: records every effect in order as a short line ("write ATE0\r", "bar 4",
// "show OK"), and keeps the two text fields so tests can type a number and see what is shown. As in
// the dialog, only reading the fields touches the number.
class RecordingEffects final : public ModemEffects {
public:
    void EnableConnect(bool enable) override { events.push_back(enable ? "connect on" : "connect off"); }
    void EnableDisconnect(bool enable) override
    {
        events.push_back(enable ? "disconnect on" : "disconnect off");
    }
    void SetSignalBar(int level) override { events.push_back("bar " + std::to_string(level)); }
    void ExchangeFields(bool fromFields) override
    {
        if (fromFields) {
            events.push_back("read fields");
            rules->StatusText() = statusField;
            rules->PhoneNumber() = numberField;
            return;
        }
        statusField = rules->StatusText();
        events.push_back("show " + statusField.ToAscii());
    }
    void StartSettleTimer() override { events.push_back("settle start"); }
    void StopSettleTimer() override { events.push_back("settle stop"); }
    void StartRingTimer() override { events.push_back("ring timer start"); }
    void StopRingTimer() override { events.push_back("ring timer stop"); }
    void PlayRing() override { events.push_back("ring"); }
    void RunCloseSteps() override { events.push_back("close"); }
    bool WriteCommand(const char* bytes, int count) override
    {
        events.push_back("write " + std::string(bytes, static_cast<std::size_t>(count)));
        return portOpen;
    }

    // Returns the events so far and forgets them.
    std::vector<std::string> Take()
    {
        std::vector<std::string> taken;
        taken.swap(events);
        return taken;
    }

    ModemRules* rules = nullptr;
    bool portOpen = true;
    WideString statusField;
    WideString numberField;
    std::vector<std::string> events;
};
