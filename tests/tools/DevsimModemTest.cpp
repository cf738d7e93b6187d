#include "tools/devsim/ConsoleInput.h"
#include "tools/devsim/ModemModel.h"
#include "tools/devsim/PacedWriter.h"
#include "tools/devsim/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Clock = ModemModel::Clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const Clock::time_point Start = Clock::time_point(seconds(1000));

// A module that has had "ATE0" already, as after the program's first command.
ModemModel QuietModem(const ModemHabits& habits = {})
{
    ModemModel modem(Start, habits);
    modem.Receive("ATE0\r", Start);
    return modem;
}

}

TEST(ModemModel, AnswersCommandsLikeAModule)
{
    struct Case {
        const char* sent;
        const char* reply;
    };
    // After ATE0: no echo, results framed CR LF ... CR LF.
    const Case cases[] = {
        { "AT\r", "\r\nOK\r\n" },
        { "at\r", "\r\nOK\r\n" },
        { "AT^SNFS=2\r", "\r\nOK\r\n" },
        { "AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r", "\r\nOK\r\n" },
        { "AT^SNFS=x\r", "\r\nERROR\r\n" },
        { "AT+CFUN?\r", "\r\nERROR\r\n" },
        { "HELLO\r", "" },
        { "\r\nERROR\r\n", "" }, // our own result, bounced back by a terminal with echo on
        { "ATH\r", "\r\nOK\r\n" },
        { "ATA\r", "\r\nNO CARRIER\r\n" },
        { "ATD;\r", "\r\nERROR\r\n" },
        { "ATD0123456\r", "\r\nERROR\r\n" },
        { "ATD012x;\r", "\r\nERROR\r\n" },
        { "ATD+49301234567;\r", "\r\nOK\r\n" },
        { "AT+CGSN\r", "\r\n490154203237518\r\n\r\nOK\r\n" },
        { "AT+CPIN?\r", "\r\n+CPIN: READY\r\n\r\nOK\r\n" },
        { "AT+CEREG?\r", "\r\n+CEREG: 0,1\r\n\r\nOK\r\n" },
        { "AT+COPS?\r", "\r\n+COPS: 0,0,\"devsim net\"\r\n\r\nOK\r\n" },
        { "AT\r\n", "\r\nOK\r\n" },
        { "\r", "" },
        { "AX\bT\r", "\r\nOK\r\n" },
        { "A", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent);
        ModemModel modem = QuietModem();
        EXPECT_EQ(modem.Receive(c.sent, Start), c.reply);
    }
}

TEST(ModemModel, HabitsOfRealModulesOnRequest)
{
    ModemHabits noVendor, chatty, busy, noSim, locked, roaming, searching;
    noVendor.vendorCommands = false;
    noSim.sim = ModemHabits::Sim::Absent;
    locked.sim = ModemHabits::Sim::WaitingForPin;
    roaming.registration = ModemHabits::Registration::Roaming;
    searching.registerAfter = seconds(3); // then home
    chatty.unsolicited = true;
    chatty.blankInReport = false;
    chatty.signal = 99;
    busy.callFailure = "BUSY";
    struct Case {
        const ModemHabits& habits;
        const char* sent;
        const char* reply;
    };
    for (const Case& c : { Case { noVendor, "AT^SNFS=2\r", "\r\nERROR\r\n" },
             Case { chatty, "AT+CSQ\r", "\r\n+CREG: 1\r\n\r\n+CSQ:99,99\r\n\r\nOK\r\n" },
             Case { busy, "ATD112;\r", "\r\nBUSY\r\n" },
             Case { noSim, "AT+CPIN?\r", "\r\n+CME ERROR: 10\r\n" },
             Case { noSim, "AT+CREG?\r", "\r\n+CREG: 0,0\r\n\r\nOK\r\n" },
             Case { locked, "AT+CPIN?\r", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n" },
             Case { roaming, "AT+CREG?\r", "\r\n+CREG: 0,5\r\n\r\nOK\r\n" },
             Case { searching, "AT+CREG?\r", "\r\n+CREG: 0,2\r\n\r\nOK\r\n" },
             Case { searching, "AT+COPS?\r", "\r\n+COPS: 0\r\n\r\nOK\r\n" } }) {
        SCOPED_TRACE(c.sent);
        ModemModel modem = QuietModem(c.habits);
        EXPECT_EQ(modem.Receive(c.sent, Start), c.reply);
        EXPECT_EQ(modem.State(), ModemModel::CallState::Idle);
    }
}

TEST(ModemModel, EchoesUntilAte0)
{
    ModemModel modem(Start);
    EXPECT_TRUE(modem.EchoOn());
    EXPECT_EQ(modem.Receive("AT\r", Start), "AT\r\r\nOK\r\n");
    EXPECT_EQ(modem.Receive("AT+FOO\r", Start), "AT+FOO\r\r\nERROR\r\n");
    // ATE0 itself is still echoed; echo stops after it.
    EXPECT_EQ(modem.Receive("ATE0\r", Start), "ATE0\r\r\nOK\r\n");
    EXPECT_FALSE(modem.EchoOn());
    EXPECT_EQ(modem.Receive("AT\r", Start), "\r\nOK\r\n");
    EXPECT_EQ(modem.Receive("ATE1\r", Start), "\r\nOK\r\n");
    EXPECT_EQ(modem.Receive("AT\r", Start), "AT\r\r\nOK\r\n");
}

TEST(ModemModel, CommandSplitOverReadsIsOneCommand)
{
    ModemModel modem = QuietModem();
    EXPECT_EQ(modem.Receive("AT+", Start), "");
    EXPECT_EQ(modem.Receive("CS", Start), "");
    EXPECT_NE(modem.Receive("Q\r", Start).find("+CSQ: "), std::string::npos);
}

TEST(ModemModel, OverlongLineIsRefusedAndForgotten)
{
    ModemModel modem = QuietModem();
    const std::string flood = "AT" + std::string(ModemModel::MaxLine * 4, '1') + "\r";
    EXPECT_EQ(modem.Receive(flood, Start), "\r\nERROR\r\n");
    EXPECT_EQ(modem.Receive("AT\r", Start), "\r\nOK\r\n");
}

TEST(ModemModel, SignalReportIsFramedAndChangesSlowly)
{
    ModemModel modem = QuietModem();
    std::set<int> values;
    int previous = -1;
    for (int minute = 0; minute <= 8; ++minute) {
        const std::string reply = modem.Receive("AT+CSQ\r", Start + std::chrono::minutes(minute));
        SCOPED_TRACE(reply);
        ASSERT_TRUE(reply.starts_with("\r\n+CSQ: "));
        ASSERT_TRUE(reply.ends_with(",99\r\n\r\nOK\r\n"));
        const int value = std::stoi(reply.substr(8));
        EXPECT_GE(value, 0);
        EXPECT_LE(value, 31);
        if (previous >= 0) {
            EXPECT_LE(std::abs(value - previous), 6) << "a jump within a minute";
        }
        previous = value;
        values.insert(value);
    }
    EXPECT_GE(values.size(), 3u);
}

TEST(ModemModel, DialledCallIsEndedByTheOtherSide)
{
    ModemModel modem = QuietModem();
    EXPECT_EQ(modem.Receive("ATD0123456789;\r", Start), "\r\nOK\r\n");
    EXPECT_EQ(modem.State(), ModemModel::CallState::Connected);
    EXPECT_EQ(modem.Receive("ATD0123;\r", Start), "\r\nERROR\r\n") << "a second call while one is connected";
    ASSERT_TRUE(modem.NextDeadline().has_value());
    EXPECT_EQ(*modem.NextDeadline(), Start + ModemModel::CallSeconds);
    EXPECT_EQ(modem.Advance(Start + ModemModel::CallSeconds - milliseconds(1)), "");
    EXPECT_EQ(modem.Advance(Start + ModemModel::CallSeconds), "\r\nNO CARRIER\r\n");
    EXPECT_EQ(modem.State(), ModemModel::CallState::Idle);
    EXPECT_FALSE(modem.NextDeadline().has_value());
    EXPECT_EQ(modem.Advance(Start + ModemModel::CallSeconds * 2), "");
}

TEST(ModemModel, IncomingCallRingsUntilAnswered)
{
    ModemModel modem = QuietModem();
    std::string output;
    ASSERT_TRUE(modem.StartIncomingCall(Start, &output));
    EXPECT_EQ(output, "\r\nRING\r\n");
    EXPECT_FALSE(modem.StartIncomingCall(Start, &output)) << "a second caller while ringing";
    EXPECT_EQ(modem.Advance(Start + milliseconds(2999)), "");
    EXPECT_EQ(modem.Advance(Start + seconds(3)), "\r\nRING\r\n");
    EXPECT_EQ(modem.Advance(Start + seconds(4)), "");
    EXPECT_EQ(modem.Advance(Start + seconds(6)), "\r\nRING\r\n");
    // A signal poll while ringing is still answered.
    EXPECT_TRUE(modem.Receive("AT+CSQ\r", Start + seconds(7)).ends_with("OK\r\n"));
    EXPECT_EQ(modem.Receive("ATA\r", Start + seconds(7)), "\r\nOK\r\n");
    EXPECT_EQ(modem.State(), ModemModel::CallState::Connected);
    EXPECT_EQ(modem.Advance(Start + seconds(9)), "") << "no RING once answered";
    EXPECT_EQ(modem.Advance(Start + seconds(7) + ModemModel::CallSeconds), "\r\nNO CARRIER\r\n");
}

TEST(ModemModel, RingingCallerGivesUp)
{
    ModemModel modem = QuietModem();
    std::string output;
    ASSERT_TRUE(modem.StartIncomingCall(Start, &output));
    int rings = 1;
    std::string last;
    for (int s = 1; s <= 40; ++s) {
        last = modem.Advance(Start + seconds(s));
        if (last == "\r\nRING\r\n")
            ++rings;
        else if (!last.empty())
            break;
    }
    EXPECT_EQ(last, "\r\nNO CARRIER\r\n");
    EXPECT_EQ(rings, 10); // at 0, 3, ..., 27 s
    EXPECT_EQ(modem.State(), ModemModel::CallState::Idle);
}

TEST(ModemModel, HangUpEndsRingingAndCallsWithoutNoCarrier)
{
    ModemModel modem = QuietModem();
    std::string output;
    ASSERT_TRUE(modem.StartIncomingCall(Start, &output));
    EXPECT_EQ(modem.Receive("ATH\r", Start + seconds(1)), "\r\nOK\r\n");
    EXPECT_EQ(modem.Advance(Start + seconds(60)), "");

    EXPECT_EQ(modem.Receive("ATD112;\r", Start + seconds(60)), "\r\nOK\r\n");
    EXPECT_EQ(modem.Receive("ATH\r", Start + seconds(61)), "\r\nOK\r\n");
    EXPECT_EQ(modem.Advance(Start + seconds(120)), "");
    EXPECT_FALSE(modem.RemoteHangUp(&output));
}

TEST(ModemModel, StalledLoopRingsOnceNotInABurst)
{
    ModemModel modem = QuietModem();
    std::string output;
    ASSERT_TRUE(modem.StartIncomingCall(Start, &output));
    EXPECT_EQ(modem.Advance(Start + seconds(20)), "\r\nRING\r\n");
    EXPECT_EQ(modem.Advance(Start + seconds(21)), "");
}

TEST(ConsoleInput, LinesAskForCallsAndHangUps)
{
    ConsoleInput console;
    std::string unknown;
    EXPECT_EQ(console.TakeLines("ri", &unknown).size(), 0u);
    const auto first = console.TakeLines("ng\n  hangup \r\nwhat\n\n", &unknown);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0], ConsoleCommand::Ring);
    EXPECT_EQ(first[1], ConsoleCommand::HangUp);
    EXPECT_EQ(unknown, "what");
}

TEST(PacedWriter, KeepsLinePaceInSmallPiecesAndLetsRepliesIn)
{
    PseudoTerminal port(4096);
    std::string error;
    ASSERT_TRUE(port.Open(&error)) << error;
    const int reader = open(port.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const auto drain = [&] {
        std::string got;
        char buffer[512];
        for (int tries = 0; tries < 50; ++tries) {
            const ssize_t n = read(reader, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                tries = 0;
            } else {
                usleep(1000);
            }
        }
        return got;
    };

    // 1000 bytes/s, 10-byte pieces, times made up.
    PacedWriter writer(port, 1000, 10);
    const PacedWriter::Clock::time_point t0 {};
    writer.Push(std::string(25, 'a'));
    writer.Push(std::string(5, 'b'));
    ASSERT_TRUE(writer.Pump(t0));
    EXPECT_EQ(drain(), "") << "the first byte still needs its time on the wire";
    EXPECT_EQ(writer.TimeoutMs(t0), 10);
    ASSERT_TRUE(writer.Pump(t0 + milliseconds(10)));
    EXPECT_EQ(drain(), std::string(10, 'a'));
    // A reply goes right after the message being sent, not behind the whole queue.
    writer.PushNext("R");
    ASSERT_TRUE(writer.Pump(t0 + milliseconds(1000)));
    EXPECT_EQ(drain(), std::string(10, 'a')) << "one piece per wake-up, however late";
    for (int ms = 1010; ms <= 1100; ms += 10)
        ASSERT_TRUE(writer.Pump(t0 + milliseconds(ms)));
    EXPECT_EQ(drain(), std::string(5, 'a') + "R" + std::string(5, 'b'));
    EXPECT_TRUE(writer.Idle());
    EXPECT_EQ(writer.TimeoutMs(t0 + milliseconds(1100)), -1);
    close(reader);
}

TEST(PseudoTerminal, OutputNobodyReadsIsDroppedNotHoarded)
{
    PseudoTerminal port(100);
    std::string error;
    ASSERT_TRUE(port.Open(&error)) << error;
    // Paced a little, as the simulators write: the kernel hands master writes to the slave side
    // asynchronously, so only what has arrived there can be seen and dropped.
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(port.Write("0123456789", 10));
        usleep(2000);
    }
    // A program that opens the port now finds about the stale limit's worth, not all 1000 bytes.
    const int reader = open(port.SlavePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ASSERT_TRUE(port.Write("fresh", 5));
    usleep(20000);
    char buffer[2048];
    const ssize_t n = read(reader, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    EXPECT_LT(n, 400);
    EXPECT_TRUE(std::string(buffer, static_cast<std::size_t>(n)).ends_with("fresh"));
    close(reader);
}
