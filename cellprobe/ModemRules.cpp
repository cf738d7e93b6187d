#include "cellprobe/ModemRules.h"

#include "cellprobe/ModemEffects.h"
#include "cellprobe/SignalLevel.h"

namespace {

// Every command ends in a carriage return and nothing else: the module takes CR as end of line.
constexpr const char16_t* EchoOffCommand = u"ATE0\r";
// Vendor audio settings the module gets once at start-up; only their "OK" matters to us.
constexpr const char16_t* SnfsCommand = u"AT^SNFS=2\r";
constexpr const char16_t* SnfoCommand = u"AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r";
constexpr const char16_t* SignalQueryCommand = u"AT+CSQ\r";
constexpr const char16_t* DialFormat = u"ATD%s;\r";
constexpr const char16_t* AnswerCommand = u"ATA\r";
constexpr const char16_t* HangUpCommand = u"ATH\r";

constexpr const char16_t* OkResponse = u"OK";
constexpr const char16_t* RingResponse = u"RING";
constexpr const char16_t* NoCarrierResponse = u"NO CARRIER";
constexpr const char16_t* SignalReport = u"+CSQ:";
// Final replies that end a dial or an answer without a call: the line was dead, the other side busy or
// not answering, the caller gone.
constexpr const char16_t* CallEndingReplies[] = { NoCarrierResponse, u"BUSY", u"NO ANSWER", u"NO DIALTONE" };
// A refusal of the command itself; "+CME ERROR: <n>" contains it too.
constexpr const char16_t* RefusalReply = u"ERROR";

constexpr const char16_t* OpenErrorText = u"Open COM error.";
constexpr const char16_t* ModuleGoneText = u"GSM module gone.";
constexpr const char16_t* NumberTooLongFormat = u"Number too long: at most %d characters.";

// Control characters (CR and LF among them) and bytes with the high bit set never reach the status
// field; DEL does.
constexpr signed char FirstPrintable = 32;

// A dialled character whose byte would be a control character (a pasted line end, or a wide
// character such as U+010D whose low byte is CR) is left out: a CR inside the command would end it
// early and send the rest as a second command.
WideString DialableNumber(const WideString& typed)
{
    WideString number;
    for (int i = 0; i < typed.GetLength(); ++i) {
        if ((typed.GetAt(i) & 0xFF) >= static_cast<unsigned>(FirstPrintable))
            number += typed.GetAt(i);
    }
    return number;
}

} // namespace

ModemRules::ModemRules(ModemEffects& effectsTarget)
    : effects(effectsTarget)
{
}

void ModemRules::Start()
{
    if (closed)
        return;
    SendCommand(EchoOffCommand);
    flags = ModemFlags {};
}

void ModemRules::ReportOpenFailure()
{
    if (closed)
        return;
    statusText = OpenErrorText;
    effects.ExchangeFields(false);
}

void ModemRules::OnModuleLost()
{
    if (closed)
        return;
    // Whatever was ringing or being set up went with the module.
    flags.callPending = 0;
    flags.ringing = 0;
    effects.StopSettleTimer();
    effects.StopRingTimer();
    effects.EnableConnect(false);
    SetDisconnect(false);
    effects.SetSignalBar(0);
    statusText = ModuleGoneText;
    effects.ExchangeFields(false);
}

int ModemRules::OnSerialData(const char* bytes, int count)
{
    if (closed)
        return 0;
    ChunkToText(bytes, count);
    ApplyRules();
    effects.ExchangeFields(false);
    return 0;
}

void ModemRules::ChunkToText(const char* bytes, int count)
{
    statusText.Empty();
    if (!bytes)
        return;
    for (int i = 0; i < count; ++i) {
        const signed char byte = static_cast<signed char>(bytes[i]);
        if (byte >= FirstPrintable)
            statusText += static_cast<char16_t>(byte);
    }
}

// The chunk is judged as a whole and only the first matching rule acts, so one chunk that holds both
// an "OK" and a report or a "RING" counts as whichever comes first here.
void ModemRules::ApplyRules()
{
    const bool hasOk = statusText.Find(OkResponse) >= 0;
    if (hasOk && StartUpStep(flags.snfsSent, SnfsCommand))
        return;
    if (hasOk && StartUpStep(flags.snfoSent, SnfoCommand))
        return;
    if (hasOk && StartUpStep(flags.csqStarted, SignalQueryCommand))
        return;
    // Before the "OK" rule: a late "NO CARRIER" may share its chunk with the "OK" of a later command.
    if (flags.callPending && EndCallAttempt())
        return;
    if (hasOk && flags.callPending) {
        effects.StartSettleTimer();
        return;
    }
    if (statusText.Find(RingResponse) >= 0) {
        Ring();
        return;
    }
    if (statusText.Find(NoCarrierResponse) >= 0) {
        SetDisconnect(false);
        effects.EnableConnect(false);
        flags.ringing = 0;
        return;
    }
    if (statusText.Find(SignalReport) >= 0) {
        ShowSignalReport();
        return;
    }
    if (hasOk && flags.closing)
        RunCloseSteps();
}

bool ModemRules::StartUpStep(std::int32_t& done, const char16_t* command)
{
    if (done)
        return false;
    SendCommand(command);
    done = 1;
    return true;
}

// A dial or answer that the module ends or refuses gets no "OK", so nothing would ever settle it
// and the poll would stay paused for good.
bool ModemRules::EndCallAttempt()
{
    for (const char16_t* reply : CallEndingReplies) {
        if (statusText.Find(reply) < 0)
            continue;
        flags.callPending = 0;
        effects.StopSettleTimer();
        effects.EnableConnect(false);
        SetDisconnect(false);
        flags.ringing = 0;
        return true;
    }
    if (statusText.Find(RefusalReply) < 0)
        return false;
    // A refused second dial leaves the first call up, so the buttons stay for the user to hang it up.
    flags.callPending = 0;
    effects.StopSettleTimer();
    return true;
}

void ModemRules::Ring()
{
    effects.EnableConnect(true);
    // Disconnect rejects the call.
    if (!disconnectEnabled) {
        SetDisconnect(true);
        ringEnabledDisconnect = true;
    }
    effects.PlayRing();
    flags.ringing = 1;
    effects.StartRingTimer();
}

void ModemRules::EndRinging()
{
    effects.StopRingTimer();
    if (!flags.ringing)
        return;
    flags.ringing = 0;
    effects.EnableConnect(false);
    if (ringEnabledDisconnect && !flags.callPending)
        SetDisconnect(false);
}

void ModemRules::ShowSignalReport()
{
    effects.SetSignalBar(SignalLevelFromReport(statusText));
    if (!flags.csqReported) {
        // The first report is the module's answer to the start-up sequence: "OK" tells the user that
        // the module is ready.
        flags.csqReported = 1;
        statusText = OkResponse;
        return;
    }
    // Later reports are routine polls: the field goes blank.
    effects.ExchangeFields(true);
    statusText.Empty();
}

void ModemRules::RunCloseSteps()
{
    closed = true;
    effects.RunCloseSteps();
}

void ModemRules::OnDial()
{
    if (closed)
        return;
    effects.ExchangeFields(true);
    WideString command;
    command.Format(DialFormat, DialableNumber(phoneNumber).c_str());
    if (command.GetLength() > SendBufferSize) {
        // Cutting the number would ring a wrong party, so nothing is dialled; the typed number stays in
        // its field for the user to correct.
        statusText.Format(NumberTooLongFormat, MaxPhoneNumberLength);
        effects.ExchangeFields(false);
        return;
    }
    SendCommand(command);
    flags.callPending = 1;
    SetDisconnect(true);
}

void ModemRules::OnConnect()
{
    if (closed)
        return;
    SendCommand(AnswerCommand);
    flags.callPending = 1;
    SetDisconnect(true);
}

void ModemRules::OnDisconnect()
{
    if (closed)
        return;
    SendCommand(HangUpCommand);
    SetDisconnect(false);
    effects.EnableConnect(false);
    flags.ringing = 0;
}

void ModemRules::OnTimer(unsigned timerId)
{
    if (closed)
        return;
    if (timerId == SettleTimerId) {
        flags.callPending = 0;
        effects.EnableConnect(false);
        flags.ringing = 0;
        effects.StopSettleTimer();
        return;
    }
    if (timerId == RingTimerId) {
        EndRinging();
        return;
    }
    // A call being set up or ringing owns the line; a query now would only interleave with it.
    if (!flags.callPending && !flags.ringing)
        SendCommand(SignalQueryCommand);
}

void ModemRules::OnOK()
{
    if (closed)
        return;
    SendCommand(HangUpCommand);
    flags.closing = 1;
}

void ModemRules::HangUpBeforeClose()
{
    if (disconnectEnabled)
        SendCommand(HangUpCommand);
}

void ModemRules::Close()
{
    closed = true;
}

void ModemRules::SetDisconnect(bool enable)
{
    disconnectEnabled = enable;
    ringEnabledDisconnect = false;
    effects.EnableDisconnect(enable);
}

bool ModemRules::SendCommand(const WideString& command)
{
    const int length = command.GetLength();
    if (closed || length <= 0 || length > SendBufferSize)
        return false;
    for (int i = 0; i < length; ++i)
        sendBuffer[static_cast<std::size_t>(i)] = static_cast<char>(command.GetAt(i) & 0xFF);
    return effects.WriteCommand(sendBuffer.data(), length);
}
