#pragma once

#include "cellprobe/ModemEffects.h"
#include "cellprobe/ModemLine.h"
#include "cellprobe/ModemRules.h"
#include "ui/Control.h"
#include "ui/Dialog.h"
#include "ui/Icon.h"
#include "ui/MessageMap.h"

#include <cstdint>
#include <memory>

class SerialPort;

constexpr int CellprobeDialogId = 102;
constexpr int CellprobeIconId = 128;
constexpr const char16_t* CellprobeTitle = u"Cellprobe v1.05";

// Controls of the main dialog.
constexpr int IdDial = 1000;
constexpr int IdConnect = 1001;
constexpr int IdDisconnect = 1002;
constexpr int IdStatus = 1003;
constexpr int IdPhoneNumber = 1004;
constexpr int IdSignalBar = 1007;

// Chunks from the serial link's reader: wParam is the buffer, lParam the byte count.
constexpr UINT SerialDataMessage = WM_USER + 1;
// From the same reader, once, when the module has gone away; both parameters 0.
constexpr UINT ModuleLostMessage = WM_USER + 2;

// While the module is gone, or not there yet at the start, the dialog looks for it under the same name
// this often.
constexpr UINT_PTR ReopenTimerId = 4;
constexpr UINT ReopenPeriodMs = 1500;

const DialogTemplate& CellprobeTemplate();

// The GSM test dialog: opens the module's port when it initialises, shows the signal level and the
// module's latest response, and places, answers and ends calls. What the module's answers, the
// buttons and the timers do is decided by ModemRules; this class gives the rules their effects on
// the controls, the timers, the ring tone and the port. Everything runs on the UI thread; the serial
// link's reader hands its chunks over synchronously, so nothing here needs a lock.
class CellprobeDialog : public Dialog, private ModemEffects {
public:
    CellprobeDialog();
    // Releases the port when the dialog ended without its close steps (the caption's OK before the
    // module confirmed the hang-up, Escape), once the window is gone so no chunk can arrive meanwhile.
    ~CellprobeDialog() override;

    void DoDataExchange(DataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    // Escape: hangs up a call that may be up, then ends the dialog as cancelled.
    void OnCancel() override;

    // Handlers, bound in the message map.
    void OnClose();
    void OnConnect();
    void OnDisconnect();
    void OnDial();
    void OnTimer(UINT_PTR timerId);
    void OnKillFocus(HWND newFocus);
    LRESULT OnSerialData(WPARAM bytes, LPARAM count);
    LRESULT OnModuleLost(WPARAM, LPARAM);

    // The protocol state, for tests and tools: its flags, its strings and whether it has closed.
    ModemRules& Rules() { return rules; }
    bool HasPort() const { return serialPort != nullptr; }

protected:
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // ModemEffects, called by the rules from inside the handlers above.
    void EnableConnect(bool enable) override;
    void EnableDisconnect(bool enable) override;
    void SetSignalBar(int level) override;
    void ExchangeFields(bool fromFields) override;
    void StartSettleTimer() override;
    void StopSettleTimer() override;
    void StartRingTimer() override;
    void StopRingTimer() override;
    void PlayRing() override;
    void RunCloseSteps() override;
    bool WriteCommand(const char* bytes, int count) override;

    bool OpenPort();
    void StartModule();
    void ExplainOpenFailure();
    void TryReopen();
    void ReleasePort();

    static const MessageMapEntry<CellprobeDialog> messageMap[];

    ProgressCtrl signalBar;
    Button disconnectButton;
    Button connectButton;
    Button dialButton;
    HICON icon = NullIcon;
    // Created in OnInitDialog; released by the close steps (or, failing them, the destructor). The
    // status and phone-number strings, the command transfer buffer and the flags live in rules.
    std::unique_ptr<SerialPort> serialPort;
    // The open failure that the status field's tooltip explains; 0 when none does.
    int explainedError = 0;
    ModemRules rules;
};
