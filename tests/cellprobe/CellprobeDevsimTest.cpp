// The GSM dialog against devsim's simulated module, with nothing of the test standing between the two:
// the happy module, and the module with each of the habits real ones have. devsim traces the commands
// it receives, so each test sees what the program sent as well as what the user sees.

#include "cellprobe/CellprobeDialog.h"
#include "serial/FaultSupport.h"
#include "ui/DialogDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace std::chrono_literals;

namespace {

constexpr const char* SnfoCommand = "AT^SNFO=0,4685,6301,8500,11205,15115,4,0";
const std::vector<std::string> StartUpCommands { "ATE0", "AT^SNFS=2", SnfoCommand, "AT+CSQ" };

class CellprobeAgainstDevsim : public testing::Test {
protected:
    // Starts `devsim gsm` with options behind a link that COM1 names.
    void StartModule(std::vector<std::string> options)
    {
        ASSERT_FALSE(dir.path.empty());
        const std::string link = dir.path + "/COM1";
        options.insert(options.begin(), { "gsm", "--link", link, "--trace" });
        // One module at a time behind the link; a clean stop removes it.
        if (devsim)
            devsim->Stop(SIGINT);
        devsim = std::make_unique<fault::ChildProcess>(DEVSIM_PATH, options);
        ASSERT_TRUE(devsim->FirstLine().starts_with("/dev/pts/")) << devsim->Errors();
        ::setenv("COM1", link.c_str(), 1);
    }

    // Waits until the start-up has reached the first signal report.
    void WaitForStartUp(DialogDriver& driver, CellprobeDialog& dialog)
    {
        ASSERT_TRUE(driver.WaitUntil([&] { return dialog.Rules().Flags().csqReported != 0; }, 30s))
            << "status " << driver.Text(IdStatus).ToAscii() << "\n"
            << devsim->Errors();
    }

    // The command lines the module has received, in order.
    std::vector<std::string> Received()
    {
        const std::string marker = "devsim gsm: received \"";
        std::vector<std::string> lines;
        const std::string& errors = devsim->Errors();
        for (std::size_t at = errors.find(marker); at != std::string::npos; at = errors.find(marker, at)) {
            at += marker.size();
            lines.push_back(errors.substr(at, errors.find("\"\n", at) - at));
        }
        return lines;
    }

    std::string LastReceived()
    {
        const std::vector<std::string> lines = Received();
        return lines.empty() ? std::string() : lines.back();
    }

    // Waits until the module has received count commands in all.
    bool WaitForCommands(DialogDriver& driver, std::size_t count)
    {
        return driver.WaitUntil([&] { return Received().size() >= count; }, 10s);
    }

    fault::TemporaryDirectory dir;
    std::unique_ptr<fault::ChildProcess> devsim;
};

} // namespace

TEST_F(CellprobeAgainstDevsim, StartsUpShowsTheSignalAndAnswersAndEndsAnIncomingCall)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--ring-after", "1" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    const ModemFlags& rules = dialog.Rules().Flags();
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    EXPECT_TRUE(rules.snfsSent && rules.snfoSent && rules.csqStarted);
    const int firstLevel = driver.Position(IdSignalBar);
    EXPECT_GE(firstLevel, 1) << "the simulated module reports a usable signal, the bar stayed empty";
    EXPECT_LE(firstLevel, 5);

    // The call devsim places a second after its start rings until it is answered.
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IdConnect); }, 30s)) << devsim->Errors();
    EXPECT_EQ(rules.ringing, 1);
    driver.Click(IdConnect);
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    // The module's "OK" arms the settle timer, which ends the pending state.
    ASSERT_TRUE(driver.WaitUntil([&] { return rules.callPending == 0 && !driver.IsEnabled(IdConnect); }, 30s))
        << driver.Text(IdStatus).ToAscii();
    EXPECT_EQ(rules.ringing, 0);
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect)) << "in a call Disconnect stays available";
    EXPECT_TRUE(
        driver.WaitUntil([&] { return devsim->Errors().find("call connected") != std::string::npos; }, 5s))
        << devsim->Errors();

    driver.Click(IdDisconnect);
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));
    EXPECT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"OK"); }, 10s));
    EXPECT_TRUE(driver.WaitUntil(
        [&] {
            const std::size_t idle = devsim->Errors().rfind("no call\n");
            return idle != std::string::npos && idle > devsim->Errors().rfind("call connected");
        },
        5s))
        << devsim->Errors();

    // Back to idle, the poll goes out again and its report keeps the bar in range.
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus).IsEmpty(); }, 10s))
        << "no signal report after the call; status " << driver.Text(IdStatus).ToAscii();
    EXPECT_GE(driver.Position(IdSignalBar), 1);
    EXPECT_LE(driver.Position(IdSignalBar), 5);

    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_EQ(devsim->Stop(SIGINT), 0) << devsim->Errors();
}

// The start-up waits at each refused vendor command for the next "OK", the polls' own; the bar comes
// with the third "OK" after the echo's, so after two polls (about 20 s when left to the timer).
TEST_F(CellprobeAgainstDevsim, WithoutTheVendorCommandsTheBarComesAfterTwoPolls)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--no-vendor", "--signal", "17" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    for (const char* step : { "AT^SNFS=2", SnfoCommand }) {
        SCOPED_TRACE(step);
        ASSERT_TRUE(driver.WaitUntil([&] { return LastReceived() == step; }, 10s)) << devsim->Errors();
        ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"ERROR"); }));
        EXPECT_EQ(driver.Position(IdSignalBar), 0);
        ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    }
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    EXPECT_EQ(driver.Position(IdSignalBar), 4);
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"OK"));
    EXPECT_EQ(Received(),
        std::vector<std::string>({ "ATE0", "AT^SNFS=2", "AT+CSQ", SnfoCommand, "AT+CSQ", "AT+CSQ" }));
}

TEST_F(CellprobeAgainstDevsim, UnsolicitedLinesKeepTheBarRightAndAnExtendedRingRings)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--unsolicited", "--signal", "17", "--ring-after", "3" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    // The first report came behind a "+CREG: 1" line, the next one alone.
    EXPECT_EQ(driver.Position(IdSignalBar), 4);
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus).IsEmpty(); }));
    EXPECT_EQ(driver.Position(IdSignalBar), 4);

    ASSERT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IdConnect); }, 10s)) << devsim->Errors();
    EXPECT_TRUE(driver.Text(IdStatus).View().starts_with(u"+CRING: VOICE+CLIP: \"01701234567\",129"));
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    // Closing the window with the call ringing rejects it before the port goes.
    driver.CloseButton();
    EXPECT_TRUE(driver.IsEnded());
    EXPECT_TRUE(driver.WaitUntil([&] { return LastReceived() == "ATH"; })) << devsim->Errors();
}

TEST_F(CellprobeAgainstDevsim, AReportWithoutTheBlankShowsItsLevel)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--no-blank", "--signal", "17" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    EXPECT_EQ(driver.Position(IdSignalBar), 4);
}

TEST_F(CellprobeAgainstDevsim, AFailedCallEndsItsAttemptAndThePollGoesOn)
{
    struct Case {
        const char* reply;
        bool answer; // answer an incoming call rather than dial
        bool disconnectAfter;
    };
    for (const Case c : { Case { "busy", false, false }, Case { "no-carrier", true, false },
             Case { "error", false, true } }) {
        SCOPED_TRACE(c.reply);
        std::vector<std::string> options { "--fail-calls", c.reply, "--signal", "17" };
        if (c.answer)
            options.insert(options.end(), { "--ring-after", "0" });
        ASSERT_NO_FATAL_FAILURE(StartModule(options));
        CellprobeDialog dialog;
        DialogDriver driver(dialog);
        ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
        ASSERT_TRUE(driver.WaitUntil([&] { return !c.answer || driver.IsEnabled(IdConnect); }))
            << devsim->Errors();
        driver.TypeText(IdPhoneNumber, WideString(u"112"));
        driver.Click(c.answer ? IdConnect : IdDial);
        ASSERT_TRUE(driver.WaitUntil([&] { return dialog.Rules().Flags().callPending == 0; }))
            << driver.Text(IdStatus).ToAscii();
        EXPECT_EQ(LastReceived(), c.answer ? "ATA" : "ATD112;");
        EXPECT_FALSE(driver.IsEnabled(IdConnect));
        EXPECT_EQ(driver.IsEnabled(IdDisconnect), c.disconnectAfter);
        const std::size_t sent = Received().size();
        ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
        ASSERT_TRUE(WaitForCommands(driver, sent + 1));
        EXPECT_EQ(LastReceived(), "AT+CSQ");
    }
}

TEST_F(CellprobeAgainstDevsim, RingingEndsTenSecondsAfterACallerGaveUpSilently)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--caller-gives-up", "4", "--ring-after", "1" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.IsEnabled(IdConnect); }, 10s)) << devsim->Errors();
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    ASSERT_TRUE(driver.WaitUntil([&] { return devsim->Errors().ends_with("no call\n"); }, 10s));
    // The last RING came at 4 s, so the ringing ends at 14 s; nothing else ends it before.
    EXPECT_FALSE(driver.WaitUntil([&] { return !driver.IsEnabled(IdConnect); }, 4s));
    ASSERT_TRUE(driver.WaitUntil([&] { return !driver.IsEnabled(IdConnect); }, 15s));
    EXPECT_FALSE(driver.IsEnabled(IdDisconnect));
    EXPECT_EQ(dialog.Rules().Flags().ringing, 0);
}

TEST_F(CellprobeAgainstDevsim, AResetModuleIsNoticedAndStartedAgainWhenItIsBack)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--reset-after", "2", "--signal", "17" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    EXPECT_EQ(driver.Position(IdSignalBar), 4);

    ASSERT_TRUE(
        driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"GSM module gone."); }, 10s));
    EXPECT_EQ(driver.Position(IdSignalBar), 0);
    EXPECT_FALSE(driver.IsEnabled(IdDial));
    EXPECT_FALSE(dialog.IsTimerRunning(ModemRules::PollTimerId));

    // Back under the same name, echoing again: the whole start-up runs once more.
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Position(IdSignalBar) == 4; }, 15s)) << devsim->Errors();
    EXPECT_EQ(driver.Text(IdStatus), WideString(u"OK"));
    EXPECT_TRUE(driver.IsEnabled(IdDial));
    EXPECT_TRUE(dialog.IsTimerRunning(ModemRules::PollTimerId));
    std::vector<std::string> twice = StartUpCommands;
    twice.insert(twice.end(), StartUpCommands.begin(), StartUpCommands.end());
    EXPECT_EQ(Received(), twice);
}

// Each reply's final result comes as a chunk of its own: the report alone still moves the bar, and a
// number typed between the two parts stays as typed.
TEST_F(CellprobeAgainstDevsim, RepliesInTwoGoes)
{
    ASSERT_NO_FATAL_FAILURE(StartModule({ "--split-replies", "--signal", "17" }));
    CellprobeDialog dialog;
    DialogDriver driver(dialog);
    ASSERT_NO_FATAL_FAILURE(WaitForStartUp(driver, dialog));
    EXPECT_EQ(driver.Position(IdSignalBar), 4);
    ASSERT_TRUE(driver.FireTimer(ModemRules::PollTimerId));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus).IsEmpty(); }));
    driver.TypeText(IdPhoneNumber, WideString(u"0170"));
    ASSERT_TRUE(driver.WaitUntil([&] { return driver.Text(IdStatus) == WideString(u"OK"); }));
    EXPECT_EQ(driver.Text(IdPhoneNumber), WideString(u"0170"));
    driver.Click(IdDial);
    ASSERT_TRUE(driver.WaitUntil([&] { return dialog.Rules().Flags().callPending == 0; }));
    EXPECT_TRUE(driver.IsEnabled(IdDisconnect));
    EXPECT_EQ(LastReceived(), "ATD0170;");
}
