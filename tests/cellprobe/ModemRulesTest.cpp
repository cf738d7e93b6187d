#include "cellprobe/ModemRules.h"

#include "tests/cellprobe/RecordingEffects.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

using Events = std::vector<std::string>;

void ExpectFlags(const ModemFlags& actual, const ModemFlags& expected)
{
    EXPECT_EQ(actual.snfsSent, expected.snfsSent) << "snfsSent";
    EXPECT_EQ(actual.snfoSent, expected.snfoSent) << "snfoSent";
    EXPECT_EQ(actual.callPending, expected.callPending) << "callPending";
    EXPECT_EQ(actual.csqStarted, expected.csqStarted) << "csqStarted";
    EXPECT_EQ(actual.ringing, expected.ringing) << "ringing";
    EXPECT_EQ(actual.csqReported, expected.csqReported) << "csqReported";
    EXPECT_EQ(actual.closing, expected.closing) << "closing";
}

constexpr ModemFlags StartedUp { .snfsSent = 1, .snfoSent = 1, .csqStarted = 1 };

class ModemRulesTest : public ::testing::Test {
protected:
    ModemRulesTest() { effects.rules = &rules; }

    void Chunk(std::string_view bytes) { rules.OnSerialData(bytes.data(), static_cast<int>(bytes.size())); }

    // Start-up with each of its three steps answered, the first signal report shown; events forgotten.
    void StartUp()
    {
        rules.Start();
        for (int step = 0; step < 3; ++step)
            Chunk("\r\nOK\r\n");
        Chunk("\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
        effects.Take();
    }

    RecordingEffects effects;
    ModemRules rules { effects };
};

} // namespace

TEST_F(ModemRulesTest, StartUpSendsOneCommandPerOk)
{
    rules.Start();
    EXPECT_EQ(effects.Take(), Events({ "write ATE0\r" }));
    ExpectFlags(rules.Flags(), {});

    struct Step {
        Events events;
        ModemFlags flags;
    };
    const Step steps[] = {
        { { "write AT^SNFS=2\r", "show OK" }, { .snfsSent = 1 } },
        { { "write AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r", "show OK" },
            { .snfsSent = 1, .snfoSent = 1 } },
        { { "write AT+CSQ\r", "show OK" }, StartedUp },
        { { "show OK" }, StartedUp },
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.events.front());
        Chunk("\r\nOK\r\n");
        EXPECT_EQ(effects.Take(), step.events);
        ExpectFlags(rules.Flags(), step.flags);
    }
}

TEST_F(ModemRulesTest, ALostModuleIsShownAndStartClearsTheFlags)
{
    rules.OnDial();
    rules.OnOK();
    effects.Take();
    rules.OnModuleLost();
    EXPECT_EQ(effects.Take(),
        Events({ "settle stop", "ring timer stop", "connect off", "disconnect off", "bar 0",
            "show GSM module gone." }));
    rules.Start();
    ExpectFlags(rules.Flags(), {});
}

TEST_F(ModemRulesTest, AnErrorReplyHoldsTheStartUpUntilTheNextOk)
{
    rules.Start();
    Chunk("\r\nOK\r\n");
    effects.Take();
    Chunk("\r\n+CME ERROR: 100\r\n");
    EXPECT_EQ(effects.Take(), Events({ "show +CME ERROR: 100" }));
    // The poll's answer carries the next step instead, and its report is not shown.
    rules.OnTimer(ModemRules::PollTimerId);
    Chunk("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    EXPECT_EQ(effects.Take(),
        Events(
            { "write AT+CSQ\r", "write AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r", "show +CSQ: 17,99OK" }));
}

TEST_F(ModemRulesTest, SignalReportMovesTheBar)
{
    struct Case {
        const char* chunk;
        int level;
    };
    const Case cases[] = {
        { "\r\n+CSQ: 17,99\r\n\r\nOK\r\n", 4 },
        { "+CSQ: 99,99", 0 },
        { "+CSQ: -9,99", 0 },
        { "+CSQ: -4,99", 0 },
        { "+CSQ: -3,99", 1 },
        { "+CSQ: 0,99", 1 },
        { "+CSQ: 5,99", 1 },
        { "+CSQ: 6,99", 2 },
        { "+CSQ: 10,99", 2 },
        { "+CSQ: 11,99", 3 },
        { "+CSQ: 13,99", 3 },
        { "+CSQ: 14,99", 4 },
        { "+CSQ: 17,99", 4 },
        { "+CSQ: 18,99", 5 },
        { "+CSQ: 31,99", 5 },
        { "+CSQ: 98,99", 5 },
        { "+CSQ: +8,99", 2 },
        // The value follows the first report, wherever it starts and however many blanks come first.
        { "x+CSQ: 17,99", 4 },
        { "+CSQ:99,99", 0 },
        { "+CSQ:  7,99", 2 },
        { "AT+CSQ\r\r\n+CSQ: 24,99\r\n", 5 },
        { "\r\n+CREG: 1\r\n\r\n+CSQ:17,99\r\n", 4 },
        // No digits there reads as 0.
        { "+CSQ: ", 1 },
        { "+CSQ: ab", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunk);
        StartUp();
        Chunk(c.chunk);
        const Events events = effects.Take();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front(), "bar " + std::to_string(c.level));
    }
}

TEST_F(ModemRulesTest, FirstReportShowsOkAndLaterOnesClearTheStatus)
{
    rules.Start();
    for (int step = 0; step < 3; ++step)
        Chunk("OK");
    effects.Take();

    Chunk("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "bar 4", "show OK" }));
    EXPECT_EQ(rules.Flags().csqReported, 1);

    Chunk("\r\n+CSQ: 6,99\r\n\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "bar 2", "read fields", "show " }));
    Chunk("\r\n+CSQ: 6,99\r\n\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "bar 2", "read fields", "show " }));
    EXPECT_EQ(rules.Flags().csqReported, 1);
}

TEST_F(ModemRulesTest, LaterReportsReadTheNumberTypedMeanwhile)
{
    StartUp();
    effects.numberField = u"0123";
    Chunk("\r\n+CSQ: 17,99\r\n\r\nOK\r\n");
    EXPECT_EQ(effects.numberField.ToAscii(), "0123");
    EXPECT_EQ(rules.PhoneNumber().ToAscii(), "0123");
}

TEST_F(ModemRulesTest, FirstMatchingRuleWins)
{
    struct Case {
        const char* name;
        bool callPending;
        bool closing;
        const char* chunk;
        Events events;
        int ringing;
    };
    const Case cases[] = {
        { "ok settles a pending call before a ring", true, false, "\r\nRING\r\n\r\nOK\r\n",
            { "settle start", "show RINGOK" }, 0 },
        { "ring", false, false, "\r\nRING\r\n",
            { "connect on", "disconnect on", "ring", "ring timer start", "show RING" }, 1 },
        { "ring before no carrier", false, false, "RING\r\nNO CARRIER",
            { "connect on", "disconnect on", "ring", "ring timer start", "show RINGNO CARRIER" }, 1 },
        { "no carrier", false, false, "\r\nNO CARRIER\r\n",
            { "disconnect off", "connect off", "show NO CARRIER" }, 0 },
        // A dial or answer that ends without an "OK" ends its pending state; a refusal leaves the buttons.
        { "busy while pending", true, false, "BUSY",
            { "settle stop", "connect off", "disconnect off", "show BUSY" }, 0 },
        { "no answer while pending", true, false, "NO ANSWER",
            { "settle stop", "connect off", "disconnect off", "show NO ANSWER" }, 0 },
        { "no dialtone while pending", true, false, "NO DIALTONE",
            { "settle stop", "connect off", "disconnect off", "show NO DIALTONE" }, 0 },
        { "a late no carrier before the next command's ok", true, false, "NO CARRIER\r\nAT\r\r\nOK",
            { "settle stop", "connect off", "disconnect off", "show NO CARRIERATOK" }, 0 },
        { "a refusal while pending", true, false, "+CME ERROR: 3", { "settle stop", "show +CME ERROR: 3" },
            0 },
        { "busy without a call is only shown", false, false, "BUSY", { "show BUSY" }, 0 },
        { "report before close", false, true, "+CSQ: 17,99\r\n\r\nOK", { "bar 4", "read fields", "show " },
            0 },
        { "pending call before close", true, true, "\r\nOK\r\n", { "settle start", "show OK" }, 0 },
        { "close", false, true, "\r\nOK\r\n", { "close", "show OK" }, 0 },
        { "matching is case-sensitive", false, true,
            "ok ring no carrier +csq:", { "show ok ring no carrier +csq:" }, 0 },
        { "other replies are only shown", false, false, "\r\nERROR\r\n", { "show ERROR" }, 0 },
        { "ok alone does nothing more", false, false, "\r\nOK\r\n", { "show OK" }, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingEffects caseEffects;
        ModemRules caseRules(caseEffects);
        caseEffects.rules = &caseRules;
        caseRules.Start();
        for (const char* chunk : { "OK", "OK", "OK", "+CSQ: 20,99" })
            caseRules.OnSerialData(chunk, static_cast<int>(std::string_view(chunk).size()));
        if (c.callPending)
            caseRules.OnConnect();
        if (c.closing)
            caseRules.OnOK();
        caseEffects.Take();

        caseRules.OnSerialData(c.chunk, static_cast<int>(std::string_view(c.chunk).size()));
        EXPECT_EQ(caseEffects.Take(), c.events);
        EXPECT_EQ(caseRules.Flags().ringing, c.ringing);
    }
}

TEST_F(ModemRulesTest, OnlyPrintableBytesReachTheStatus)
{
    struct Case {
        std::string chunk;
        std::u16string shown;
    };
    const Case cases[] = {
        { "A\xB0"
          "B\x07"
          "C\x7F\r\n",
            u"ABC\x7F" },
        { std::string("\x00 \x1F\x80\xFF~", 6), u" ~" },
        // Filtering comes before matching: a bell inside "OK" still makes an "OK".
        { "O\x07K", u"OK" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.chunk));
        Chunk(c.chunk);
        EXPECT_EQ(effects.statusField.View(), c.shown);
    }
    EXPECT_EQ(rules.Flags().snfsSent, 1);
}

TEST_F(ModemRulesTest, EachChunkIsJudgedByItself)
{
    StartUp();
    Chunk("\r\nRI");
    Chunk("NG\r\n");
    EXPECT_EQ(effects.Take(), Events({ "show RI", "show NG" }));
    EXPECT_EQ(rules.Flags().ringing, 0);
}

TEST_F(ModemRulesTest, DialSendsTheTypedNumberNarrowedToBytes)
{
    struct Case {
        const char16_t* number;
        std::string command;
    };
    const Case cases[] = {
        { u"", "ATD;\r" },
        { u"+441234567890", "ATD+441234567890;\r" },
        { u"\u0131\u00E9\u4E32*#",
            "ATD1\xE9"
            "2*#;\r" },
        // A character whose byte is a control character would cut the command short.
        { u"01\r\n2\u010D3\t", "ATD0123;\r" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        StartUp();
        effects.numberField = c.number;
        rules.OnDial();
        EXPECT_EQ(effects.Take(), Events({ "read fields", "write " + c.command, "disconnect on" }));
        EXPECT_EQ(rules.Flags().callPending, 1);
    }
}

TEST_F(ModemRulesTest, DialRefusesANumberTheBufferCannotHold)
{
    StartUp();
    const std::string longest(ModemRules::MaxPhoneNumberLength, '7');
    effects.numberField = WideString::FromAscii(longest);
    rules.OnDial();
    const Events sent = effects.Take();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1], "write ATD" + longest + ";\r");
    EXPECT_EQ(sent[1].size(), std::string("write ").size() + 60);

    RecordingEffects freshEffects;
    ModemRules fresh(freshEffects);
    freshEffects.rules = &fresh;
    const std::string tooLong = longest + "8";
    freshEffects.numberField = WideString::FromAscii(tooLong);
    freshEffects.statusField = u"OK";
    fresh.OnDial();
    EXPECT_EQ(freshEffects.Take(), Events({ "read fields", "show Number too long: at most 55 characters." }));
    EXPECT_EQ(freshEffects.numberField.ToAscii(), tooLong);
    EXPECT_EQ(fresh.Flags().callPending, 0);
}

TEST_F(ModemRulesTest, SendCommandNeverWritesMoreThanTheBuffer)
{
    struct Case {
        int length;
        bool sent;
    };
    for (const Case c :
        { Case { 1, true }, Case { 60, true }, Case { 61, false }, Case { 500, false }, Case { 0, false } }) {
        SCOPED_TRACE(c.length);
        const std::string command(static_cast<std::size_t>(c.length), 'A');
        EXPECT_EQ(rules.SendCommand(WideString::FromAscii(command)), c.sent);
        EXPECT_EQ(effects.Take(), c.sent ? Events({ "write " + command }) : Events());
    }
}

TEST_F(ModemRulesTest, SendCommandPassesOnTheWriteResult)
{
    effects.portOpen = false;
    EXPECT_FALSE(rules.SendCommand(u"ATH\r"));
    effects.portOpen = true;
    EXPECT_TRUE(rules.SendCommand(u"ATH\r"));
}

TEST_F(ModemRulesTest, AnsweringAndHangingUp)
{
    StartUp();
    Chunk("\r\nRING\r\n");
    effects.Take();
    rules.OnConnect();
    EXPECT_EQ(effects.Take(), Events({ "write ATA\r", "disconnect on" }));
    ExpectFlags(rules.Flags(),
        { .snfsSent = 1, .snfoSent = 1, .callPending = 1, .csqStarted = 1, .ringing = 1, .csqReported = 1 });

    rules.OnDisconnect();
    EXPECT_EQ(effects.Take(), Events({ "write ATH\r", "disconnect off", "connect off" }));
    // Hanging up leaves the pending call for the "OK" and the settle timer to clear.
    ExpectFlags(
        rules.Flags(), { .snfsSent = 1, .snfoSent = 1, .callPending = 1, .csqStarted = 1, .csqReported = 1 });
    Chunk("\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "settle start", "show OK" }));
}

TEST_F(ModemRulesTest, SettleTimerEndsThePendingCallOnce)
{
    StartUp();
    rules.OnDial();
    Chunk("\r\nOK\r\n");
    effects.Take();
    rules.OnTimer(ModemRules::SettleTimerId);
    EXPECT_EQ(effects.Take(), Events({ "connect off", "settle stop" }));
    EXPECT_EQ(rules.Flags().callPending, 0);
    EXPECT_EQ(rules.Flags().ringing, 0);
    // With the call settled, a further "OK" arms nothing.
    Chunk("\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "show OK" }));
}

TEST_F(ModemRulesTest, PollPausesWhileACallIsPendingOrRinging)
{
    struct Case {
        const char* name;
        bool dial;
        bool ring;
        const char* reply; // the module's answer before the tick, if any
        bool quiet; // the ringing has gone quiet before the tick
        unsigned timerId;
        bool polls;
    };
    constexpr unsigned Poll = ModemRules::PollTimerId;
    const Case cases[] = {
        { "idle", false, false, nullptr, false, Poll, true },
        { "idle, unknown timer id", false, false, nullptr, false, 7, true },
        { "dial pending", true, false, nullptr, false, Poll, false },
        { "ringing", false, true, nullptr, false, Poll, false },
        { "both", true, true, nullptr, false, Poll, false },
        { "dial busy", true, false, "BUSY", false, Poll, true },
        { "dial refused", true, false, "ERROR", false, Poll, true },
        { "ringing gone quiet", false, true, nullptr, true, Poll, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartUp();
        if (c.dial)
            rules.OnDial();
        if (c.ring)
            Chunk("RING");
        if (c.reply)
            Chunk(c.reply);
        if (c.quiet)
            rules.OnTimer(ModemRules::RingTimerId);
        effects.Take();
        rules.OnTimer(c.timerId);
        EXPECT_EQ(effects.Take(), c.polls ? Events({ "write AT+CSQ\r" }) : Events());
        // The settle timer clears both the pending call and the ringing for the next case.
        rules.OnTimer(ModemRules::SettleTimerId);
        effects.Take();
    }
}

TEST_F(ModemRulesTest, RingingEndsOnceTheRingsStopAndDisconnectStaysForAnAnsweredCall)
{
    for (const bool answered : { false, true }) {
        StartUp();
        Chunk("RING");
        if (answered)
            rules.OnConnect();
        effects.Take();
        rules.OnTimer(ModemRules::RingTimerId);
        Events expected { "ring timer stop", "connect off" };
        if (!answered)
            expected.push_back("disconnect off");
        EXPECT_EQ(effects.Take(), expected);
        rules.OnTimer(ModemRules::SettleTimerId);
    }
}

TEST_F(ModemRulesTest, ClosingRunsOnTheHangUpsOk)
{
    StartUp();
    rules.OnOK();
    EXPECT_EQ(effects.Take(), Events({ "write ATH\r" }));
    EXPECT_EQ(rules.Flags().closing, 1);
    EXPECT_FALSE(rules.IsClosed());
    Chunk("\r\nOK\r\n");
    EXPECT_EQ(effects.Take(), Events({ "close", "show OK" }));
    EXPECT_TRUE(rules.IsClosed());
}

TEST_F(ModemRulesTest, NothingHappensAfterClose)
{
    enum class Way { HangUpOk, WindowClose };
    for (const Way way : { Way::HangUpOk, Way::WindowClose }) {
        SCOPED_TRACE(way == Way::HangUpOk ? "closed by the hang-up's OK" : "closed by the window");
        RecordingEffects lateEffects;
        ModemRules late(lateEffects);
        lateEffects.rules = &late;
        late.Start();
        for (int step = 0; step < 3; ++step)
            late.OnSerialData("OK", 2);
        if (way == Way::HangUpOk) {
            late.OnOK();
            late.OnSerialData("OK", 2);
        } else {
            late.Close();
        }
        ASSERT_TRUE(late.IsClosed());
        lateEffects.Take();

        late.OnTimer(ModemRules::PollTimerId);
        late.OnTimer(ModemRules::SettleTimerId);
        late.OnTimer(ModemRules::RingTimerId);
        late.OnModuleLost();
        late.HangUpBeforeClose();
        late.OnSerialData("\r\nRING\r\n\r\nOK\r\n", 14);
        late.OnDial();
        late.OnConnect();
        late.OnDisconnect();
        late.OnOK();
        late.Start();
        late.ReportOpenFailure();
        EXPECT_FALSE(late.SendCommand(u"AT\r"));
        EXPECT_EQ(lateEffects.Take(), Events());
    }
}

TEST_F(ModemRulesTest, AFailedOpenIsShownAndHangUpStillMarksClosing)
{
    effects.portOpen = false;
    rules.ReportOpenFailure();
    EXPECT_EQ(effects.Take(), Events({ "show Open COM error." }));
    rules.OnOK();
    EXPECT_EQ(effects.Take(), Events({ "write ATH\r" }));
    EXPECT_EQ(rules.Flags().closing, 1);
}
