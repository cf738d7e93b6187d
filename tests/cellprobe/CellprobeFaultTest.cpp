// The GSM dialog against modems that misbehave: one that refuses everything, one that never answers,
// one that sends bytes no modem should, and a device node the user may not open.

#include "ModemPty.h"
#include "ModemWait.h"

#include "cellprobe/CellprobeDialog.h"
#include "serial/FaultSupport.h"
#include "ui/DialogDriver.h"

#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

constexpr const char* DeniedDeviceVariable = "CELLPROBE_FAULT_DENIED_DEVICE";

class CellprobeFault : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(modem.IsOpen());
        ::setenv("COM1", modem.Path().c_str(), 1);
    }

    ModemPty modem;
};

} // namespace

TEST_F(CellprobeFault, AModemThatRefusesEverythingHoldsTheStartUpButNotThePoll)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");
    ASSERT_TRUE(modem.Send("\r\nERROR\r\n"));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"ERROR"); }));
    EXPECT_EQ(QuietlyWritten(driver, modem), "") << "an error reply advanced the start-up";

    // The poll goes out whatever the start-up's state, and every answer to it is refused too.
    for (int poll = 0; poll < 3; ++poll) {
        SCOPED_TRACE(poll);
        ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
        EXPECT_EQ(Written(driver, modem, 7), "AT+CSQ\r");
        ASSERT_TRUE(modem.Send("\r\nERROR\r\n"));
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"ERROR"); }));
        EXPECT_EQ(QuietlyWritten(driver, modem), "");
    }
    EXPECT_EQ(dialog.Rules().Flags().snfsSent, 0);
    EXPECT_EQ(driver.Position(IdSignalBar), 0);

    // A refused dial leaves the call buttons as the dial set them, and the poll goes on; hanging up
    // still works.
    driver.TypeText(IdPhoneNumber, WideString(u"112"));
    driver.Click(IdDial);
    EXPECT_EQ(Written(driver, modem, 7), "ATD112;\r");
    ASSERT_TRUE(modem.Send("\r\nERROR\r\n"));
    EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"ERROR"); }));
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::SettleTimerId));
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    EXPECT_EQ(Written(driver, modem, 7), "AT+CSQ\r");
    driver.Click(IdDisconnect);
    EXPECT_EQ(Written(driver, modem, 4), "ATH\r");
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));

    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_TRUE(driver.WaitUntil([&] {
        modem.Poll();
        return modem.HungUp();
    })) << "the port was not released";
}

TEST_F(CellprobeFault, ASilentModemGetsOnlyTheEchoOffAndThePollsAndTheDialogStaysResponsive)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(Written(driver, modem, 5), "ATE0\r");

    // A timer of the UI thread keeps ticking while the dialog waits for its module.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    EXPECT_TRUE(driver.WaitUntil([&] { return ticks >= 10; }, 10s)) << "the UI thread is stuck";
    EXPECT_EQ(QuietlyWritten(driver, modem), "");

    for (int poll = 0; poll < 3; ++poll) {
        SCOPED_TRACE(poll);
        ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
        EXPECT_EQ(Written(driver, modem, 7), "AT+CSQ\r");
    }
    EXPECT_TRUE(driver.Text(IdStatus).IsEmpty());
    EXPECT_TRUE(driver.IsEnabled(IdDial));

    CloseAndExpectThePortReleased(driver, dialog, modem);
}

TEST_F(CellprobeFault, ZeroAndHighBytesNeverReachTheStatusAndDoNotHideAnOk)
{
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_EQ(Written(driver, modem, 5), "ATE0\r");

    struct Case {
        std::string chunk;
        const char16_t* status;
        const char* written; // what the chunk makes the dialog send
    };
    const Case cases[] = {
        { std::string("\0\0\0", 3), u"", "" },
        { "\x80\xB0\xFF\xFE", u"", "" },
        { std::string("\r\nO\0K\xFF\r\n", 8), u"OK", "AT^SNFS=2\r" },
        { "\xC3\xA9OK\x7F\x9B", u"OK\x7F", "AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r" },
        { std::string("+CSQ\xA0: 1\x80"
                      "7,99\0OK",
              16),
            u"+CSQ: 17,99OK", "AT+CSQ\r" },
        { "\r\n+CSQ: 2\x01\x02\xF0"
          "0,99\r\n",
            u"OK", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.chunk));
        ASSERT_TRUE(modem.Send(c.chunk));
        EXPECT_EQ(Written(driver, modem, std::char_traits<char>::length(c.written)), c.written);
        EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(c.status); }))
            << driver.Text(IdStatus).ToAscii();
    }
    // "+CSQ: 20" once the filter has dropped the high byte and the two control bytes: level 5.
    EXPECT_EQ(driver.Position(IdSignalBar), 5);
}

TEST(CellprobePermission, ADeviceTheUserMayNotOpenShowsTheOpenError)
{
    ModemPty modem;
    ASSERT_TRUE(modem.IsOpen());
    // Root's devices stay root's; without root, the owner takes its own rights away.
    ASSERT_EQ(::chmod(modem.Path().c_str(), ::geteuid() == 0 ? 0600 : 0000), 0);
    const auto [exitCode, output]
        = fault::RunDisabledTestWithoutPrivileges("CellprobePermission.DISABLED_UnprivilegedSide",
            { std::string(DeniedDeviceVariable) + "=" + modem.Path() });
    if (exitCode == fault::CannotDropPrivileges)
        GTEST_SKIP() << "machine limit: root here may not change its user, so nothing can run unprivileged";
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
    modem.Poll();
    EXPECT_EQ(modem.Take(), "") << "something reached the device";
}

// Runs only as the child of the test above, without the rights to open the device.
TEST(CellprobePermission, DISABLED_UnprivilegedSide)
{
    const char* device = std::getenv(DeniedDeviceVariable);
    ASSERT_NE(device, nullptr);
    ASSERT_NE(::access(device, R_OK | W_OK), 0) << "this child may open the device after all";
    ::setenv("COM1", device, 1);
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"Open COM error."));
    EXPECT_TRUE(dialog.GetControlWidget(IdStatus)->toolTip().contains("dialout group"));
    EXPECT_FALSE(driver.IsEnabled(IdDial));
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::PollTimerId));
    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
}
