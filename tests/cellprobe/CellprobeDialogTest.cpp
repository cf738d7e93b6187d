#include "ModemPty.h"
#include "ModemWait.h"

#include "cellprobe/CellprobeDialog.h"
#include "ui/DialogDriver.h"
#include "ui/WindowRegistry.h"

#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <sys/inotify.h>
#include <unistd.h>

// Failures show the text, not the object's bytes.
void PrintTo(const WideString& text, std::ostream* out)
{
    *out << '"' << text.ToAscii() << '"';
}

namespace {

using namespace std::chrono_literals;

class CellprobeDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(modem.IsOpen());
        ::setenv("COM1", modem.Path().c_str(), 1);
    }

    // The module answers each start-up command with "OK", then the first signal query with a report
    // of 17 (level 4).
    void StartUp(DialogDriver& driver)
    {
        ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");
        for (const std::string command :
            { "AT^SNFS=2\r", "AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r", "AT+CSQ\r" }) {
            ASSERT_TRUE(modem.Send("\r\nOK\r\n"));
            ASSERT_EQ(Written(driver, modem, command.size()), command);
            EXPECT_EQ(driver.Text(IdStatus), WideString(u"OK"));
        }
        ASSERT_TRUE(modem.Send("\r\n+CSQ: 17,99\r\n\r\nOK\r\n"));
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Position(IdSignalBar) == 4; }));
    }

    ModemPty modem;
};

} // namespace

TEST_F(CellprobeDialogTest, StartsEmptyWithOnlyDialEnabledAndSwitchesEchoOffFirst)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(Written(driver, modem, 5), "ATE0\r");
    EXPECT_EQ(QuietlyWritten(driver, modem), "");
    termios line {};
    ASSERT_TRUE(modem.LineSettings(&line));
    EXPECT_TRUE(::cfgetispeed(&line) == B57600 && ::cfgetospeed(&line) == B57600);
    EXPECT_EQ(line.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8)) << "8N1";
    EXPECT_EQ(driver.Text(IdStatus), WideString());
    EXPECT_EQ(driver.Text(IdPhoneNumber), WideString());
    EXPECT_EQ(driver.Position(IdSignalBar), 0);
    EXPECT_EQ(driver.RangeMinimum(IdSignalBar), 0);
    EXPECT_EQ(driver.RangeMaximum(IdSignalBar), 5);
    EXPECT_TRUE(driver.IsEnabled(IdDial));
    EXPECT_FALSE(driver.IsEnabled(IdConnect));
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));
    EXPECT_EQ(dialog.GetTimerPeriod(ModemRules::PollTimerId), 10000u);
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::SettleTimerId));
    // Both icon sizes come from the program's own resources.
    EXPECT_NE(dialog.GetIcon(TRUE), NullIcon);
    EXPECT_NE(dialog.GetIcon(FALSE), NullIcon);
    const QList<QSize> iconSizes = dialog.GetWindowWidget()->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
    EXPECT_FALSE(dialog.GetWindowWidget()->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(CellprobeDialogTest, StartUpAdvancesOnEachOkAndSignalReportsMoveTheBar)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(StartUp(driver));
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"OK"));
    // Start-up is over: a further "OK" only shows.
    ASSERT_TRUE(modem.Send("\r\nOK\r\n"));
    EXPECT_EQ(QuietlyWritten(driver, modem), "");

    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    EXPECT_EQ(Written(driver, modem, 7), "AT+CSQ\r");
    ASSERT_TRUE(modem.Send("\r\n+CSQ: 99,99\r\n\r\nOK\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Position(IdSignalBar) == 0; }));
    // Later reports blank the status field; the bar alone shows them.
    EXPECT_EQ(driver.Text(IdStatus), WideString());
}

TEST_F(CellprobeDialogTest, DialSendsTheTypedNumberNarrowedToBytes)
{
    struct Case {
        const char16_t* typed;
        std::string written;
        const char16_t* status; // nullptr: the status field is not the point
    };
    const Case cases[] = {
        // Too long for the transfer buffer: nothing goes out and the user is told.
        { u"12345678901234567890123456789012345678901234567890123456", "",
            u"Number too long: at most 55 characters." },
        { u"0123456789", "ATD0123456789;\r", nullptr },
        { u"", "ATD;\r", nullptr },
        { u"+49 \u00e9\u0141", "ATD+49 \xe9\x41;\r", nullptr },
    };
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        driver.TypeText(IdPhoneNumber, WideString(c.typed));
        driver.Click(IdDial);
        EXPECT_EQ(QuietlyWritten(driver, modem), c.written);
        if (c.status) {
            EXPECT_EQ(driver.Text(IdStatus), WideString(c.status));
        }
        EXPECT_EQ(driver.Text(IdPhoneNumber), WideString(c.typed));
        EXPECT_EQ(driver.IsEnabled(IdDisconnect), !c.written.empty());
    }
}

TEST_F(CellprobeDialogTest, RingAnswerSettleAndHangUp)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(StartUp(driver));

    // The tone is looked up beside the program first, where the build puts it: watch what opens there.
    const int opened = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(
                  opened, std::filesystem::read_symlink("/proc/self/exe").parent_path().c_str(), IN_OPEN),
        0);
    ASSERT_TRUE(modem.Send("\r\nRING\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IdConnect); }));
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"RING"));
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect)) << "a ringing call can be rejected";
    std::set<std::string> sounds;
    alignas(inotify_event) char events[4096];
    for (ssize_t got = 0; (got = ::read(opened, events, sizeof events)) > 0;) {
        for (const char* at = events; at < events + got;
             at += sizeof(inotify_event) + reinterpret_cast<const inotify_event*>(at)->len) {
            const QString name = reinterpret_cast<const inotify_event*>(at)->name;
            if (name.endsWith(".wav", Qt::CaseInsensitive))
                sounds.insert(name.toStdString());
        }
    }
    ::close(opened);
    EXPECT_EQ(sounds, std::set<std::string>({ "ring.WAV" }));
    // The poll waits while the call rings.
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    EXPECT_EQ(QuietlyWritten(driver, modem), "");

    driver.Click(IdConnect);
    EXPECT_EQ(Written(driver, modem, 4), "ATA\r");
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    EXPECT_EQ(QuietlyWritten(driver, modem), "");

    // The answer's "OK" arms the one-shot settle timer; its tick ends ringing and resumes the poll.
    ASSERT_TRUE(modem.Send("\r\nOK\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] { return dialog.IsTimerRunning(ModemRules::SettleTimerId); }));
    EXPECT_EQ(dialog.GetTimerPeriod(ModemRules::SettleTimerId), 200u);
    ASSERT_TRUE(driver.WaitUntil([&] { return !driver.IsEnabled(IdConnect); }));
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::SettleTimerId));
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    EXPECT_EQ(Written(driver, modem, 7), "AT+CSQ\r");

    driver.Click(IdDisconnect);
    EXPECT_EQ(Written(driver, modem, 4), "ATH\r");
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));
    EXPECT_FALSE(driver.IsEnabled(IdConnect));

    // The far end hanging up a dialled call disables the call buttons.
    driver.TypeText(IdPhoneNumber, WideString(u"5551234"));
    driver.Click(IdDial);
    EXPECT_EQ(Written(driver, modem, 12), "ATD5551234;\r");
    ASSERT_TRUE(modem.Send("\r\nNO CARRIER\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] { return !driver.IsEnabled(IdDisconnect); }));
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"NO CARRIER"));
}

TEST_F(CellprobeDialogTest, WithoutTheModuleTheStatusSaysSoAndNothingCanBeDialled)
{
    ::setenv("COM1", "/nonexistent/cellprobe-modem", 1);
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"Open COM error."));
    const QString reason = dialog.GetControlWidget(IdStatus)->toolTip();
    EXPECT_TRUE(reason.contains("/nonexistent/cellprobe-modem (COM1): no such device"))
        << reason.toStdString();
    EXPECT_FALSE(driver.IsEnabled(IdDial));
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::PollTimerId));
    driver.PressOk();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(driver.Result(), IDOK);
}

TEST_F(CellprobeDialogTest, CaptionOkHangsUpEndsTheDialogAndReleasesThePort)
{
    {
        CellprobeDialog dialog;
        const int result = DialogDriver::RunModal(dialog, [&](DialogDriver& driver) {
            ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");
            driver.PressOk();
            EXPECT_EQ(Written(driver, modem, 4), "ATH\r");
            ASSERT_TRUE(modem.Send("\r\nOK\r\n"));
        });
        EXPECT_EQ(result, IDOK);
    }
    // The dialog object is gone, and with it the port.
    modem.Poll();
    EXPECT_TRUE(modem.HungUp());
}

TEST_F(CellprobeDialogTest, CloseRequestReleasesThePortAndEndsCancelled)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");
    CloseAndExpectThePortReleased(driver, dialog, modem);
}

// The caption's OK ends the dialog at once, so here the rules' closing step runs alone, as when the
// module confirms the hang-up while the dialog still handles messages: the port goes from inside the
// handler of its own reader's chunk.
TEST_F(CellprobeDialogTest, ModuleOkToTheClosingHangUpReleasesThePortFromItsOwnChunk)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(StartUp(driver));
    dialog.Rules().OnOK();
    EXPECT_EQ(Written(driver, modem, 4), "ATH\r");
    ASSERT_TRUE(modem.Send("\r\nOK\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] {
        modem.Poll();
        return modem.HungUp();
    }));
    EXPECT_FALSE(dialog.HasPort());
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::PollTimerId));
    EXPECT_FALSE(driver.IsEnded());

    // A tick and a chunk that were already on their way change nothing.
    const WideString shown = driver.Text(IdStatus);
    dialog.WindowProc(WM_TIMER, ModemRules::PollTimerId, 0);
    char lateChunk[] = "\r\n+CSQ: 31,99\r\n";
    EXPECT_EQ(WindowRegistry::SendMessage(dialog.GetSafeHwnd(), SerialDataMessage,
                  reinterpret_cast<WPARAM>(lateChunk), sizeof lateChunk - 1),
        0);
    driver.ProcessEvents();
    EXPECT_EQ(driver.Text(IdStatus), shown);
    EXPECT_EQ(driver.Position(IdSignalBar), 4);
}

TEST_F(CellprobeDialogTest, LosingTheFocusBringsTheDialogBack)
{
    ::setenv("COM1", "/nonexistent/cellprobe-modem", 1);
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow(); }));
    QWidget other;
    other.show();
    other.activateWindow();
    EXPECT_TRUE(driver.WaitUntil([&] { return dialog.IsActiveWindow() && !other.isActiveWindow(); }));
}

// The dialog as a user sees it after start-up: every label and button text fits its box. Set
// CELLPROBE_SCREENSHOT to a file name to keep the picture.
TEST_F(CellprobeDialogTest, TextsFitTheirControlsAfterASignalReport)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(StartUp(driver));
    driver.TypeText(IdPhoneNumber, WideString(u"+44 20 7946 0018"));
    driver.ProcessEvents();

    const QWidget* window = dialog.GetWindowWidget();
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->text().toStdString());
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    }
    for (const QPushButton* button : window->findChildren<QPushButton*>()) {
        SCOPED_TRACE(button->text().toStdString());
        EXPECT_LT(button->fontMetrics().horizontalAdvance(button->text()), button->width());
    }
    const QImage picture = driver.Grab();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), window->size() * picture.devicePixelRatio());
    if (const char* path = std::getenv("CELLPROBE_SCREENSHOT")) {
        EXPECT_TRUE(picture.save(QString::fromLocal8Bit(path), "PNG"));
    }
}
