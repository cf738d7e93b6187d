// Random modem output in random chunks, interleaved with button clicks, timer ticks and the dialog's
// close, through the modem rules; a checking effects object aborts on the first broken invariant.
//
// Input: plain bytes collect into a chunk (delivered when it reaches 60 bytes or before any event);
// 0xFE introduces an event chosen by the following byte:
//   0 end of chunk, 1 Dial (then a length byte and that many 16-bit characters, low byte first),
//   2 Connect, 3 Disconnect, 4 settle timer, 5 poll timer, 6 caption OK, 7 window close,
//   8 timer with the id in the following byte.

#include "cellprobe/ModemEffects.h"
#include "cellprobe/ModemRules.h"
#include "ui/WideString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t EventByte = 0xFE;

enum class Op {
    Chunk,
    Dial,
    Connect,
    Disconnect,
    SettleTimer,
    PollTimer,
    CaptionOk,
    WindowClose,
    OtherTimer
};

void Check(bool holds, const char* what)
{
    if (holds)
        return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

class CheckingEffects final : public ModemEffects {
public:
    void EnableConnect(bool) override { ++effects; }
    void EnableDisconnect(bool) override { ++effects; }
    void SetSignalBar(int level) override
    {
        ++effects;
        Check(level >= 0 && level <= ModemRules::SignalBarMaximum, "bar within 0..5");
    }
    void ExchangeFields(bool fromFields) override
    {
        ++effects;
        if (fromFields)
            rules->PhoneNumber() = numberField;
    }
    void StartSettleTimer() override { ++effects; }
    void StartRingTimer() override { ++effects; }
    void StopRingTimer() override { ++effects; }
    void StopSettleTimer() override
    {
        ++effects;
        ++settleStops;
    }
    void PlayRing() override
    {
        ++effects;
        ++rings;
    }
    void RunCloseSteps() override
    {
        ++effects;
        ++closes;
        Check(rules->IsClosed(), "closed before the close steps run");
    }
    bool WriteCommand(const char* bytes, int count) override
    {
        ++effects;
        Check(count >= 1 && count <= ModemRules::SendBufferSize, "command fits the transfer buffer");
        Check(bytes[count - 1] == '\r', "command ends in a carriage return");
        writes.emplace_back(bytes, static_cast<std::size_t>(count));
        return true;
    }

    void Reset()
    {
        effects = settleStops = rings = closes = 0;
        writes.clear();
    }

    ModemRules* rules = nullptr;
    WideString numberField;
    int effects = 0;
    int settleStops = 0;
    int rings = 0;
    int closes = 0;
    std::vector<std::string> writes;
};

bool OnlyWrite(const CheckingEffects& effects, const char* command)
{
    return effects.writes.size() == 1 && effects.writes.front() == command;
}

// Each flag moves only through the rule or handler that owns it.
void CheckStep(
    Op op, const ModemFlags& before, const ModemFlags& after, bool wasClosed, const CheckingEffects& effects)
{
    for (const std::int32_t flag : { after.snfsSent, after.snfoSent, after.callPending, after.csqStarted,
             after.ringing, after.csqReported, after.closing })
        Check(flag == 0 || flag == 1, "flags are 0 or 1");
    if (wasClosed)
        Check(effects.effects == 0, "nothing happens once closed");

    Check(after.snfsSent >= before.snfsSent && after.snfoSent >= before.snfoSent
            && after.csqStarted >= before.csqStarted && after.csqReported >= before.csqReported
            && after.closing >= before.closing,
        "start-up, report and closing flags never go back");
    Check(!after.snfoSent || after.snfsSent, "step 2 only after step 1");
    Check(!after.csqStarted || after.snfoSent, "step 3 only after step 2");

    if (after.snfsSent != before.snfsSent)
        Check(op == Op::Chunk && OnlyWrite(effects, "AT^SNFS=2\r"), "step 1 sends its command");
    if (after.snfoSent != before.snfoSent)
        Check(op == Op::Chunk && OnlyWrite(effects, "AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r"),
            "step 2 sends its command");
    if (after.csqStarted != before.csqStarted)
        Check(op == Op::Chunk && OnlyWrite(effects, "AT+CSQ\r"), "step 3 sends its command");
    if (after.csqReported != before.csqReported)
        Check(op == Op::Chunk && effects.writes.empty(), "a report is shown, nothing sent");
    if (!before.callPending && after.callPending)
        Check(op == Op::Dial || op == Op::Connect, "only Dial and Connect start a call");
    if (before.callPending && !after.callPending)
        Check((op == Op::SettleTimer || op == Op::Chunk) && effects.settleStops == 1,
            "only the settle timer or the module's final reply ends a pending call");
    if (!before.ringing && after.ringing)
        Check(op == Op::Chunk && effects.rings == 1, "ringing starts with the sound");
    if (!before.closing && after.closing)
        Check(op == Op::CaptionOk, "only the caption's OK starts closing");
    if (effects.closes)
        Check(
            op == Op::Chunk && before.closing && effects.closes == 1, "the close steps run once, on a chunk");
}

class Driver {
public:
    Driver(const std::uint8_t* bytes, std::size_t size)
        : data(bytes)
        , end(bytes + size)
    {
        effects.rules = &rules;
    }

    void Run()
    {
        rules.Start();
        while (data != end) {
            const std::uint8_t byte = *data++;
            if (byte != EventByte) {
                chunk.push_back(static_cast<char>(byte));
                if (chunk.size() == ModemRules::SendBufferSize)
                    Deliver();
                continue;
            }
            Deliver();
            if (data == end)
                break;
            Event(static_cast<Op>(*data++ % 9));
        }
        Deliver();
    }

private:
    void Deliver()
    {
        if (chunk.empty())
            return;
        Step(Op::Chunk, [this] { rules.OnSerialData(chunk.data(), static_cast<int>(chunk.size())); });
        chunk.clear();
    }

    void Event(Op op)
    {
        switch (op) {
        case Op::Chunk:
            return;
        case Op::Dial:
            effects.numberField = TypedNumber();
            return Step(op, [this] { rules.OnDial(); });
        case Op::Connect:
            return Step(op, [this] { rules.OnConnect(); });
        case Op::Disconnect:
            return Step(op, [this] { rules.OnDisconnect(); });
        case Op::SettleTimer:
            return Step(op, [this] { rules.OnTimer(ModemRules::SettleTimerId); });
        case Op::PollTimer:
            return Step(op, [this] { rules.OnTimer(ModemRules::PollTimerId); });
        case Op::CaptionOk:
            return Step(op, [this] { rules.OnOK(); });
        case Op::WindowClose:
            return Step(op, [this] { rules.Close(); });
        case Op::OtherTimer: {
            const unsigned id = data != end ? *data++ : 0;
            return Step(id == ModemRules::SettleTimerId ? Op::SettleTimer : Op::PollTimer,
                [this, id] { rules.OnTimer(id); });
        }
        }
    }

    WideString TypedNumber()
    {
        WideString number;
        const int length = data != end ? *data++ : 0;
        for (int i = 0; i < length && end - data >= 2; ++i, data += 2)
            number += static_cast<char16_t>(data[0] | (data[1] << 8));
        return number;
    }

    template <typename Action> void Step(Op op, Action action)
    {
        const ModemFlags before = rules.Flags();
        const bool wasClosed = rules.IsClosed();
        effects.Reset();
        action();
        CheckStep(op, before, rules.Flags(), wasClosed, effects);
    }

    const std::uint8_t* data;
    const std::uint8_t* end;
    std::string chunk;
    CheckingEffects effects;
    ModemRules rules { effects };
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Driver(data, size).Run();
    return 0;
}
