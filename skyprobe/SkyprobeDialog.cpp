#include "skyprobe/SkyprobeDialog.h"

#include "nmea/NmeaParser.h"
#include "serial/DevicePath.h"
#include "serial/OpenFailure.h"
#include "serial/SerialPort.h"
#include "skyprobe/LogEcho.h"
#include "skyprobe/RateFrame.h"
#include "skyprobe/SignalBars.h"
#include "ui/DataExchange.h"
#include "ui/Icon.h"
#include "ui/PaintDC.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// The bars' placeholders: hidden statics whose rectangles give each bar its place and its full length.
constexpr int PlaceholderX = 230;
constexpr int PlaceholderWidth = 58;
constexpr int PlaceholderHeight = 9;
constexpr int NumberX = 207;
constexpr int NumberWidth = 18;
constexpr int NumberHeight = 11;

constexpr ControlStyle ValueField = SunkenEdge;
constexpr ControlStyle CentredValue = Centered | SunkenEdge;

constexpr ControlTemplate Controls[] = {
    { NoControlId, ControlKind::GroupBox, u"", 7, 7, 197, 167 },
    { NoControlId, ControlKind::Static, u"Date:", 13, 17, 20, 11 },
    { IdDate, ControlKind::Static, u"Date", 34, 17, 50, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"Time:", 13, 30, 20, 11 },
    { IdTime, ControlKind::Static, u"Time", 34, 28, 50, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"Acquiring:", 13, 41, 36, 11 },
    { IdFixMode, ControlKind::Static, u"", 49, 41, 34, 11, ValueField },
    { NoControlId, ControlKind::Static, u"Longitude:", 13, 55, 36, 11 },
    { IdLongitude, ControlKind::Static, u"", 49, 54, 61, 11, ValueField },
    { NoControlId, ControlKind::Static, u"Latitude:", 13, 68, 34, 11 },
    { IdLatitude, ControlKind::Static, u"", 49, 66, 62, 11, ValueField },
    { NoControlId, ControlKind::Static, u"Altitude:", 13, 82, 31, 11 },
    { IdAltitude, ControlKind::Static, u"", 49, 79, 31, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"m", 85, 81, 13, 11 },
    { NoControlId, ControlKind::Static, u"Speed :", 13, 95, 32, 11 },
    { IdSpeed, ControlKind::Static, u"", 49, 92, 31, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"km/hr", 85, 95, 19, 11 },
    { NoControlId, ControlKind::Static, u"PDOP:", 13, 108, 22, 11 },
    { IdPdop, ControlKind::Static, u"", 39, 108, 31, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"HDOP:", 13, 119, 24, 11 },
    { IdHdop, ControlKind::Static, u"", 39, 119, 31, 11, CentredValue },
    { NoControlId, ControlKind::Static, u"VDOP:", 13, 132, 23, 11 },
    { IdVdop, ControlKind::Static, u"", 39, 132, 31, 11, CentredValue },
    { IdOpenClose, ControlKind::PushButton, u"Open GPS", 137, 116, 62, 18, TabStop },
    { IdClearMessages, ControlKind::PushButton, u"Clear message", 137, 138, 62, 19, TabStop },
    { IdShowMessages, ControlKind::CheckBox, u"Show GPS message", 13, 147, 76, 10, AutoCheck | TabStop },
    { IdUpdateRate, ControlKind::PushButton, u"Update rate", 13, 159, 54, 13, TabStop },
    { IdRateSeconds, ControlKind::Edit, u"", 70, 160, 21, 12, Border | TabStop },
    { NoControlId, ControlKind::Static, u"sec (1~60)", 98, 160, 39, 11 },
    { NoControlId, ControlKind::Static, u"SV data", 206, 7, 95, 11, SunkenEdge },
    { SatelliteNumberIds[0], ControlKind::Static, u"", NumberX, 20, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[0], ControlKind::Static, u"", PlaceholderX, 21, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[1], ControlKind::Static, u"", NumberX, 32, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[1], ControlKind::Static, u"", PlaceholderX, 33, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[2], ControlKind::Static, u"", NumberX, 43, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[2], ControlKind::Static, u"", PlaceholderX, 44, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[3], ControlKind::Static, u"", NumberX, 55, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[3], ControlKind::Static, u"", PlaceholderX, 55, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[4], ControlKind::Static, u"", NumberX, 66, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[4], ControlKind::Static, u"", PlaceholderX, 67, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[5], ControlKind::Static, u"", NumberX, 78, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[5], ControlKind::Static, u"", PlaceholderX, 79, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[6], ControlKind::Static, u"", NumberX, 89, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[6], ControlKind::Static, u"", PlaceholderX, 90, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[7], ControlKind::Static, u"", NumberX, 100, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[7], ControlKind::Static, u"", PlaceholderX, 101, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[8], ControlKind::Static, u"", NumberX, 113, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[8], ControlKind::Static, u"", PlaceholderX, 114, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[9], ControlKind::Static, u"", NumberX, 125, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[9], ControlKind::Static, u"", PlaceholderX, 126, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[10], ControlKind::Static, u"", NumberX, 136, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[10], ControlKind::Static, u"", PlaceholderX, 137, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { SatelliteNumberIds[11], ControlKind::Static, u"", NumberX, 148, NumberWidth, NumberHeight, ValueField },
    { BarPlaceholderIds[11], ControlKind::Static, u"", PlaceholderX, 148, PlaceholderWidth, PlaceholderHeight,
        Hidden },
    { IdLog, ControlKind::Edit, u"", 7, 176, 294, 53, MultiLine | ReadOnly | VerticalScroll | Border },
};

constexpr DialogTemplate Template { SkyprobeDialogId, u"Skyprobe v1.02", 308, 232, CaptionOkButton,
    Controls };

// The icon lives in the program's Qt resources (resources/skyprobe.qrc), 32 and 16 pixels in one file.
constexpr const char* IconResourcePath = ":/skyprobe/skyprobe.ico";

BarRect ToBarRect(const Rect& rect)
{
    return { rect.left, rect.top, rect.right, rect.bottom };
}

Rect ToRect(const BarRect& rect)
{
    return { rect.left, rect.top, rect.right, rect.bottom };
}

bool Overlaps(const Rect& a, const Rect& b)
{
    return !a.IsEmpty() && a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

COLORREF ToColorRef(const BarColour& colour)
{
    return RGB(colour.red, colour.green, colour.blue);
}

} // namespace

const MessageMapEntry<SkyprobeDialog> SkyprobeDialog::messageMap[] = {
    MapClicked(IdOpenClose, &SkyprobeDialog::OnOpenClose),
    MapClicked(IdShowMessages, &SkyprobeDialog::OnShowMessages),
    MapClicked(IdClearMessages, &SkyprobeDialog::OnClearMessages),
    MapClicked(IdUpdateRate, &SkyprobeDialog::OnUpdateRate),
    MapTimer(&SkyprobeDialog::OnTimer),
    MapPaint(&SkyprobeDialog::OnPaint),
    MapClose(&SkyprobeDialog::OnClose),
    MapMessage(SerialDataMessage, &SkyprobeDialog::OnSerialData),
    MapMessage(ReceiverLostMessage, &SkyprobeDialog::OnReceiverLost),
};

bool SkyprobeDialog::DispatchMessageMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    return RunMessageMap(*this, messageMap, message, wParam, lParam, result);
}

SkyprobeDialog::SkyprobeDialog()
    : Dialog(Template)
{
    RegisterIconResource(SkyprobeIconId, IconResourcePath);
    icon = LoadIcon(SkyprobeIconId);
}

SkyprobeDialog::~SkyprobeDialog()
{
    // Without a window, a chunk the reader is still delivering is released unhandled, so closing the
    // port below can never run OnSerialData on members that are going away.
    DestroyWindow();
    serialPort.reset();
    nmeaParser.reset();
}

void SkyprobeDialog::DoDataExchange(DataExchange* dx)
{
    DDX_Control(dx, IdUpdateRate, updateRateButton);
    DDX_Control(dx, IdOpenClose, openButton);
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        DDX_Control(dx, BarPlaceholderIds[slot], barPlaceholders[slot]);
    DDX_Log(dx, IdLog, logText, logBinding);
    DDX_Text(dx, IdDate, dateText);
    DDX_Text(dx, IdTime, timeText);
    DDX_Text(dx, IdLongitude, longitudeText);
    DDX_Text(dx, IdLatitude, latitudeText);
    DDX_Text(dx, IdAltitude, altitudeText);
    DDX_Text(dx, IdSpeed, speedText);
    DDX_Text(dx, IdPdop, pdopText);
    DDX_Text(dx, IdHdop, hdopText);
    DDX_Text(dx, IdVdop, vdopText);
    DDX_Text(dx, IdFixMode, fixModeText);
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        DDX_Text(dx, SatelliteNumberIds[slot], satelliteLabels[slot]);
    DDX_Check(dx, IdShowMessages, showMessages);
    DDX_Text(dx, IdRateSeconds, updateRateSeconds);
    DDV_MinMaxInt(dx, updateRateSeconds, MinUpdateRateSeconds, MaxUpdateRateSeconds);
}

BOOL SkyprobeDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    SetIcon(icon, TRUE);
    SetIcon(icon, FALSE);
    CenterWindow();
    serialPort = std::make_unique<SerialPort>();
    serialPort->SetNotifyTarget(GetSafeHwnd(), SerialDataMessage);
    serialPort->SetLostMessage(ReceiverLostMessage);
    isOpen = false;
    nmeaParser = std::make_unique<NmeaParser>();
    collector.Reset();
    showMessages = false;
    // The satellite slots (number fields and bar placeholders) were bound from the slot tables by the
    // data exchange of the framework's initialisation above.
    updateRateSeconds = 1;
    updateRateButton.EnableWindow(FALSE);
    UpdateData(FALSE);
    return TRUE;
}

void SkyprobeDialog::OnOpenClose()
{
    if (isOpen) {
        if (serialPort->Close()) {
            logText += u"Close GPS OK!\r\n";
            EnterClosedState();
        } else {
            logText += u"Close GPS Fail!\r\n";
        }
        UpdateData(FALSE);
        return;
    }
    if (serialPort->Open(GpsPortName, GpsBaudRate, GpsByteSize, GpsStopBits, GpsParity)) {
        // Bytes left over from an earlier session must not be joined to the new stream.
        collector.Reset();
        talkerWatch.Reset();
        logText += u"Open GPS OK!\r\n";
        openButton.SetWindowText(WideString(u"CloseGPS"));
        isOpen = true;
        updateRateButton.EnableWindow(TRUE);
        UpdateData(FALSE);
        OnUpdateRate();
    } else {
        logText += u"Open GPS Fail!\r\n";
        LogOpenFailure();
    }
    UpdateData(FALSE);
}

void SkyprobeDialog::EnterClosedState()
{
    KillTimer(RefreshTimerId);
    openButton.SetWindowText(WideString(u"OpenGPS"));
    updateRateButton.EnableWindow(FALSE);
    isOpen = false;
}

void SkyprobeDialog::LogOpenFailure()
{
    std::string path;
    if (!DevicePath::Resolve(GpsPortName, &path))
        return;
    const char* configured = std::getenv(GpsPortVariable);
    OpenFailure failure;
    failure.variable = GpsPortVariable;
    failure.configured = configured && *configured;
    failure.device = "receiver";
    failure.usualHolder = "a GPS daemon often holds the receiver (sudo systemctl stop gpsd.socket gpsd)";
    failure.path = path;
    failure.error = serialPort->LastError();
    logText += WideString::FromAscii(failure.Describe() + "\r\n");
}

LRESULT SkyprobeDialog::OnReceiverLost(WPARAM, LPARAM)
{
    if (!isOpen || !serialPort)
        return 0;
    // The reader has ended; closing releases the device, so it can be opened again once it is back.
    serialPort->Close();
    StartLogLine();
    logText += u"GPS Lost!\r\n";
    EnterClosedState();
    ShowLog();
    return 0;
}

void SkyprobeDialog::OnShowMessages()
{
    UpdateData(TRUE);
}

void SkyprobeDialog::OnClearMessages()
{
    logText.Empty();
    logBinding.Reset();
    UpdateData(FALSE);
}

void SkyprobeDialog::OnUpdateRate()
{
    // A failed save has shown its message; the timer and the receiver keep their period.
    if (!UpdateData(TRUE))
        return;
    SetTimer(RefreshTimerId, static_cast<UINT>(updateRateSeconds) * 1000u);
    SendRateCommand(updateRateSeconds);
}

void SkyprobeDialog::OnTimer(UINT_PTR)
{
    RefreshDisplay();
    Default();
}

void SkyprobeDialog::SendRateCommand(std::int32_t seconds)
{
    if (!serialPort)
        return;
    const RateFrame frame = BuildRateFrame(seconds);
    serialPort->Write(frame.data(), RateFrameSize);
}

LRESULT SkyprobeDialog::OnSerialData(WPARAM wParam, LPARAM lParam)
{
    const char* bytes = reinterpret_cast<const char*>(wParam);
    const int count = static_cast<int>(lParam);
    if (!bytes || count <= 0 || !nmeaParser)
        return 0;
    if (showMessages) {
        AppendEcho(logText, bytes, count);
        ShowLog();
    }
    bool otherTalker = false;
    collector.Feed(bytes, count, [this, &otherTalker](const char* sentence, int length) {
        nmeaParser->ParseSentence(sentence, length);
        if (talkerWatch.Notice(std::string_view(sentence, static_cast<std::size_t>(length))))
            otherTalker = true;
    });
    if (otherTalker)
        LogOtherTalker();
    return 0;
}

// Such a receiver shows its satellites and nothing else; without a word the user would take it for a
// receiver that has no fix.
void SkyprobeDialog::LogOtherTalker()
{
    StartLogLine();
    const std::string talker(talkerWatch.Talker());
    logText += WideString::FromAscii(
        "GPS reports its position as $" + talker + "..., which this program does not decode.\r\n");
    ShowLog();
}

// The echo may have stopped in the middle of a line; a message of the dialog gets a line of its own.
void SkyprobeDialog::StartLogLine()
{
    if (!logText.IsEmpty() && logText.GetAt(logText.GetLength() - 1) != u'\n')
        logText += u"\r\n";
}

void SkyprobeDialog::ShowLog()
{
    // Only the log control: a full UpdateData(FALSE) per chunk would also rewrite the rate field with
    // the last saved value while the user is typing a new one. The binding appends just what the
    // chunk added, so the cost follows the chunk and not the length of the log.
    DataExchange dx(this, false);
    DDX_Log(&dx, IdLog, logText, logBinding);
}

void SkyprobeDialog::RefreshDisplay()
{
    // Saves what the user typed or ticked, so that showing the fields below does not undo it.
    UpdateData(TRUE);
    if (!nmeaParser)
        return;
    RmcRecord rmc;
    GsaRecord gsa;
    GgaRecord gga;
    VtgRecord vtg;
    GsvRecord gsv;
    nmeaParser->GetRmc(&rmc);
    nmeaParser->GetGsa(&gsa);
    nmeaParser->GetGga(&gga);
    nmeaParser->GetVtg(&vtg);
    nmeaParser->GetGsv(&gsv);
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    dateText = texts.dateText;
    timeText = texts.timeText;
    longitudeText = texts.longitudeText;
    latitudeText = texts.latitudeText;
    altitudeText = texts.altitudeText;
    speedText = texts.speedText;
    pdopText = texts.pdopText;
    hdopText = texts.hdopText;
    vdopText = texts.vdopText;
    fixModeText = texts.fixModeText;
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        satelliteLabels[slot] = texts.satelliteLabels[slot];
        // Empty slots keep whatever their area shows until something else repaints it.
        if (texts.barNeedsRepaint[slot]) {
            const Rect area = barPlaceholders[slot].GetWindowRect();
            InvalidateRect(&area, TRUE);
        }
    }
    UpdateData(FALSE);
}

void SkyprobeDialog::OnPaint()
{
    PaintDC dc(this);
    if (!nmeaParser)
        return;
    GsvRecord gsv;
    GsaRecord gsa;
    nmeaParser->GetGsv(&gsv);
    nmeaParser->GetGsa(&gsa);
    std::array<BarRect, SatelliteSlots> places;
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        places[slot] = ToBarRect(barPlaceholders[slot].GetWindowRect());
    const auto bars = ComputeSignalBars(places, gsv, gsa);
    const COLORREF labelColour = ToColorRef(BarLabelColour);
    const Rect clip = dc.GetClipBox();
    for (const SignalBar& bar : bars) {
        const Rect area = ToRect(bar.rect);
        // Nothing outside the clip shows; skipping it saves laying out labels when only another part
        // of the dialog (the log, a field) is repainted.
        if (!Overlaps(area, clip))
            continue;
        const COLORREF colour = ToColorRef(bar.colour);
        dc.FillSolidRect(area, colour);
        const COLORREF previousBackground = dc.SetBkColor(colour);
        dc.SetTextColor(labelColour);
        dc.DrawText(bar.label, area, DT_TOP | DT_LEFT);
        dc.SetTextColor(RGB(0, 0, 0));
        dc.SetBkColor(previousBackground);
    }
}

void SkyprobeDialog::OnClose()
{
    if (isOpen)
        serialPort->Close();
    isOpen = false;
    serialPort.reset();
    nmeaParser.reset();
    Default();
}
