#include "ReceiverPty.h"
#include "tests/nmea/NmeaCapture.h"

#include "skyprobe/SkyprobeDialog.h"
#include "ui/DialogDriver.h"
#include "ui/Icon.h"
#include "ui/MessageBox.h"
#include "ui/Screenshot.h"

#include <QIcon>
#include <QImage>
#include <QPaintEvent>
#include <QRegion>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes OneSecondFrame
    = { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0xE8, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x37 };
const Bytes FiveSecondFrame
    = { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x88, 0x13, 0x01, 0x00, 0x00, 0x00, 0xB0, 0x47 };

// The log control leaves carriage returns out, so CR LF shows as one line break.
WideString Shown(const WideString& log)
{
    WideString shown;
    for (int i = 0; i < log.GetLength(); ++i)
        if (log.GetAt(i) != u'\r')
            shown += log.GetAt(i);
    return shown;
}

// The rendered image may come from a backing store with fewer than 8 bits per channel.
bool IsColour(const QColor& colour, int red, int green, int blue)
{
    return std::abs(colour.red() - red) < 16 && std::abs(colour.green() - green) < 16
        && std::abs(colour.blue() - blue) < 16;
}

class SkyprobeDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        pty.UseAsCom4();
        driver = std::make_unique<DialogDriver>(dialog);
    }

    // Opens the port and takes the rate frame that the open sends.
    void Open()
    {
        driver->Click(IdOpenClose);
        ASSERT_TRUE(dialog.isOpen) << dialog.logText.ToAscii();
        ASSERT_EQ(pty.Receive(OneSecondFrame.size(), 5s), OneSecondFrame);
    }

    ReceiverPty pty;
    SkyprobeDialog dialog;
    std::unique_ptr<DialogDriver> driver;
};

} // namespace

TEST_F(SkyprobeDialogTest, StartsWithEmptyFieldsAndNoRefresh)
{
    EXPECT_EQ(WideString(dialog.GetTemplate().title), WideString(u"Skyprobe v1.02"));
    EXPECT_NE(IconPath(dialog.GetIcon(TRUE)), nullptr) << "icon resource 128 not found";
    EXPECT_EQ(dialog.GetIcon(FALSE), dialog.GetIcon(TRUE));
    const QList<QSize> iconSizes = dialog.GetWindowWidget()->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)) && iconSizes.contains(QSize(16, 16)));
    for (int id : { IdLog, IdDate, IdTime, IdLongitude, IdLatitude, IdAltitude, IdSpeed, IdPdop, IdHdop,
             IdVdop, IdFixMode })
        EXPECT_TRUE(driver->Text(id).IsEmpty()) << "control " << id;
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        EXPECT_TRUE(driver->Text(SatelliteNumberIds[slot]).IsEmpty()) << "slot " << slot;
        EXPECT_FALSE(driver->IsVisible(BarPlaceholderIds[slot])) << "slot " << slot;
    }
    EXPECT_EQ(driver->Text(IdRateSeconds), WideString(u"1"));
    EXPECT_EQ(driver->Text(IdOpenClose), WideString(u"Open GPS"));
    EXPECT_FALSE(driver->IsChecked(IdShowMessages));
    EXPECT_FALSE(driver->IsEnabled(IdUpdateRate));
    EXPECT_FALSE(dialog.IsTimerRunning(RefreshTimerId));
    EXPECT_TRUE(pty.Pending().empty());
}

TEST_F(SkyprobeDialogTest, OpenCloseOpenLogsEachStepAndSendsTheRateEachOpen)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(driver->Text(IdOpenClose), WideString(u"CloseGPS"));
    EXPECT_TRUE(driver->IsEnabled(IdUpdateRate));
    EXPECT_EQ(dialog.GetTimerPeriod(RefreshTimerId), 1000u);

    // A sentence cut off by the close must not be joined to the first sentence after the reopen.
    ASSERT_TRUE(pty.Send("$GPGSA,A,3,01,"));
    ASSERT_TRUE(driver->WaitUntil([&] { return dialog.collector.GetSentenceLength() > 0; }));
    driver->Click(IdOpenClose);
    EXPECT_FALSE(dialog.isOpen);
    EXPECT_TRUE(pty.SeesHangup());
    EXPECT_EQ(driver->Text(IdOpenClose), WideString(u"OpenGPS"));
    EXPECT_FALSE(driver->IsEnabled(IdUpdateRate));
    EXPECT_FALSE(dialog.IsTimerRunning(RefreshTimerId));

    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(dialog.logText, WideString(u"Open GPS OK!\r\nClose GPS OK!\r\nOpen GPS OK!\r\n"));
    EXPECT_EQ(driver->Text(IdLog), Shown(dialog.logText));
    EXPECT_EQ(driver->Text(IdOpenClose), WideString(u"CloseGPS"));
    EXPECT_EQ(dialog.GetTimerPeriod(RefreshTimerId), 1000u);
    ASSERT_TRUE(pty.Send("$GPRMC,081836,A,3751.65,S,14507.36,E,0.0,360.0,130998,011.3,E*62\r\n"));
    ASSERT_TRUE(driver->WaitUntil([&] {
        driver->FireTimer(RefreshTimerId);
        return !driver->Text(IdTime).IsEmpty();
    }));
    EXPECT_EQ(driver->Text(IdLatitude), WideString(u"S 37d 51' 39.0''"));
}

TEST_F(SkyprobeDialogTest, OpenWithoutTheDeviceLogsTheFailureAndChangesNothing)
{
    ::setenv("COM4", "/nonexistent/ttyGPS", 1);
    driver->Click(IdOpenClose);
    EXPECT_EQ(dialog.logText.ToAscii(),
        "Open GPS Fail!\r\n/nonexistent/ttyGPS (COM4): no such device; is the receiver plugged in?\r\n");
    EXPECT_EQ(driver->Text(IdLog), Shown(dialog.logText));
    EXPECT_EQ(driver->Text(IdOpenClose), WideString(u"Open GPS"));
    EXPECT_FALSE(driver->IsEnabled(IdUpdateRate));
    EXPECT_FALSE(dialog.IsTimerRunning(RefreshTimerId));
}

TEST_F(SkyprobeDialogTest, UpdateRateSendsTheFrameAndRetimesOnlyForOneToSixty)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    struct Case {
        const char16_t* typed;
        Bytes frame;
        UINT period;
        const char16_t* message;
        bool tickWhileShown = false; // a refresh tick falls while the message is on screen
    };
    const Case cases[] = {
        { u"5", FiveSecondFrame, 5000, nullptr },
        { u"0", {}, 5000, u"Please enter an integer between 1 and 60." },
        { u"61", {}, 5000, u"Please enter an integer between 1 and 60." },
        { u"61", {}, 5000, u"Please enter an integer between 1 and 60.", true },
        { u"five", {}, 5000, u"Please enter an integer." },
        { u"1", OneSecondFrame, 1000, nullptr },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideString(c.typed).ToAscii() + (c.tickWhileShown ? ", tick while shown" : ""));
        driver->WhileMessageBoxShows(
            c.tickWhileShown ? [&] { driver->FireTimer(RefreshTimerId); } : std::function<void()>());
        const std::size_t messagesBefore = driver->MessageBoxes().size();
        driver->TypeText(IdRateSeconds, WideString(c.typed));
        driver->Click(IdUpdateRate);
        // The write is done when the click returns, so whatever was sent is already waiting.
        EXPECT_EQ(pty.Pending(), c.frame);
        EXPECT_EQ(dialog.GetTimerPeriod(RefreshTimerId), c.period);
        // Whatever the tick's timing, a refused rate is told once; the field shows the rate in use.
        ASSERT_TRUE(driver->FireTimer(RefreshTimerId));
        EXPECT_EQ(driver->Text(IdRateSeconds), WideString::FromAscii(std::to_string(c.period / 1000)));
        if (!c.message) {
            EXPECT_EQ(driver->MessageBoxes().size(), messagesBefore);
            continue;
        }
        ASSERT_EQ(driver->MessageBoxes().size(), messagesBefore + 1);
        EXPECT_EQ(driver->MessageBoxes().back(), WideString(c.message));
        EXPECT_EQ(dialog.GetFocusedControlId(), IdRateSeconds);
    }
}

TEST_F(SkyprobeDialogTest, ARefusedRateGivesOneMessageAndNeverStopsTheRefreshOfTheNextOpen)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    // The refused number is not kept, so the tick that refused it shows the last valid rate again and
    // the next tick has nothing to refuse.
    driver->TypeText(IdRateSeconds, WideString(u"0"));
    ASSERT_TRUE(driver->FireTimer(RefreshTimerId));
    ASSERT_TRUE(driver->FireTimer(RefreshTimerId));
    EXPECT_EQ(driver->MessageBoxes().size(), 1u);
    EXPECT_EQ(driver->Text(IdRateSeconds), WideString(u"1"));
    EXPECT_EQ(driver->Text(IdFixMode), WideString(u"No Fix")) << "the refresh went on";

    // Refused while closed (the check box saves too): the next open still retimes and tells the receiver.
    driver->Click(IdOpenClose);
    driver->TypeText(IdRateSeconds, WideString(u"61"));
    driver->Click(IdShowMessages);
    EXPECT_EQ(driver->MessageBoxes().size(), 2u);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(dialog.GetTimerPeriod(RefreshTimerId), 1000u);
}

TEST_F(SkyprobeDialogTest, ClearEmptiesTheLogAndNewOutputStartsAFreshOne)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    driver->Click(IdShowMessages);
    ASSERT_TRUE(dialog.showMessages);
    ASSERT_TRUE(pty.Send("$GPGGA,1*\r\n"));
    ASSERT_TRUE(driver->WaitUntil([&] { return dialog.logText.Find(WideString(u"$GPGGA,1*\r\n")) >= 0; }));
    driver->Click(IdClearMessages);
    EXPECT_TRUE(dialog.logText.IsEmpty());
    EXPECT_TRUE(driver->Text(IdLog).IsEmpty());
    ASSERT_TRUE(pty.Send("$GPRMC,2*\r\n"));
    ASSERT_TRUE(driver->WaitUntil([&] { return dialog.logText.GetLength() == 11; }));
    EXPECT_EQ(dialog.logText, WideString(u"$GPRMC,2*\r\n"));
    EXPECT_EQ(driver->Text(IdLog), WideString(u"$GPRMC,2*\n"));

    // With the echo off the log stays as it is; the sentences still reach the decoder.
    driver->Click(IdShowMessages);
    ASSERT_FALSE(dialog.showMessages);
    ASSERT_TRUE(pty.Send("$GPRMC,081836,A,3751.65,S,14507.36,E,0.0,360.0,130998,011.3,E*62\r\n"));
    ASSERT_TRUE(driver->WaitUntil([&] {
        driver->FireTimer(RefreshTimerId);
        return driver->Text(IdLatitude) == WideString(u"S 37d 51' 39.0''");
    }));
    EXPECT_EQ(dialog.logText, WideString(u"$GPRMC,2*\r\n"));
}

// A tick marks for repainting the bar areas of the occupied slots and nothing else of what the dialog
// draws itself: a repaint of the whole window (as a screenshot makes) would hide a missing or too
// wide invalidation.
TEST_F(SkyprobeDialogTest, ATickRepaintsTheBarsOfTheOccupiedSlotsOnly)
{
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_TRUE(pty.Send("$GPGSV,1,1,03,05,40,100,30,07,20,200,25,09,10,300,*\r\n"));
    ASSERT_TRUE(driver->WaitUntil([&] {
        driver->FireTimer(RefreshTimerId);
        return driver->Text(SatelliteNumberIds[2]) == WideString(u"9");
    }));
    driver->Grab(); // shows whatever was still waiting, the log included
    driver->ProcessEvents();

    class PaintRecorder : public QObject {
    public:
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } recorder;
    dialog.GetClientWidget()->installEventFilter(&recorder);
    ASSERT_TRUE(driver->FireTimer(RefreshTimerId));
    driver->ProcessEvents();
    dialog.GetClientWidget()->removeEventFilter(&recorder);

    QRegion occupied;
    for (int slot = 0; slot < 3; ++slot) {
        const Rect place = dialog.barPlaceholders[slot].GetWindowRect();
        occupied += QRect(place.left, place.top, place.Width(), place.Height());
    }
    EXPECT_EQ(recorder.painted, occupied);
}

// The close box runs the close steps, which release the port before the dialog ends; OK and Escape
// end the dialog without them, and the port goes with the dialog object instead of lingering.
TEST(SkyprobeDialogEnding, EveryWayOutReleasesAnOpenPort)
{
    struct Case {
        const char* how;
        void (DialogDriver::*end)();
        int result;
        bool releasedBeforeTheObjectGoes;
    };
    const Case cases[] = {
        { "close box", &DialogDriver::CloseButton, IDCANCEL, true },
        { "caption OK", &DialogDriver::PressOk, IDOK, false },
        { "Escape", &DialogDriver::PressEscape, IDCANCEL, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ReceiverPty pty;
        ASSERT_TRUE(pty.IsOpen());
        pty.UseAsCom4();
        {
            SkyprobeDialog dialog;
            DialogDriver driver(dialog);
            driver.Click(IdOpenClose);
            ASSERT_TRUE(dialog.isOpen);
            EXPECT_FALSE(DeviceIsFree(pty.SlavePath()));
            (driver.*c.end)();
            EXPECT_TRUE(driver.IsEnded());
            EXPECT_EQ(driver.Result(), c.result);
            EXPECT_EQ(pty.SeesHangup(), c.releasedBeforeTheObjectGoes);
        }
        EXPECT_TRUE(pty.SeesHangup());
        EXPECT_TRUE(DeviceIsFree(pty.SlavePath()));
    }
}

// A real receiver's output through the pty, echoed and decoded; its last fix (see the core's capture
// test) must show in the fields after a tick and as bars over the placeholders.
TEST_F(SkyprobeDialogTest, ShowsTheFixOfARealCaptureAsTextsAndBars)
{
    const std::filesystem::path path = CaptureDirectory / "telit-he910.log";
    ASSERT_TRUE(std::filesystem::exists(path)) << "receiver capture missing: " << path;
    const std::string bytes = ReadCaptureStream(path);
    ASSERT_NO_FATAL_FAILURE(Open());
    driver->Click(IdShowMessages);
    WideString expectedLog = dialog.logText;
    for (const char byte : bytes)
        if (byte != 0)
            expectedLog += static_cast<char16_t>(static_cast<std::int16_t>(static_cast<std::int8_t>(byte)));

    bool sent = false;
    std::thread receiver([&] { sent = pty.Send(bytes); });
    const bool arrived
        = driver->WaitUntil([&] { return dialog.logText.GetLength() >= expectedLog.GetLength(); }, 60s);
    receiver.join();
    ASSERT_TRUE(sent && arrived) << dialog.logText.GetLength() << " of " << expectedLog.GetLength();
    EXPECT_EQ(dialog.logText, expectedLog);
    EXPECT_EQ(driver->Text(IdLog), Shown(expectedLog));

    ASSERT_TRUE(driver->FireTimer(RefreshTimerId));
    const std::pair<int, const char16_t*> fields[]
        = { { IdDate, u"2019-03-12" }, { IdTime, u"10:54:59" }, { IdLatitude, u"N 50d 50' 24.8''" },
              { IdLongitude, u"E 4d 20' 49.4''" }, { IdAltitude, u"102.0" }, { IdSpeed, u"0.0" },
              { IdFixMode, u"3D" }, { IdPdop, u"3.5" }, { IdHdop, u"1.8" }, { IdVdop, u"3.0" } };
    for (const auto& [id, text] : fields)
        EXPECT_EQ(driver->Text(id), WideString(text)) << "control " << id;
    const char16_t* const labels[SatelliteSlots]
        = { u"13", u"15", u"17", u"19", u"20", u"24", u"28", u"-", u"-", u"-", u"-", u"-" };
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        EXPECT_EQ(driver->Text(SatelliteNumberIds[slot]), WideString(labels[slot])) << "slot " << slot;

    // Slots 0-4 are in the fix (blue), 5 and 6 only in view (red); the bar ends at snr pixels on a
    // 116-pixel placeholder. Probe the bar's last column and the column just past it, on the bottom
    // row, below the label.
    const QImage image = driver->Grab();
    const int clientTop = dialog.GetClientWidget()->mapTo(dialog.GetWindowWidget(), QPoint(0, 0)).y();
    const int snrs[] = { 35, 42, 33, 27, 27, 40, 46 };
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        SCOPED_TRACE(slot);
        const Rect place = dialog.barPlaceholders[slot].GetWindowRect();
        ASSERT_EQ(place.Width(), 116);
        const int y = clientTop + place.bottom - 1;
        if (slot >= 7) {
            EXPECT_EQ(image.pixelColor(place.left + 1, y), image.pixelColor(place.right + 2, y)) << "no bar";
            continue;
        }
        const QColor inside = image.pixelColor(place.left + snrs[slot] - 1, y);
        const QColor past = image.pixelColor(place.left + snrs[slot] + 1, y);
        EXPECT_TRUE(IsColour(inside, slot < 5 ? 0 : 255, 0, slot < 5 ? 255 : 0))
            << inside.name().toStdString();
        EXPECT_FALSE(IsColour(past, inside.red(), inside.green(), inside.blue()))
            << past.name().toStdString();
    }
    if (const char* screenshot = std::getenv("SKYPROBE_SCREENSHOT")) {
        EXPECT_TRUE(SaveScreenshot(dialog, QString::fromUtf8(screenshot))) << screenshot;
    }
}
