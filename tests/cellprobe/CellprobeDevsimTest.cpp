// The GSM dialog against devsim's simulated module: the whole start-up, the signal bar, and an
// incoming call answered and hung up, with nothing of the test standing between the two; then the
// module with each habit real ones have, devsim tracing the commands it receives.

#include "cellprobe/CellprobeDialog.h"
#include "serial/FaultSupport.h"
#include "ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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

namespace {

constexpr const char* Startup = "ATE0|AT^SNFS=2|AT^SNFO=0,4685,6301,8500,11205,15115,4,0|AT+CSQ|";

// devsim's module with the given habits and a signal of 17 (level 4) behind the link COM1 names, and the
// dialog on it (first, before the link exists, when moduleLater), past its start-up unless told not to.
class CellprobeWithHabits : public testing::Test {
protected:
    void Start(std::vector<std::string> options, bool startedUp = true, bool moduleLater = false)
    {
        driver.reset();
        dialog.reset();
        if (devsim)
            devsim->Stop(SIGINT);
        const std::string link = dir.path + "/COM1";
        ::setenv("COM1", link.c_str(), 1);
        const auto startDialog = [this] {
            dialog = std::make_unique<CellprobeDialog>();
            driver = std::make_unique<DialogDriver>(*dialog);
        };
        if (moduleLater)
            startDialog();
        options.insert(options.begin(), { "gsm", "--link", link, "--trace", "--signal", "17" });
        devsim = std::make_unique<fault::ChildProcess>(DEVSIM_PATH, options);
        ASSERT_TRUE(devsim->FirstLine().starts_with("/dev/pts/")) << devsim->Errors();
        if (!moduleLater)
            startDialog();
        ASSERT_TRUE(!startedUp || Until([&] { return dialog->Rules().Flags().csqReported; }, 30s)) << Sent();
    }
    bool Until(const std::function<bool()>& holds, std::chrono::milliseconds patience = 10s)
    {
        return driver->WaitUntil(holds, patience);
    }
    bool Shows(const char16_t* status)
    {
        return Until([&] { return driver->Text(IdStatus) == WideString(status); });
    }
    // The command lines the module has received, each followed by '|'.
    std::string Sent()
    {
        const std::string marker = "devsim gsm: received \"";
        const std::string& said = devsim->Errors();
        std::string lines;
        for (std::size_t at = said.find(marker); at != std::string::npos; at = said.find(marker, at)) {
            at += marker.size();
            lines += said.substr(at, said.find("\"\n", at) - at) + "|";
        }
        return lines;
    }

    fault::TemporaryDirectory dir;
    std::unique_ptr<fault::ChildProcess> devsim;
    std::unique_ptr<CellprobeDialog> dialog;
    std::unique_ptr<DialogDriver> driver;
};

} // namespace

// Each refused vendor command holds the start-up until the next "OK", a poll's, so the bar comes after
// two polls (about 20 s when left to the timer).
TEST_F(CellprobeWithHabits, WithoutTheVendorCommandsTheBarComesAfterTwoPolls)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "--no-vendor" }, false));
    for (const char* refused : { "AT^SNFS=2|", "AT^SNFO=0,4685,6301,8500,11205,15115,4,0|" }) {
        ASSERT_TRUE(Until([&] { return Sent().ends_with(refused); }) && Shows(u"ERROR")) << Sent();
        EXPECT_EQ(driver->Position(IdSignalBar), 0);
        ASSERT_TRUE(driver->FireTimer(ModemRules::PollTimerId));
    }
    EXPECT_TRUE(Until([&] { return driver->Position(IdSignalBar) == 4; })) << Sent();
}

// A "+CREG: 1" line ahead of the report, without the blank, and a call announced by +CRING and +CLIP.
TEST_F(CellprobeWithHabits, UnsolicitedLinesAndReportsWithoutTheBlank)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "--unsolicited", "--no-blank", "--ring-after", "3" }));
    EXPECT_EQ(driver->Position(IdSignalBar), 4);
    ASSERT_TRUE(Until([&] { return driver->IsEnabled(IdConnect) && driver->IsEnabled(IdDisconnect); }));
    EXPECT_TRUE(driver->Text(IdStatus).View().starts_with(u"+CRING: VOICE+CLIP: "));
    // Closing the window rejects the ringing call before the port goes.
    driver->CloseButton();
    EXPECT_TRUE(Until([&] { return Sent().ends_with("|ATH|"); })) << Sent();
}

TEST_F(CellprobeWithHabits, AFailedCallEndsItsAttemptAndThePollGoesOn)
{
    struct Case {
        const char* reply;
        bool answer; // an incoming call answered, else a dial
        bool disconnectStays;
    };
    for (const Case c : { Case { "busy", false, false }, Case { "no-carrier", true, false },
             Case { "error", false, true } }) {
        SCOPED_TRACE(c.reply);
        ASSERT_NO_FATAL_FAILURE(Start({ "--fail-calls", c.reply, "--ring-after", c.answer ? "0" : "600" }));
        ASSERT_TRUE(Until([&] { return !c.answer || driver->IsEnabled(IdConnect); }));
        driver->TypeText(IdPhoneNumber, WideString(u"112"));
        driver->Click(c.answer ? IdConnect : IdDial);
        ASSERT_TRUE(Until([&] { return !dialog->Rules().Flags().callPending; })) << Sent();
        EXPECT_FALSE(driver->IsEnabled(IdConnect));
        EXPECT_EQ(driver->IsEnabled(IdDisconnect), c.disconnectStays);
        ASSERT_TRUE(driver->FireTimer(ModemRules::PollTimerId));
        EXPECT_TRUE(Until([&] { return Sent().ends_with(c.answer ? "|ATA|AT+CSQ|" : "|ATD112;|AT+CSQ|"); }));
        // Escape hangs up only a call that may still be up.
        driver->PressEscape();
        EXPECT_EQ(Until([&] { return Sent().ends_with("|ATH|"); }, 1s), c.disconnectStays);
    }
}

TEST_F(CellprobeWithHabits, RingingEndsTenSecondsAfterACallerGaveUpSilently)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "--caller-gives-up", "4", "--ring-after", "1" }, false));
    ASSERT_TRUE(Until([&] { return driver->IsEnabled(IdConnect) && driver->IsEnabled(IdDisconnect); }));
    ASSERT_TRUE(Until([&] { return devsim->Errors().ends_with("no call\n"); })) << devsim->Errors();
    // The last RING came at 4 s: the ringing lasts until 14 s, and then it ends.
    EXPECT_FALSE(Until([&] { return !driver->IsEnabled(IdConnect); }, 4s));
    EXPECT_TRUE(
        Until([&] { return !driver->IsEnabled(IdConnect) && !driver->IsEnabled(IdDisconnect); }, 15s));
}

TEST_F(CellprobeWithHabits, AMissingModuleIsNoticedAndStartedUpOnceThere)
{
    for (const bool atStart : { false, true }) {
        SCOPED_TRACE(atStart ? "plugged in after the start" : "reset while running");
        ASSERT_NO_FATAL_FAILURE(atStart ? Start({}, false, true) : Start({ "--reset-after", "2" }));
        ASSERT_TRUE(Shows(atStart ? u"Open COM error." : u"GSM module gone.")) << devsim->Errors();
        EXPECT_EQ(driver->Position(IdSignalBar), 0);
        EXPECT_FALSE(driver->IsEnabled(IdDial) || dialog->IsTimerRunning(ModemRules::PollTimerId));
        ASSERT_TRUE(Until([&] { return driver->Position(IdSignalBar) == 4; }, 15s)) << devsim->Errors();
        EXPECT_TRUE(driver->IsEnabled(IdDial) && dialog->IsTimerRunning(ModemRules::PollTimerId));
        EXPECT_EQ(Sent(), std::string(Startup) + (atStart ? "" : Startup));
    }
}

TEST_F(CellprobeWithHabits, ANumberTypedBetweenTheTwoPartsOfAReplyStays)
{
    ASSERT_NO_FATAL_FAILURE(Start({ "--split-replies" }));
    ASSERT_TRUE(driver->FireTimer(ModemRules::PollTimerId));
    ASSERT_TRUE(Shows(u"")) << "the report, its OK still to come";
    driver->TypeText(IdPhoneNumber, WideString(u"0170"));
    ASSERT_TRUE(Shows(u"OK"));
    EXPECT_EQ(driver->Text(IdPhoneNumber), WideString(u"0170"));
    EXPECT_EQ(driver->Position(IdSignalBar), 4);
}
