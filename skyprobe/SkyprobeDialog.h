#pragma once

#include "skyprobe/DisplayTexts.h"
#include "skyprobe/ReceiverLine.h"
#include "skyprobe/SentenceCollector.h"
#include "skyprobe/TalkerWatch.h"
#include "ui/Control.h"
#include "ui/Dialog.h"
#include "ui/LogBinding.h"
#include "ui/MessageMap.h"
#include "ui/WideString.h"

#include <array>
#include <cstdint>
#include <memory>

class NmeaParser;
class SerialPort;

constexpr int SkyprobeDialogId = 102;
constexpr int SkyprobeIconId = 128;

// Controls of the main dialog.
constexpr int IdLog = 1002;
constexpr int IdDate = 1003;
constexpr int IdTime = 1004;
constexpr int IdLongitude = 1005;
constexpr int IdLatitude = 1006;
constexpr int IdAltitude = 1007;
constexpr int IdSpeed = 1008;
constexpr int IdPdop = 1009;
constexpr int IdHdop = 1010;
constexpr int IdVdop = 1011;
constexpr int IdFixMode = 1012;
constexpr int IdOpenClose = 1038;
constexpr int IdShowMessages = 1039;
constexpr int IdClearMessages = 1040;
constexpr int IdUpdateRate = 1041;
constexpr int IdRateSeconds = 1042;

// Satellite slot i (top to bottom) shows its number in SatelliteNumberIds[i] and its signal bar over
// the hidden placeholder BarPlaceholderIds[i]; neither list is contiguous.
constexpr std::array<int, SatelliteSlots> SatelliteNumberIds
    = { 1013, 1015, 1017, 1019, 1021, 1022, 1023, 1024, 1025, 1026, 1027, 1028 };
constexpr std::array<int, SatelliteSlots> BarPlaceholderIds
    = { 1014, 1016, 1018, 1020, 1029, 1030, 1031, 1032, 1033, 1034, 1035, 1036 };

// The display refresh; its period is the receiver's update period.
constexpr UINT_PTR RefreshTimerId = 1;
// Chunks from the serial link's reader: wParam is the buffer, lParam the byte count.
constexpr UINT SerialDataMessage = WM_USER + 1;
// From the serial link's reader, once, when the receiver went away while open (wParam, lParam 0).
constexpr UINT ReceiverLostMessage = WM_USER + 2;

// The GPS test dialog: opens and closes the receiver's port, echoes its output into the message log
// on request, cuts it into sentences for the decoder, sets the receiver's update period and shows the
// fix and the satellites on a timer with that period. Everything runs on the UI thread; the serial
// link's reader hands its chunks over synchronously, so no state here needs a lock.
class SkyprobeDialog : public Dialog {
public:
    SkyprobeDialog();
    // Closes the port when the dialog ended without its close steps (OK, Escape), after the window
    // is gone so that no chunk can reach a half-destroyed dialog.
    ~SkyprobeDialog() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(DataExchange* dx) override;

    // Handlers, bound in the message map. Public like the fields, so that tests and measurements can
    // drive and inspect the dialog directly.
    void OnOpenClose();
    void OnShowMessages();
    void OnClearMessages();
    void OnUpdateRate();
    void OnTimer(UINT_PTR timerId);
    void OnPaint();
    void OnClose();
    // Echoes the chunk into the log when asked (showing only what it added), then collects sentences.
    // Once per open, the first position sentence of another talker than GP (before any of GP) adds a
    // line to the log that says it is not decoded. Returns 0, as the serial link expects.
    LRESULT OnSerialData(WPARAM wParam, LPARAM lParam);
    // The receiver vanished (unplugged, reset, suspended): logs it and closes the port, so that the
    // dialog is in its closed state and "Open GPS" finds the receiver once it is back.
    LRESULT OnReceiverLost(WPARAM wParam, LPARAM lParam);

    // Tells the receiver to compute a fix every seconds; the result of the write is not looked at.
    void SendRateCommand(std::int32_t seconds);
    // Formats the decoder's records into the fields, marks the occupied satellite bars for repainting
    // and shows the fields.
    void RefreshDisplay();

    Button updateRateButton;
    Button openButton;
    std::array<StaticControl, SatelliteSlots> barPlaceholders;
    WideString logText;
    WideString dateText;
    WideString timeText;
    WideString longitudeText;
    WideString latitudeText;
    WideString altitudeText;
    WideString speedText;
    WideString pdopText;
    WideString hdopText;
    WideString vdopText;
    WideString fixModeText;
    std::array<WideString, SatelliteSlots> satelliteLabels;
    bool showMessages = false;
    std::int32_t updateRateSeconds = 0;
    HICON icon = NullIcon;
    std::unique_ptr<SerialPort> serialPort;
    std::unique_ptr<NmeaParser> nmeaParser;
    SentenceCollector collector;
    TalkerWatch talkerWatch;
    bool isOpen = false;
    // What the log control already shows of logText, so an echo costs what the chunk added.
    LogBinding logBinding;

private:
    void ShowLog();
    void StartLogLine();
    void EnterClosedState();
    void LogOpenFailure();
    void LogOtherTalker();

    static const MessageMapEntry<SkyprobeDialog> messageMap[];
    bool DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};
