#pragma once

class WideString;

// What the modem rules may do to the dialog. The dialog implements it over its controls, timers, sound
// and serial port; tests implement it with a recorder. Every call comes on the user-interface thread,
// from inside one of ModemRules' handlers.
class ModemEffects {
public:
    virtual ~ModemEffects() = default;

    // Enables or disables the Connect (answer) and Disconnect (hang up) buttons.
    virtual void EnableConnect(bool enable) = 0;
    virtual void EnableDisconnect(bool enable) = 0;

    // Moves the signal bar to level, 0 (no signal) to 5 (full).
    virtual void SetSignalBar(int level) = 0;

    // Data exchange between the two text fields and the strings ModemRules holds (StatusText,
    // PhoneNumber). fromFields true copies what the fields show into the strings; false shows
    // StatusText in the status field and leaves the phone-number field alone: what the user types
    // there is theirs, and no reply of the module may overwrite it.
    virtual void ExchangeFields(bool fromFields) = 0;

    // Arms the one-shot settle timer (ModemRules::SettleTimerId, SettleTimerPeriodMs) or stops it.
    // Arming an armed timer restarts its period.
    virtual void StartSettleTimer() = 0;
    virtual void StopSettleTimer() = 0;

    // Arms the one-shot ring watch (ModemRules::RingTimerId, RingTimeoutMs) or stops it. Every RING
    // re-arms it, so it fires only once a ringing call has gone quiet. Arming an armed timer restarts
    // its period.
    virtual void StartRingTimer() = 0;
    virtual void StopRingTimer() = 0;

    // Starts the ring tone and returns at once; the tone plays on by itself.
    virtual void PlayRing() = 0;

    // Releases the serial port after the module confirmed the hang-up that ends the program. Runs
    // inside OnSerialData, so while the port's reader thread is still waiting for that chunk to be
    // handled: the implementation must not wait for the reader here, and must leave the ModemRules
    // object alive until the handler has returned.
    virtual void RunCloseSteps() = 0;

    // Writes count bytes (1 to ModemRules::SendBufferSize) to the module. bytes stay valid only during
    // the call. False when the port is not open; the rules carry on either way.
    virtual bool WriteCommand(const char* bytes, int count) = 0;
};
