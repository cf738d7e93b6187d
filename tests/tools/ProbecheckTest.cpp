// probecheck run as a program against the simulated devices: a pass and a failure for each check, read
// from its exit status and its JSON record, and a Ctrl-C in the middle of a call.

#include "serial/FaultSupport.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/UbxAckWatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// A module on a pseudo-terminal that answers every command with OK and never reports a signal.
class ModuleWithoutSignal {
public:
    ModuleWithoutSignal()
    {
        int slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        close(slave);
        path = name;
        answering = std::thread([this] { Answer(); });
    }
    ~ModuleWithoutSignal()
    {
        stop = true;
        if (answering.joinable())
            answering.join();
        if (master >= 0)
            close(master);
    }
    std::string path;

private:
    void Answer()
    {
        while (!stop) {
            pollfd watched { master, POLLIN, 0 };
            char buffer[256];
            if (poll(&watched, 1, 50) <= 0)
                continue;
            const ssize_t got = read(master, buffer, sizeof buffer);
            const long commands = got > 0 ? std::count(buffer, buffer + got, '\r') : 0;
            for (long i = 0; i < commands; ++i)
                [[maybe_unused]] const ssize_t written = write(master, "\r\nOK\r\n", 6);
            if (got <= 0)
                usleep(50000); // nobody has the port open yet
        }
    }

    int master = -1;
    std::atomic<bool> stop { false };
    std::thread answering;
};

} // namespace

TEST(Probecheck, PassesAndFailsAgainstTheSimulators)
{
    fault::TemporaryDirectory dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string gps = dir.path + "/gps";
    const std::string gsm = dir.path + "/gsm";
    const std::string board = dir.path + "/board";
    ASSERT_EQ(mkdir(board.c_str(), 0700), 0);
    fault::ChildProcess receiver(DEVSIM_PATH, { "gps", "--link", gps });
    ASSERT_TRUE(receiver.FirstLine().starts_with("/dev/pts/")) << receiver.Errors();
    fault::ChildProcess module(DEVSIM_PATH, { "gsm", "--link", gsm });
    ASSERT_TRUE(module.FirstLine().starts_with("/dev/pts/")) << module.Errors();
    fault::ChildProcess wires(DEVSIM_PATH, { "board", "--dir", board, "--wire", "54:2" });
    ASSERT_TRUE(wires.FirstLine().starts_with("wired 54->2")) << wires.Errors();
    ModuleWithoutSignal silent;
    ASSERT_FALSE(silent.path.empty());

    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> environment;
        int status;
        std::vector<std::string> fields;
        const char* interruptAfter; // progress text after which the check gets Ctrl-C
    };
    const std::string pass = "\"verdict\":\"pass\"";
    const std::string fail = "\"verdict\":\"fail\"";
    const std::string error = "\"verdict\":\"error\"";
    const Case cases[] = {
        // First, while the simulated receiver has no fix yet (its first five seconds).
        { { "gps", "--device", gps, "--timeout", "1" }, {}, 1,
            { fail, "within 1 s", "\"validFix\":false", "\"timeToFirstFixSeconds\":null" }, nullptr },
        { { "gps", "--device", gps, "--rate", "1", "--min-satellites", "5" }, {}, 0,
            { pass, "\"rateAnswer\":\"acknowledged\"", "\"validFix\":true", "\"used\":true",
                "\"fixMode\":\"3D\"" },
            nullptr },
        { { "gsm", "--device", gsm, "--dial", "5551234", "--hold", "1" }, {}, 0,
            { pass, "\"command\":\"AT+CSQ\"", "\"dialResult\":\"OK\"", "\"hangUpResult\":\"OK\"",
                "\"closeConfirmed\":true" },
            nullptr },
        { { "gsm", "--device", silent.path, "--timeout", "2" }, {}, 1,
            { fail, "no signal report within 2 s", "\"signalLevel\":null", "\"closeConfirmed\":true" },
            nullptr },
        { { "gsm", "--device", gsm, "--dial", "5551234", "--hold", "60" }, {}, 2,
            { error, "interrupted by SIGINT", "\"up\":true", "{\"command\":\"ATH\"",
                "\"closeConfirmed\":true" },
            "call up" },
        { { "gpio", "--device", board, "--set", "54=1", "--expect", "2=1" }, {}, 0,
            { pass, "\"expectedPinsRead\":[{\"pin\":2,\"level\":1}]" }, nullptr },
        { { "gpio", "--device", board, "--set", "55=1", "--expect", "1=1" }, {}, 1,
            { fail, "input 1 reads 0, expected 1", "{\"pin\":55,\"level\":1}" }, nullptr },
        { { "backlight", "--device", board }, {}, 0, { pass, "\"level\":50,", "\"dutyPercent\":49.8" },
            nullptr },
        // A board whose register files cannot exist: their directory would have to be inside a file.
        { { "backlight" }, { "REGWIN_DIR=" + board + "/92100000.reg/board" }, 2,
            { error, "InitBacklightCtrl failed" }, nullptr },
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& argument : c.arguments)
            line += argument + " ";
        SCOPED_TRACE(line);
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back("--json");
        fault::ChildProcess check(PROBECHECK_PATH, arguments, c.environment);
        int status = -1;
        std::string record;
        if (c.interruptAfter) {
            const auto deadline = fault::Clock::now() + 30s;
            while (
                check.Errors().find(c.interruptAfter) == std::string::npos && fault::Clock::now() < deadline)
                usleep(20000);
            status = check.Stop(SIGINT);
            record = check.Finish(10s).second;
        } else {
            std::tie(status, record) = check.Finish(60s);
        }
        EXPECT_EQ(status, c.status) << record << check.Errors();
        EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1) << "one record on one line: " << record;
        for (const std::string& field : c.fields)
            EXPECT_NE(record.find(field), std::string::npos) << field << " missing in " << record;
    }
}

TEST(Probecheck, BadOptionsExitTwoWithAMessageAndNoRecord)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        { "modem" },
        { "gps", "--rate", "0" },
        { "gps", "--min-satellites", "4.5" },
        { "gsm", "--hold", "3" },
        { "gsm", "--dial", "555;ATH" },
        { "gpio", "--set", "2=1" },
        { "gpio", "--expect", "54=1", "--expect", "54=0" },
        { "backlight", "--levels", "0,101" },
        { "backlight", "--json=yes" },
    };
    for (const auto& arguments : cases) {
        std::string line;
        for (const std::string& argument : arguments)
            line += argument + " ";
        SCOPED_TRACE(line);
        fault::ChildProcess check(PROBECHECK_PATH, arguments);
        const auto [status, record] = check.Finish(30s);
        EXPECT_EQ(status, 2);
        EXPECT_EQ(record, "");
        EXPECT_FALSE(check.Errors().empty());
    }
}

TEST(JsonWriter, StringsStayValidJsonWhateverTheBytes)
{
    struct Case {
        std::string value;
        const char* json;
    };
    const Case cases[] = {
        { "plain", "\"plain\"" }, { "say \"OK\"\\", "\"say \\\"OK\\\"\\\\\"" },
        { "\r\nOK\r\n\t\x07", "\"\\r\\nOK\\r\\n\\t\\u0007\"" }, { std::string("a\0b", 3), "\"a\\u0000b\"" },
        { "caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\"" }, // valid UTF-8 passes
        { "\xb0\xff", "\"\\u00b0\\u00ff\"" }, // line noise: each byte as its own character
        { "\xc3", "\"\\u00c3\"" }, // a sequence cut short
        { "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\"" }, // an encoded surrogate is no character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        JsonWriter writer;
        writer.String({}, c.value);
        EXPECT_EQ(writer.Text(), c.json);
    }
    JsonWriter nested;
    nested.BeginObject();
    nested.Number("a", -0.0001, 2);
    nested.BeginArray("b");
    nested.Integer({}, 1);
    nested.Null({});
    nested.EndArray();
    nested.Number("c", 1.0 / 0.0, 1);
    nested.EndObject();
    EXPECT_EQ(nested.Text(), "{\"a\":0.00,\"b\":[1,null],\"c\":null}");
}

TEST(UbxAckWatch, FindsTheAnswerSplitAnywhereAndOnlyWithItsChecksum)
{
    // ACK-ACK and ACK-NAK for the rate message (class 06, id 08), between NMEA text.
    const std::string ack("\xb5\x62\x05\x01\x02\x00\x06\x08\x16\x3f", 10);
    const std::string nak("\xb5\x62\x05\x00\x02\x00\x06\x08\x15\x3a", 10);
    struct Case {
        std::string stream;
        UbxAckWatch::Answer answer;
    };
    const Case cases[] = {
        { "*6A\r\n" + ack + "$GPRMC,", UbxAckWatch::Answer::Acknowledged },
        { "\xb5" + nak + "\r\n", UbxAckWatch::Answer::Refused },
        { ack.substr(0, 9) + "\x3e", UbxAckWatch::Answer::None }, // checksum off by one
        { ack.substr(0, 6) + "\x05\x01" + ack.substr(8), UbxAckWatch::Answer::None }, // another message
    };
    for (const Case& c : cases) {
        for (std::size_t split = 0; split <= c.stream.size(); ++split) {
            SCOPED_TRACE(
                testing::Message() << "case answer " << static_cast<int>(c.answer) << ", split at " << split);
            UbxAckWatch watch;
            const UbxAckWatch::Answer first = watch.Feed(c.stream.data(), static_cast<int>(split));
            const UbxAckWatch::Answer second
                = watch.Feed(c.stream.data() + split, static_cast<int>(c.stream.size() - split));
            EXPECT_EQ(first != UbxAckWatch::Answer::None ? first : second, c.answer);
        }
    }
}
