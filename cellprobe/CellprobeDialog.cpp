#include "cellprobe/CellprobeDialog.h"

#include "serial/DevicePath.h"
#include "serial/OpenFailure.h"
#include "serial/SerialPort.h"
#include "ui/DataExchange.h"
#include "ui/PlaySound.h"
#include "ui/WindowRegistry.h"

#include <QString>
#include <QWidget>
#include <QtGlobal>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Outside any namespace, as Qt's resource initialisation requires.
static void InitCellprobeResources()
{
    // The icon lives in this static library's resources, which a linker drops unless they are
    // referenced; this call is that reference.
    Q_INIT_RESOURCE(cellprobe);
}

namespace {

constexpr ControlTemplate Controls[] = {
    { NoControlId, ControlKind::Static, u"GSM Status :", 7, 24, 48, 10, Group },
    { NoControlId, ControlKind::Static, u"Phone number :", 7, 41, 54, 10, Group },
    { IdDial, ControlKind::PushButton, u"Dial", 7, 61, 44, 18, TabStop },
    { IdConnect, ControlKind::PushButton, u"Connect", 57, 61, 42, 18, TabStop | Disabled },
    { IdDisconnect, ControlKind::PushButton, u"Disconnect", 145, 61, 50, 18, TabStop | Disabled },
    { IdStatus, ControlKind::Edit, u"", 63, 24, 132, 12, Border | TabStop | ReadOnly | AutoHScroll },
    // No length limit: a number too long to dial is refused by the rules with a message instead.
    { IdPhoneNumber, ControlKind::Edit, u"", 63, 40, 132, 12, Border | TabStop | AutoHScroll },
    { NoControlId, ControlKind::Static, u"GSM signal :", 7, 7, 52, 10, Group },
    { IdSignalBar, ControlKind::ProgressBar, u"Progress1", 63, 7, 32, 11, Border },
};

// No system menu, so the caption has no close button: the dialog ends through its OK, which hangs up.
constexpr DialogTemplate Template { CellprobeDialogId, CellprobeTitle, 202, 86,
    NoSystemMenu | SetForeground | CaptionOkButton, Controls };

constexpr const char* IconResourcePath = ":/cellprobe/cellprobe.ico";
// The ring tone's bare name: the sound layer looks for it next to the executable, then in the working
// directory, where the build puts the tone it generates.
constexpr const char16_t* RingToneName = u"ring.WAV";

} // namespace

const DialogTemplate& CellprobeTemplate()
{
    return Template;
}

const MessageMapEntry<CellprobeDialog> CellprobeDialog::messageMap[] = {
    MapClose(&CellprobeDialog::OnClose),
    MapClicked(IdConnect, &CellprobeDialog::OnConnect),
    MapClicked(IdDisconnect, &CellprobeDialog::OnDisconnect),
    MapClicked(IdDial, &CellprobeDialog::OnDial),
    MapTimer(&CellprobeDialog::OnTimer),
    MapKillFocus(&CellprobeDialog::OnKillFocus),
    MapMessage(SerialDataMessage, &CellprobeDialog::OnSerialData),
    MapMessage(ModuleLostMessage, &CellprobeDialog::OnModuleLost),
};

CellprobeDialog::CellprobeDialog()
    : Dialog(Template)
    , rules(*this)
{
    InitCellprobeResources();
    RegisterIconResource(CellprobeIconId, IconResourcePath);
    icon = LoadIcon(CellprobeIconId);
}

CellprobeDialog::~CellprobeDialog()
{
    DestroyWindow();
    rules.Close();
    ReleasePort();
}

bool CellprobeDialog::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return RunMessageMap(*this, messageMap, message, wParam, lParam, result);
}

void CellprobeDialog::DoDataExchange(DataExchange* dx)
{
    Dialog::DoDataExchange(dx);
    DDX_Control(dx, IdSignalBar, signalBar);
    DDX_Control(dx, IdDisconnect, disconnectButton);
    DDX_Control(dx, IdConnect, connectButton);
    DDX_Control(dx, IdDial, dialButton);
    DDX_Text(dx, IdStatus, rules.StatusText());
    DDX_Text(dx, IdPhoneNumber, rules.PhoneNumber());
}

BOOL CellprobeDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    SendMessage(GetSafeHwnd(), WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
    SendMessage(GetSafeHwnd(), WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon));
    CenterWindow();

    serialPort = std::make_unique<SerialPort>();
    serialPort->SetNotifyTarget(GetSafeHwnd(), SerialDataMessage);
    serialPort->SetLostMessage(ModuleLostMessage);
    if (!OpenPort()) {
        // Nothing can be dialled without the module; the port object stays, closed, until the end.
        rules.ReportOpenFailure();
        dialButton.EnableWindow(FALSE);
        ExplainOpenFailure();
        // A modem plugged in after the start (or a simulator started later) appears under this very
        // name, so it is looked for as a lost one is. Waiting mends no other failure.
        if (serialPort->LastError() == ENOENT)
            SetTimer(ReopenTimerId, ReopenPeriodMs);
        return TRUE;
    }
    StartModule();
    return TRUE;
}

bool CellprobeDialog::OpenPort()
{
    return serialPort->Open(ModemPortName, ModemBaudRate, ModemByteSize, ModemStopBits, ModemParity);
}

// With the port open, at start and whenever the module has come back.
void CellprobeDialog::StartModule()
{
    rules.Start();
    signalBar.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(0, ModemRules::SignalBarMaximum));
    signalBar.SendMessage(PBM_SETPOS, 0, 0);
    SetTimer(ModemRules::PollTimerId, ModemRules::PollTimerPeriodMs);
}

// The status keeps its short fixed text; the reason goes where a user looking for it finds it: the
// terminal that started the program, and the status field's tooltip.
void CellprobeDialog::ExplainOpenFailure()
{
    const char* configured = std::getenv(ModemPortVariable);
    OpenFailure failure;
    failure.variable = ModemPortVariable;
    failure.configured = configured && *configured;
    failure.device = "modem";
    failure.usualHolder = "a modem manager service often holds modem ports; tell it to leave this one alone, "
                          "or stop it (sudo systemctl stop ModemManager)";
    if (!DevicePath::Resolve(ModemPortName, &failure.path))
        failure.path.clear();
    failure.error = serialPort->LastError();
    explainedError = failure.error;
    const std::string reason = failure.Describe();
    std::fprintf(stderr, "cellprobe: %s\n", reason.c_str());
    if (QWidget* status = GetControlWidget(IdStatus))
        status->setToolTip(QString::fromLocal8Bit(reason));
}

// The reader has ended and told us so; the port is still open. Closing it here (the reader waits for
// this message to be handled, which the close releases) lets the same name be opened again.
LRESULT CellprobeDialog::OnModuleLost(WPARAM, LPARAM)
{
    if (rules.IsClosed() || !serialPort)
        return 0;
    KillTimer(ModemRules::PollTimerId);
    rules.OnModuleLost();
    dialButton.EnableWindow(FALSE);
    serialPort->Close();
    SetTimer(ReopenTimerId, ReopenPeriodMs);
    return 0;
}

void CellprobeDialog::TryReopen()
{
    if (rules.IsClosed() || !serialPort)
        return;
    if (!OpenPort()) {
        // A device that has just appeared may still be busy or not yet ours (a modem manager probing
        // it, udev still setting its group); the explanation follows when the reason changes.
        if (explainedError != 0 && serialPort->LastError() != explainedError)
            ExplainOpenFailure();
        return;
    }
    KillTimer(ReopenTimerId);
    if (explainedError != 0) {
        explainedError = 0;
        if (QWidget* status = GetControlWidget(IdStatus))
            status->setToolTip(QString());
    }
    dialButton.EnableWindow(TRUE);
    // A module that comes back has been reset: it echoes again and knows none of our settings.
    StartModule();
}

void CellprobeDialog::OnOK()
{
    rules.OnOK();
    Dialog::OnOK();
}

void CellprobeDialog::OnCancel()
{
    rules.HangUpBeforeClose();
    Dialog::OnCancel();
}

void CellprobeDialog::OnClose()
{
    // Closed first, timers stopped next: a tick or a chunk already on its way finds the rules closed
    // and the port pointer empty, and does nothing. A call still up is hung up while the port can
    // still carry it.
    rules.HangUpBeforeClose();
    rules.Close();
    KillTimer(ModemRules::SettleTimerId);
    KillTimer(ModemRules::PollTimerId);
    KillTimer(ModemRules::RingTimerId);
    KillTimer(ReopenTimerId);
    ReleasePort();
    // WM_CLOSE ends the dialog as cancelled; when the rules run the close steps, the message is a
    // chunk, whose default handling does nothing, and the dialog stays until the user ends it.
    Default();
}

void CellprobeDialog::ReleasePort()
{
    // reset empties the pointer before deleting, so nothing can write to a port being deleted. Deleting
    // is safe inside the handler of the port's own chunk: the link releases its waiting reader and
    // keeps the chunk readable until the handler returns.
    serialPort.reset();
}

void CellprobeDialog::OnConnect()
{
    rules.OnConnect();
}

void CellprobeDialog::OnDisconnect()
{
    rules.OnDisconnect();
}

void CellprobeDialog::OnDial()
{
    rules.OnDial();
}

void CellprobeDialog::OnTimer(UINT_PTR timerId)
{
    if (timerId == ReopenTimerId)
        TryReopen();
    else
        rules.OnTimer(static_cast<unsigned>(timerId));
    Default();
}

void CellprobeDialog::OnKillFocus(HWND)
{
    Default();
    // The device has one job on screen: whenever another window takes the focus, come back to front.
    SetForegroundWindow();
}

LRESULT CellprobeDialog::OnSerialData(WPARAM bytes, LPARAM count)
{
    return rules.OnSerialData(reinterpret_cast<const char*>(bytes), static_cast<int>(count));
}

void CellprobeDialog::EnableConnect(bool enable)
{
    connectButton.EnableWindow(enable ? TRUE : FALSE);
}

void CellprobeDialog::EnableDisconnect(bool enable)
{
    disconnectButton.EnableWindow(enable ? TRUE : FALSE);
}

void CellprobeDialog::SetSignalBar(int level)
{
    signalBar.SendMessage(PBM_SETPOS, static_cast<WPARAM>(level), 0);
}

void CellprobeDialog::ExchangeFields(bool fromFields)
{
    if (fromFields) {
        UpdateData(TRUE);
        return;
    }
    // The number field is left as the user has it, cursor and all.
    SetDlgItemText(IdStatus, rules.StatusText());
}

void CellprobeDialog::StartSettleTimer()
{
    SetTimer(ModemRules::SettleTimerId, ModemRules::SettleTimerPeriodMs);
}

void CellprobeDialog::StopSettleTimer()
{
    KillTimer(ModemRules::SettleTimerId);
}

void CellprobeDialog::StartRingTimer()
{
    SetTimer(ModemRules::RingTimerId, ModemRules::RingTimeoutMs);
}

void CellprobeDialog::StopRingTimer()
{
    KillTimer(ModemRules::RingTimerId);
}

void CellprobeDialog::PlayRing()
{
    // A missing or unreadable tone only costs the sound; the call can still be answered.
    PlaySound(RingToneName, SND_ASYNC);
}

void CellprobeDialog::RunCloseSteps()
{
    OnClose();
}

bool CellprobeDialog::WriteCommand(const char* bytes, int count)
{
    return serialPort && serialPort->Write(bytes, count);
}
