#pragma once

#include "ui/WideString.h"

#include <array>
#include <cstdint>

class ModemEffects;

// The protocol state of the GSM dialog, 32-bit integers used as booleans, in this order.
struct ModemFlags {
    std::int32_t snfsSent = 0; // start-up step 1 sent
    std::int32_t snfoSent = 0; // start-up step 2 sent
    std::int32_t callPending = 0; // a dial or answer awaits its "OK"; polling pauses
    std::int32_t csqStarted = 0; // start-up step 3, the first signal query, sent
    std::int32_t ringing = 0; // an incoming call rings; polling pauses
    std::int32_t csqReported = 0; // the first signal report has been shown
    std::int32_t closing = 0; // the user confirmed the dialog; the next "OK" runs the close steps
};

// The GSM module's side of the dialog: turns received chunks, the three call buttons and the two
// timers into commands and into changes of the dialog, all through ModemEffects. It also holds the
// two field strings and the command transfer buffer.
//
// Single-threaded: every operation runs on the user-interface thread. Once closed (by Close, or by
// the module's "OK" after OnOK), every handler does nothing, so timer ticks and chunks that were
// already on their way cannot reach the released port.
class ModemRules {
public:
    // Bytes a command may have: the transfer buffer's size. A dial command takes five more bytes than
    // the number, so numbers of up to MaxPhoneNumberLength characters can be dialled.
    static constexpr int SendBufferSize = 60;
    static constexpr int MaxPhoneNumberLength = SendBufferSize - 5;

    // The dialog's timers: the one-shot that settles a call after its "OK", the signal poll, and the
    // one-shot that ends a ringing call once no RING has come for a while. Modules repeat RING every
    // few seconds while a caller waits, and many report a caller who gives up only by falling silent.
    static constexpr unsigned SettleTimerId = 1;
    static constexpr unsigned SettleTimerPeriodMs = 200;
    static constexpr unsigned PollTimerId = 2;
    static constexpr unsigned PollTimerPeriodMs = 10000;
    static constexpr unsigned RingTimerId = 3;
    static constexpr unsigned RingTimeoutMs = 10000;

    static constexpr int SignalBarMaximum = 5;

    explicit ModemRules(ModemEffects& effects);
    ModemRules(const ModemRules&) = delete;
    ModemRules& operator=(const ModemRules&) = delete;

    // After the port opened: switches the module's echo off and clears the flags. The dialog then sets
    // the bar's range to 0..SignalBarMaximum, its position to 0, and starts the poll timer.
    void Start();
    // After the port failed to open: the status field says so. The dialog disables Dial itself.
    void ReportOpenFailure();
    // The module went away (unplugged, or reset and re-enumerated): the status field says so, the bar
    // drops to 0, the call buttons and the call timers stop. The dialog stops the poll, and calls
    // Start again once the module is back.
    void OnModuleLost();

    // A chunk of received bytes (the link delivers 1 to 60). Shows its printable characters in the
    // status field and applies the first response rule that matches. Returns 0, the message result.
    int OnSerialData(const char* bytes, int count);

    void OnDial();
    void OnConnect();
    void OnDisconnect();
    void OnTimer(unsigned timerId);
    // The caption's OK: hangs up and marks the dialog as closing; the dialog then ends itself.
    void OnOK();
    // The window is going away with the port still open (Escape, the window manager's close button):
    // while Disconnect is enabled a call may be up or ringing, so it is hung up rather than left
    // running after the program has ended.
    void HangUpBeforeClose();
    // The close steps are running (WM_CLOSE, or the rules' own close): from now on nothing is sent.
    void Close();

    // Narrows each character to its low 8 bits into the transfer buffer and writes them. False when
    // the port did not take them, when the command does not fit the buffer (nothing is written then),
    // or after Close.
    bool SendCommand(const WideString& command);

    // The strings the dialog's status field (read-only) and phone-number field exchange with.
    WideString& StatusText() { return statusText; }
    WideString& PhoneNumber() { return phoneNumber; }
    const WideString& StatusText() const { return statusText; }
    const WideString& PhoneNumber() const { return phoneNumber; }

    const ModemFlags& Flags() const { return flags; }
    bool IsClosed() const { return closed; }

private:
    void ChunkToText(const char* bytes, int count);
    void ApplyRules();
    bool StartUpStep(std::int32_t& done, const char16_t* command);
    bool EndCallAttempt();
    void Ring();
    void EndRinging();
    void ShowSignalReport();
    void RunCloseSteps();
    void SetDisconnect(bool enable);

    ModemEffects& effects;
    ModemFlags flags;
    bool closed = false;
    // What the Disconnect button shows, which only these rules change; and whether a ringing call
    // enabled it (so the end of the ringing disables it again, unless the user took the call).
    bool disconnectEnabled = false;
    bool ringEnabledDisconnect = false;
    WideString statusText;
    WideString phoneNumber;
    std::array<char, SendBufferSize> sendBuffer {};
};
