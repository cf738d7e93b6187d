// The GSM dialog against devsim's simulated module: the whole start-up, the signal bar, and an
// incoming call answered and hung up, with nothing of the test standing between the two.

#include "cellprobe/CellprobeDialog.h"
#include "serial/FaultSupport.h"
#include "ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;

TEST(CellprobeAgainstDevsim, StartsUpShowsTheSignalAndAnswersAndEndsAnIncomingCall)
{
    fault::TemporaryDirectory dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string link = dir.path + "/COM1";
    fault::ChildProcess devsim(DEVSIM_PATH, { "gsm", "--link", link, "--ring-after", "1" });
    ASSERT_TRUE(devsim.FirstLine().starts_with("/dev/pts/")) << devsim.Errors();
    ::setenv("COM1", link.c_str(), 1);

    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    const ModemFlags& rules = dialog.Rules().Flags();
    ASSERT_TRUE(driver.WaitUntil([&] { return rules.csqReported != 0; }, 30s))
        << "start-up did not reach the first signal report; status " << driver.Text(IdStatus).ToAscii()
        << "\n"
        << devsim.Errors();
    EXPECT_TRUE(rules.snfsSent && rules.snfoSent && rules.csqStarted);
    const int firstLevel = driver.Position(IdSignalBar);
    EXPECT_GE(firstLevel, 1) << "the simulated module reports a usable signal, the bar stayed empty";
    EXPECT_LE(firstLevel, 5);

    // The call devsim places a second after its start rings until it is answered.
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IdConnect); }, 30s)) << devsim.Errors();
    EXPECT_EQ(rules.ringing, 1);
    driver.Click(IdConnect);
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    // The module's "OK" arms the settle timer, which ends the pending state.
    ASSERT_TRUE(driver.WaitUntil([&] { return rules.callPending == 0 && !driver.IsEnabled(IdConnect); }, 30s))
        << driver.Text(IdStatus).ToAscii();
    EXPECT_EQ(rules.ringing, 0);
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect)) << "in a call Disconnect stays available";
    EXPECT_TRUE(
        driver.WaitUntil([&] { return devsim.Errors().find("call connected") != std::string::npos; }, 5s))
        << devsim.Errors();

    driver.Click(IdDisconnect);
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));
    EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"OK"); }, 10s));
    EXPECT_TRUE(driver.WaitUntil([&] { return devsim.Errors().ends_with("no call\n"); }, 5s))
        << devsim.Errors();

    // Back to idle, the poll goes out again and its report keeps the bar in range.
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus).IsEmpty(); }, 10s))
        << "no signal report after the call; status " << driver.Text(IdStatus).ToAscii();
    EXPECT_GE(driver.Position(IdSignalBar), 1);
    EXPECT_LE(driver.Position(IdSignalBar), 5);

    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(devsim.Stop(SIGINT), 0) << devsim.Errors();
}
