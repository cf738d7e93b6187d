// probecheck run as a program against the simulated devices: every fault a rig exists to catch, each
// from a simulator of its own, read from the exit status and the JSON record; a whole unit in one
// call; bad command lines; and its JSON strings and the receiver's acknowledgement.

#include "platform/TempBoard.h"
#include "serial/FaultSupport.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/SkyTally.h"
#include "tools/probecheck/UbxAckWatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sstream>
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

// A simulator and the probecheck line that checks it. "@" in the line stands for the simulated device:
// the link of a simulated receiver or module, or the directory of a simulated board.
struct Row {
    // devsim's arguments; "silent" for ModuleWithoutSignal; "class" for a backlight class device
    // @/class/panel of 7 steps at full ("class", "unwritable": its brightness cannot be written)
    std::vector<std::string> simulator;
    std::vector<std::string> check;
    int status;
    const char* failing; // the measurement the reason names, which must have failed; "" for none
    const char* also = ""; // what else the record holds
    const char* interruptAfter = nullptr; // progress text after which the check gets Ctrl-C
    std::vector<std::string> environment = {};
    const char* boardFile = nullptr; // the text of a board file for the row ("@" as above); null: none
};

std::string WithPlace(std::string text, const std::string& place)
{
    for (std::size_t at; (at = text.find('@')) != std::string::npos;)
        text.replace(at, 1, place);
    return text;
}

struct Result {
    int status = -1;
    std::string record;
    std::string errors;
};

// Starts the row's simulator, runs its check with --json, and gives what came back.
Result RunRow(const Row& row, const std::string& place)
{
    std::vector<std::string> simulator = row.simulator;
    std::string device = place;
    std::unique_ptr<ModuleWithoutSignal> silent;
    std::unique_ptr<fault::ChildProcess> devsim;
    std::vector<std::string> environment = row.environment;
    if (row.boardFile || (!simulator.empty() && simulator[0] == "class"))
        mkdir(place.c_str(), 0700);
    if (row.boardFile) {
        TempBoard::WriteFile(place + "/board.conf", WithPlace(row.boardFile, place));
        environment.push_back("DEVICEPROBE_BOARD=" + place + "/board.conf");
    }
    if (simulator == std::vector<std::string> { "silent" }) {
        silent = std::make_unique<ModuleWithoutSignal>();
        device = silent->path;
    } else if (!simulator.empty() && simulator[0] == "class") {
        const std::string panel = TempBoard::MakeBacklightIn(place + "/class", "panel", 7, 7);
        if (simulator.size() > 1
            && (unlink((panel + "/brightness").c_str()) | mkdir((panel + "/brightness").c_str(), 0755)) != 0)
            return { -1, {}, "cannot spoil " + panel };
    } else if (!simulator.empty()) {
        const bool board = simulator[0] == "board";
        if (board)
            mkdir(place.c_str(), 0700);
        simulator.insert(simulator.begin() + 1, { board ? "--dir" : "--link", place });
        devsim = std::make_unique<fault::ChildProcess>(DEVSIM_PATH, simulator);
        const std::string ready = devsim->FirstLine();
        if (!ready.starts_with(board ? "wired" : "/dev/pts/"))
            return { -1, {}, "the simulator did not start: " + devsim->Errors() };
    }
    std::vector<std::string> arguments = row.check;
    std::replace(arguments.begin(), arguments.end(), std::string("@"), device);
    arguments.push_back("--json");
    fault::ChildProcess check(PROBECHECK_PATH, arguments, environment);
    Result result;
    if (row.interruptAfter) {
        const auto deadline = fault::Clock::now() + 60s;
        while (check.Errors().find(row.interruptAfter) == std::string::npos && fault::Clock::now() < deadline)
            usleep(20000);
        result.status = check.Stop(SIGINT);
        result.record = check.Finish(10s).second;
    } else {
        std::tie(result.status, result.record) = check.Finish(90s);
    }
    result.errors = check.Errors();
    return result;
}

// The outcome the record gives a measurement, or "" when it has none of that name.
std::string OutcomeOf(const std::string& record, const std::string& name)
{
    const std::size_t at = record.find("{\"name\":\"" + name + "\"");
    const std::size_t outcome = record.find("\"outcome\":\"", at);
    if (at == std::string::npos || outcome == std::string::npos)
        return {};
    const std::size_t start = outcome + 11;
    return record.substr(start, record.find('"', start) - start);
}

// How often text occurs in a document.
long Count(const std::string& document, const std::string& text)
{
    long count = 0;
    for (std::size_t at = document.find(text); at != std::string::npos; at = document.find(text, at + 1))
        ++count;
    return count;
}

} // namespace

TEST(Probecheck, EveryFaultGetsItsVerdict)
{
    std::string longLevels = "0";
    for (int level = 1; level < 100; ++level)
        longLevels.append(",").append(std::to_string(level));
    fault::TemporaryDirectory dir;
    ASSERT_FALSE(dir.path.empty());
    const Row rows[] = {
        // The receiver.
        { { "gps" }, { "gps", "--device", "@", "--rate", "1" }, 0, "",
            "\"rateFrame\",\"value\":\"acknowledged\"" },
        { { "gps", "--bad-checksums", "0.2" }, { "gps", "--device", "@" }, 1, "badChecksums" },
        { { "gps", "--no-fix" }, { "gps", "--device", "@", "--timeout", "8" }, 1, "timeToFirstFix",
            "none (at most 8 s)" },
        { { "gps", "--no-gsa" }, { "gps", "--device", "@" }, 0, "" },
        { { "gps", "--snr", "20" }, { "gps", "--device", "@", "--min-snr", "30", "--timeout", "12" }, 1,
            "satellitesAtMinSnr", "0 satellites" },
        // Seven GPS satellites and three GLONASS ones in the fix: nine are only there counted together.
        { { "gps", "--talker", "GN" }, { "gps", "--device", "@", "--min-satellites", "9" }, 0, "",
            "\"system\":\"GL\"" },
        { { "gps", "--vanish-after", "2" }, { "gps", "--device", "@" }, 1, "",
            "the device went away during the check" },
        { {}, { "gps", "--device", "@" }, 2, "", "no such device" },
        // The module.
        { { "gsm" }, { "gsm", "--device", "@", "--dial", "5551234", "--hold", "1" }, 0, "",
            "\"hangUp\",\"value\":\"OK\"" },
        { { "gsm", "--sim", "absent" }, { "gsm", "--device", "@" }, 1, "sim", "no SIM (+CME ERROR: 10)" },
        { { "gsm", "--sim", "pin" }, { "gsm", "--device", "@" }, 1, "sim", "SIM PIN (expected READY)" },
        { { "gsm", "--registration", "searching" }, { "gsm", "--device", "@", "--timeout", "4" }, 1,
            "registration", "searching" },
        { { "gsm", "--registration", "denied" }, { "gsm", "--device", "@" }, 1, "registration", "denied" },
        { { "gsm", "--registration", "roaming" }, { "gsm", "--device", "@" }, 0, "" },
        { { "gsm", "--registration", "roaming" }, { "gsm", "--device", "@", "--home-only" }, 1,
            "registration", "roaming (expected home)" },
        { { "gsm", "--register-after", "3" }, { "gsm", "--device", "@" }, 0, "", "+CREG: 0,2" },
        { { "gsm", "--no-vendor" }, { "gsm", "--device", "@" }, 0, "",
            "\"vendorCommands\",\"value\":\"refused\"" },
        { { "gsm", "--signal", "3" }, { "gsm", "--device", "@", "--timeout", "4" }, 1, "signal",
            "3 CSQ (from 10 to 31 CSQ)" },
        { { "silent" }, { "gsm", "--device", "@", "--timeout", "2" }, 1, "startUp", "no signal report" },
        { { "gsm" }, { "gsm", "--device", "@", "--dial", "5551234", "--hold", "60" }, 2, "",
            "interrupted by SIGINT", "call up" },
        // The board: inputs stuck at either level, two wires crossed, a single pin, the backlight.
        { { "board", "--wire", "54:2" }, { "gpio", "--device", "@", "--wire", "54:2" }, 0, "" },
        { { "board", "--stuck", "2=1" }, { "gpio", "--device", "@", "--wire", "54:2" }, 1, "wire 54:2 low",
            "2=1 (expected 2=0)" },
        { { "board", "--stuck", "2=0" }, { "gpio", "--device", "@", "--wire", "54:2" }, 1, "wire 54:2 high",
            "2=0 (expected 2=1)" },
        { { "board", "--wire", "54:3", "--wire", "55:2" },
            { "gpio", "--device", "@", "--wire", "54:2", "--wire", "55:3" }, 1, "wire 54:2 low",
            "2=1 3=0 (expected 2=0 3=1)" },
        { { "board", "--wire", "54:2" }, { "gpio", "--device", "@", "--set", "55=1", "--expect", "1=1" }, 1,
            "pin 1" },
        // A fresh board is at 100 already: the check steps away first, so 100 is still compared.
        { { "board", "--wire", "54:2" }, { "backlight", "--device", "@", "--levels", "100" }, 0, "",
            "{\"level\":100,\"from\":0," },
        // A reason far longer than a line of text once was, kept whole to its last level.
        { { "board", "--wire", "54:2" }, { "backlight", "--device", "@", "--levels", longLevels }, 0, "",
            "level 99 registers power on, timer running at 990 / 1005\",\"device\"" },
        // A board whose register files cannot exist: their directory would have to be inside a file.
        { {}, { "backlight" }, 2, "", "InitBacklightCtrl failed", nullptr,
            { "REGWIN_DIR=" + dir.path + "/x/board" } },
        // The backlight class: 1 of 7 steps is 0.07, still lit; 50 is 3.5, halves go up.
        { { "class" }, { "backlight", "--levels", "1,50,0" }, 0, "",
            "{\"level\":50,\"from\":1,\"bl_power\":0,\"brightness\":4,", nullptr, {},
            "backlight = @/class/panel" },
        { { "class", "unwritable" }, { "backlight" }, 2, "", "InitBacklightCtrl failed on", nullptr, {},
            "backlight = @/class/panel" },
        { { "class" }, { "backlight", "--device", "@" }, 2, "", "leave --device out", nullptr, {},
            "backlight = @/class/panel" },
        // Board files that leave the check nothing to reach.
        { {}, { "gpio", "--wire", "54:2" }, 2, "", "\"kind\":\"out of reach\",\"path\":\"\",\"boardFile\"",
            nullptr, {}, "pin.54 = gpiochip0:1\ncolour = red" },
        { {}, { "gpio", "--expect", "2=0" }, 2, "", "is out of reach: there is no GPIO chip /dev/gpiochip99",
            nullptr, {}, "pin.2 = gpiochip99:3" },
    };
    std::ofstream(dir.path + "/x") << "a file";
    // No board file of the machine's own steers a row that does not bring one.
    TempBoard::WriteFile(dir.path + "/none.conf", "");
    setenv("DEVICEPROBE_BOARD", (dir.path + "/none.conf").c_str(), 1);
    // Each row on its own simulator, all at the same time: the receivers' first fixes take seconds.
    std::vector<Result> results(std::size(rows));
    std::vector<std::thread> runs;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        runs.emplace_back([&, i] { results[i] = RunRow(rows[i], dir.path + "/device" + std::to_string(i)); });
    for (std::thread& run : runs)
        run.join();
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        const Result& result = results[i];
        std::ostringstream line;
        for (const std::string& argument : row.simulator)
            line << argument << " ";
        line << "| probecheck";
        for (const std::string& argument : row.check)
            line << " " << argument;
        SCOPED_TRACE(line.str());
        EXPECT_EQ(result.status, row.status) << result.record << result.errors;
        EXPECT_EQ(std::count(result.record.begin(), result.record.end(), '\n'), 1)
            << "one line: " << result.record;
        EXPECT_NE(result.record.find(row.also), std::string::npos)
            << row.also << " missing in " << result.record;
        if (row.status == 0) {
            EXPECT_NE(result.record.find("\"reason\":\"all limits met: "), std::string::npos)
                << result.record;
        }
        if (*row.failing) {
            EXPECT_NE(result.record.find(std::string("\"reason\":\"") + row.failing + " "), std::string::npos)
                << result.record;
            EXPECT_EQ(OutcomeOf(result.record, row.failing), "fail") << result.record;
        }
    }
    unsetenv("DEVICEPROBE_BOARD");
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
        // Nothing to compare proves nothing.
        { "gpio", "--set", "54=1" },
        { "gpio", "--wire", "54:2", "--wire", "55:2" },
        { "gpio", "--wire", "54:2", "--set", "54=0" },
        { "gps", "--min-snr", "0" },
        { "gps", "--junit" },
        { "gpio", "--device", "/tmp/a", "--wire", "54:2", "backlight", "--device", "/tmp/b" },
        { "--json", "--device", "x" },
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

TEST(Probecheck, AWholeUnitInOneCall)
{
    fault::TemporaryDirectory dir;
    const std::string gps = dir.path + "/gps";
    const std::string gsm = dir.path + "/gsm";
    const std::string board = dir.path + "/board";
    const std::string junit = dir.path + "/unit.xml";
    ASSERT_EQ(mkdir(board.c_str(), 0700), 0);
    fault::ChildProcess receiver(DEVSIM_PATH, { "gps", "--link", gps });
    fault::ChildProcess module(DEVSIM_PATH, { "gsm", "--link", gsm });
    fault::ChildProcess wires(DEVSIM_PATH, { "board", "--dir", board, "--wire", "54:2" });
    ASSERT_TRUE(receiver.FirstLine().starts_with("/dev/pts/")) << receiver.Errors();
    ASSERT_TRUE(module.FirstLine().starts_with("/dev/pts/")) << module.Errors();
    ASSERT_TRUE(wires.FirstLine().starts_with("wired")) << wires.Errors();
    struct Case {
        const char* gpioWire; // input 3 is not wired, so it never follows 54 high
        int status;
        const char* verdicts;
        const char* failures;
    };
    for (const Case& c : { Case { "54:2", 0, "pass pass pass pass", "failures=\"0\" errors=\"0\"" },
             Case { "54:3", 1, "pass pass fail pass", "failures=\"1\" errors=\"0\"" } }) {
        SCOPED_TRACE(c.gpioWire);
        // --json and --junit belong to the whole call, wherever they stand.
        fault::ChildProcess call(PROBECHECK_PATH,
            { "gps", "--device", gps, "--json", "gsm", "--device", gsm, "gpio", "--device", board, "--wire",
                c.gpioWire, "--junit", junit, "backlight", "--device", board });
        const auto [status, record] = call.Finish(90s);
        EXPECT_EQ(status, c.status) << record << call.Errors();
        EXPECT_TRUE(record.starts_with("{\"schema\":1,\"verdict\":")) << record;
        std::string verdicts;
        for (const char* check : { "gps", "gsm", "gpio", "backlight" }) {
            const std::size_t at = record.find(std::string("{\"check\":\"") + check + "\",\"verdict\":\"");
            ASSERT_NE(at, std::string::npos) << check << " missing in " << record;
            verdicts
                += (verdicts.empty() ? "" : " ") + record.substr(record.find("\"verdict\":\"", at) + 11, 4);
        }
        EXPECT_EQ(verdicts, c.verdicts);
        // The JUnit file read back: a suite per check, a case per measurement, the failures counted.
        std::ifstream file(junit);
        const std::string xml((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(Count(xml, "<testsuite "), 4) << xml;
        EXPECT_EQ(Count(xml, "<testcase "), Count(record, "{\"name\":\"")) << xml;
        EXPECT_NE(xml.find("<testsuites name=\"probecheck\" tests=\""
                      + std::to_string(Count(xml, "<testcase ")) + "\" " + c.failures),
            std::string::npos)
            << xml;
        EXPECT_TRUE(xml.ends_with("</testsuites>\n")) << xml;
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
    nested.Number("d", 2.5); // a limit as given, not rounded to a value's decimals
    nested.EndObject();
    EXPECT_EQ(nested.Text(), "{\"a\":0.00,\"b\":[1,null],\"c\":null,\"d\":2.5}");
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

TEST(SkyTally, InViewIsTheLastWholeCycleWhereverTheCheckStops)
{
    // Thirteen GPS satellites in four messages (more than the decoder's record holds), then the first
    // message of the next cycle: the tally still counts all thirteen, not the four of the new message.
    SkyTally tally;
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int message = 1; message <= 4; ++message) {
            std::vector<SkyTally::Satellite> listed;
            for (int slot = 0; slot < 4 && (message - 1) * 4 + slot < 13; ++slot)
                listed.push_back({ {}, (message - 1) * 4 + slot + 1, 45, 90, 30 + cycle });
            tally.OnGsv("GP", 0, message, 4, listed);
            if (cycle == 1)
                break;
        }
        EXPECT_EQ(tally.InView().size(), 13u) << "after cycle " << cycle;
    }
    EXPECT_EQ(tally.AtLeast(31), 0) << "the cycle in progress is not counted yet";
    tally.OnGsv("GL", 0, 1, 2, { { {}, 65, 10, 20, 40 } });
    EXPECT_EQ(tally.InView().size(), 14u) << "a system whose first cycle is still in progress counts";
}
