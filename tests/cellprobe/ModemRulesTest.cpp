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
    StartUp();
    rules.OnDial();
    effects.Take();
    rules.OnModuleLost();
    EXPECT_EQ(effects.Take(),
        Events({ "settle stop", "ring timer stop", "connect off", "disconnect off", "bar 0",
            "show GSM module gone." }));
    rules.OnOK();
    rules.Start();
    EXPECT_EQ(effects.Take(), Events({ "write ATH\r", "write ATE0\r" }));
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
        { "+CSQ:17,99", 4 },
        { "+CSQ:  7,99", 2 },
        { "AT+CSQ\r\r\n+CSQ: 24,99\r\n", 5 },
        { "\r\n+CREG: 1\r\n\r\n+CSQ: 17,99\r\n", 4 },
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

TEST_F(ModemRulesTest, NoChunkTouchesTheNumberBeingTyped)
{
    StartUp();
    std::u16string typed;
    for (const char* chunk : { "\r\n+CSQ: 17,99\r\n\r\nOK\r\n", "\r\nRING\r\n", "\r\nOK\r\n",
             "\r\n+CME ERROR: 30\r\n", "\r\n+CREG: 1\r\n" }) {
        SCOPED_TRACE(chunk);
        typed += u'5';
        effects.numberField = typed.c_str();
        Chunk(chunk);
        EXPECT_EQ(effects.numberField.View(), typed);
    }
    effects.Take();
    rules.OnDial();
    EXPECT_EQ(effects.Take(), Events({ "read fields", "write ATD55555;\r", "disconnect on" }));
}

TEST_F(ModemRulesTest, FirstMatchingRuleWins)
{
    const Events settled { "settle stop", "connect off", "disconnect off" };
    const auto then = [](Events first, const char* shown) {
        first.push_back(shown);
        return first;
    };
    struct Case {
        const char* name;
        bool callPending;
        bool closing;
        const char* chunk;
        Events events;
        int ringing;
        int pendingAfter;
    };
    const Case cases[] = {
        { "ok settles a pending call before a ring", true, false, "\r\nRING\r\n\r\nOK\r\n",
            { "settle start", "show RINGOK" }, 0, 1 },
        { "ring", false, false, "\r\nRING\r\n",
            { "connect on", "disconnect on", "ring", "ring timer start", "show RING" }, 1, 0 },
        { "ring before no carrier", false, false, "RING\r\nNO CARRIER",
            { "connect on", "disconnect on", "ring", "ring timer start", "show RINGNO CARRIER" }, 1, 0 },
        { "no carrier", false, false, "\r\nNO CARRIER\r\n",
            { "disconnect off", "connect off", "show NO CARRIER" }, 0, 0 },
        { "busy ends a pending call", true, false, "\r\nBUSY\r\n", then(settled, "show BUSY"), 0, 0 },
        { "no answer ends a pending call", true, false, "\r\nNO ANSWER\r\n", then(settled, "show NO ANSWER"),
            0, 0 },
        { "no dialtone ends a pending call", true, false, "NO DIALTONE", then(settled, "show NO DIALTONE"), 0,
            0 },
        { "a late no carrier beats the next command's ok", true, false,
            "ATDT1;\r\r\nNO CARRIER\r\nAT\r\r\nOK\r\n", then(settled, "show ATDT1;NO CARRIERATOK"), 0, 0 },
        { "a refusal ends a pending call, the buttons stay", true, false, "\r\n+CME ERROR: 3\r\n",
            { "settle stop", "show +CME ERROR: 3" }, 0, 0 },
        { "busy without a pending call is only shown", false, false, "\r\nBUSY\r\n", { "show BUSY" }, 0, 0 },
        { "report before close", false, true, "+CSQ: 17,99\r\n\r\nOK", { "bar 4", "read fields", "show " }, 0,
            0 },
        { "pending call before close", true, true, "\r\nOK\r\n", { "settle start", "show OK" }, 0, 1 },
        { "close", false, true, "\r\nOK\r\n", { "close", "show OK" }, 0, 0 },
        { "matching is case-sensitive", false, true,
            "ok ring no carrier busy error +csq:", { "show ok ring no carrier busy error +csq:" }, 0, 0 },
        { "other replies are only shown", false, false, "\r\nERROR\r\n", { "show ERROR" }, 0, 0 },
        { "ok alone does nothing more", false, false, "\r\nOK\r\n", { "show OK" }, 0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedRules fresh;
        fresh.rules.Start();
        for (const char* chunk : { "OK", "OK", "OK", "+CSQ: 20,99" })
            fresh.Chunk(chunk);
        if (c.callPending)
            fresh.rules.OnConnect();
        if (c.closing)
            fresh.rules.OnOK();
        fresh.effects.Take();

        fresh.Chunk(c.chunk);
        EXPECT_EQ(fresh.effects.Take(), c.events);
        EXPECT_EQ(fresh.rules.Flags().ringing, c.ringing);
        EXPECT_EQ(fresh.rules.Flags().callPending, c.pendingAfter);
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
        // Nothing whose byte is a control character goes out: a CR would end the command early.
        { u"0123\r\n", "ATD0123;\r" },
        { u"12\u010D3\t\u0100", "ATD123;\r" },
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

    RecordedRules fresh;
    const std::string tooLong = longest + "8";
    fresh.effects.numberField = WideString::FromAscii(tooLong);
    fresh.effects.statusField = u"OK";
    fresh.rules.OnDial();
    EXPECT_EQ(
        fresh.effects.Take(), Events({ "read fields", "show Number too long: at most 55 characters." }));
    EXPECT_EQ(fresh.effects.numberField.ToAscii(), tooLong);
    EXPECT_EQ(fresh.rules.Flags().callPending, 0);
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
        const char* reply; // what the module says next, if anything
        unsigned timerId; // the timer that fires next
        bool polls; // the poll that follows it goes out
    };
    constexpr unsigned Poll = ModemRules::PollTimerId;
    const Case cases[] = {
        { "idle", false, false, nullptr, Poll, true },
        { "idle, unknown timer id", false, false, nullptr, 7, true },
        { "dial pending", true, false, nullptr, Poll, false },
        { "ringing", false, true, nullptr, Poll, false },
        { "both", true, true, nullptr, Poll, false },
        { "dial answered busy", true, false, "\r\nBUSY\r\n", Poll, true },
        { "dial refused", true, false, "\r\nERROR\r\n", Poll, true },
        { "dial while ringing, ended by no carrier", true, true, "\r\nNO CARRIER\r\n", Poll, true },
        { "ringing gone quiet", false, true, nullptr, ModemRules::RingTimerId, true },
        { "dial pending, ringing gone quiet", true, true, nullptr, ModemRules::RingTimerId, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartUp();
        if (c.ring)
            Chunk("RING");
        if (c.dial)
            rules.OnDial();
        if (c.reply)
            Chunk(c.reply);
        if (c.timerId != Poll)
            rules.OnTimer(c.timerId);
        effects.Take();
        rules.OnTimer(Poll);
        EXPECT_EQ(effects.Take(), c.polls ? Events({ "write AT+CSQ\r" }) : Events());
        // The settle timer clears both the pending call and the ringing for the next case.
        rules.OnTimer(ModemRules::SettleTimerId);
        effects.Take();
    }
}

TEST_F(ModemRulesTest, RingingEndsOnceTheRingsStop)
{
    struct Case {
        const char* name;
        bool answered;
        Events quiet; // when the ring timer fires
    };
    const Case cases[] = {
        { "nobody answered", false, { "ring timer stop", "connect off", "disconnect off" } },
        { "answered, the answer still pending", true, { "ring timer stop", "connect off" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StartUp();
        Chunk("\r\nRING\r\n");
        EXPECT_EQ(effects.Take(),
            Events({ "connect on", "disconnect on", "ring", "ring timer start", "show RING" }));
        // Each further RING starts the quiet period again.
        Chunk("\r\n+CRING: VOICE\r\n");
        EXPECT_EQ(effects.Take(), Events({ "connect on", "ring", "ring timer start", "show +CRING: VOICE" }));
        if (c.answered)
            rules.OnConnect();
        effects.Take();
        rules.OnTimer(ModemRules::RingTimerId);
        EXPECT_EQ(effects.Take(), c.quiet);
        EXPECT_EQ(rules.Flags().ringing, 0);
        // A late tick of the one-shot finds nothing left to end.
        rules.OnTimer(ModemRules::RingTimerId);
        EXPECT_EQ(effects.Take(), Events({ "ring timer stop" }));
        rules.OnTimer(ModemRules::SettleTimerId);
    }
}

TEST_F(ModemRulesTest, ClosingTheWindowHangsUpOnlyWhileACallMayBeUp)
{
    struct Case {
        const char* name;
        void (*before)(ModemRules&);
        bool hangsUp;
    };
    const Case cases[] = {
        { "idle", [](ModemRules&) {}, false },
        { "dialled", [](ModemRules& r) { r.OnDial(); }, true },
        { "ringing", [](ModemRules& r) { r.OnSerialData("RING", 4); }, true },
        { "hung up",
            [](ModemRules& r) {
                r.OnDial();
                r.OnDisconnect();
            },
            false },
        { "busy",
            [](ModemRules& r) {
                r.OnDial();
                r.OnSerialData("BUSY", 4);
            },
            false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedRules fresh;
        fresh.rules.Start();
        c.before(fresh.rules);
        fresh.effects.Take();
        fresh.rules.HangUpBeforeClose();
        EXPECT_EQ(fresh.effects.Take(), c.hangsUp ? Events({ "write ATH\r" }) : Events());
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
        RecordedRules fresh;
        ModemRules& late = fresh.rules;
        late.Start();
        for (int step = 0; step < 3; ++step)
            fresh.Chunk("OK");
        if (way == Way::HangUpOk) {
            late.OnOK();
            fresh.Chunk("OK");
        } else {
            late.Close();
        }
        ASSERT_TRUE(late.IsClosed());
        fresh.effects.Take();

        late.OnTimer(ModemRules::PollTimerId);
        late.OnTimer(ModemRules::SettleTimerId);
        late.OnTimer(ModemRules::RingTimerId);
        fresh.Chunk("\r\nRING\r\n\r\nOK\r\n");
        late.OnDial();
        late.OnConnect();
        late.OnDisconnect();
        late.OnOK();
        late.HangUpBeforeClose();
        late.OnModuleLost();
        late.Start();
        late.ReportOpenFailure();
        EXPECT_FALSE(late.SendCommand(u"AT\r"));
        EXPECT_EQ(fresh.effects.Take(), Events());
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
