#include "serial/FaultSupport.h"
#include "tools/common/ReadLink.h"
#include "tools/common/UbxFrame.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// devsim run as a child process against real pseudo-terminals. Waits are generous and only bound how
// long a broken build may hang; nothing here measures time.

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto Patience = 30s;

// devsim with arguments, as a user starts it.
class Devsim : public fault::ChildProcess {
public:
    explicit Devsim(const std::vector<std::string>& arguments)
        : fault::ChildProcess(DEVSIM_PATH, arguments)
    {
    }
};

// What a directory holds, "." and ".." left out.
int EntriesIn(const std::string& path)
{
    int count = 0;
    DIR* dir = opendir(path.c_str());
    while (dir && readdir(dir))
        ++count;
    if (dir)
        closedir(dir);
    return count - 2;
}

// The device side as a program under test sees it.
class Port {
public:
    explicit Port(const std::string& path)
        : fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
    }
    // Takes over an open descriptor.
    explicit Port(int descriptor)
        : fd(descriptor)
    {
    }
    ~Port()
    {
        if (fd >= 0)
            close(fd);
    }
    bool IsOpen() const { return fd >= 0; }
    void Send(const std::string& bytes)
    {
        ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // Reads until the collected text contains what, or the patience runs out; returns all collected.
    std::string ReadUntil(const std::string& what)
    {
        const auto deadline = Clock::now() + Patience;
        while (Clock::now() < deadline && received.find(what) == std::string::npos) {
            pollfd watched { fd, POLLIN, 0 };
            if (poll(&watched, 1, 100) <= 0)
                continue;
            char buffer[256];
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0)
                received.append(buffer, static_cast<std::size_t>(got));
        }
        return received;
    }
    // Takes the collected text up to and including the end of what, leaving the rest.
    std::string Take(const std::string& what)
    {
        const std::size_t at = ReadUntil(what).find(what);
        if (at == std::string::npos)
            return {};
        std::string taken = received.substr(0, at + what.size());
        received.erase(0, at + what.size());
        return taken;
    }

private:
    int fd;
    std::string received;
};

// The fields of the next whole RMC sentence the port delivers.
std::vector<std::string> NextRmc(Port& port)
{
    std::string sentence;
    port.Take("$GPRMC,");
    sentence = port.Take("\r\n");
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = sentence.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(sentence.substr(start, comma - start));
    return fields;
}

int SecondOfDay(const std::string& time)
{
    return std::stoi(time.substr(0, 2)) * 3600 + std::stoi(time.substr(2, 2)) * 60
        + std::stoi(time.substr(4, 2));
}

}

TEST(DevsimProcess, GpsStartsWithoutFixAndFollowsTheRateFrame)
{
    fault::TemporaryDirectory dir;
    const std::string link = dir.path + "/COM4";
    Devsim devsim({ "gps", "--link", link });
    const std::string pty = devsim.FirstLine();
    ASSERT_TRUE(pty.starts_with("/dev/pts/")) << devsim.Errors();
    EXPECT_EQ(ReadLink(link), pty);
    Port port(link);
    ASSERT_TRUE(port.IsOpen());

    EXPECT_EQ(NextRmc(port).at(1), "V") << "the first report comes before the first fix";
    std::vector<std::string> rmc;
    for (int i = 0; i < 20 && (rmc.size() < 2 || rmc[1] != "A"); ++i)
        rmc = NextRmc(port);
    ASSERT_EQ(rmc.at(1), "A") << "no fix after 20 reports";

    // A frame with a bad checksum changes nothing and gets no answer.
    const std::string ack = Ubx::MakeAck(Ubx::ClassCfg, Ubx::IdCfgRate, true);
    std::string broken = Ubx::MakeCfgRate(3000, 1, 0);
    broken.back() = static_cast<char>(broken.back() ^ 0x40);
    port.Send(broken);
    const int before = SecondOfDay(NextRmc(port).at(0));
    const int after = SecondOfDay(NextRmc(port).at(0));
    EXPECT_EQ((after - before + 86400) % 86400, 1);

    // A good one, behind some noise, is acknowledged and sets the period.
    port.Send(std::string("\r\nxx\xB5", 5) + Ubx::MakeCfgRate(2000, 1, 0));
    const std::string upToAck = port.Take(ack);
    EXPECT_NE(upToAck.find(ack), std::string::npos) << "no ACK-ACK for a good rate frame";
    EXPECT_EQ(upToAck.find(Ubx::MakeAck(Ubx::ClassCfg, Ubx::IdCfgRate, false)), std::string::npos);
    int previous = SecondOfDay(NextRmc(port).at(0));
    for (int i = 0; i < 2; ++i) {
        const int next = SecondOfDay(NextRmc(port).at(0));
        EXPECT_EQ((next - previous + 86400) % 86400, 2);
        previous = next;
    }

    EXPECT_EQ(devsim.Stop(SIGINT), 0);
    struct stat info { };
    EXPECT_NE(lstat(link.c_str(), &info), 0) << "the link outlived the simulator";
}

TEST(DevsimProcess, GsmAnswersRingsAndSurvivesAReopen)
{
    fault::TemporaryDirectory dir;
    const std::string link = dir.path + "/COM1";
    Devsim devsim({ "gsm", "--link", link });
    ASSERT_TRUE(devsim.FirstLine().starts_with("/dev/pts/")) << devsim.Errors();
    {
        Port port(link);
        ASSERT_TRUE(port.IsOpen());
        port.Send("AT\r");
        EXPECT_EQ(port.Take("OK\r\n"), "AT\r\r\nOK\r\n");
        port.Send("ATE0\r");
        EXPECT_EQ(port.Take("OK\r\n"), "ATE0\r\r\nOK\r\n");
        port.Send("AT+CSQ\r");
        const std::string csq = port.Take("OK\r\n");
        EXPECT_TRUE(csq.starts_with("\r\n+CSQ: ") && csq.ends_with(",99\r\n\r\nOK\r\n")) << csq;
        ASSERT_TRUE(devsim.Say("ring\n"));
        EXPECT_EQ(port.Take("RING\r\n"), "\r\nRING\r\n");
        port.Send("ATA\r");
        EXPECT_EQ(port.Take("OK\r\n"), "\r\nOK\r\n");
    }
    // The program closed the port; a new open finds the module still there.
    Port again(link);
    ASSERT_TRUE(again.IsOpen());
    again.Send("ATH\r");
    EXPECT_TRUE(again.Take("OK\r\n").ends_with("\r\nOK\r\n"));
    again.Send("AT+WHAT\r");
    EXPECT_EQ(again.Take("ERROR\r\n"), "\r\nERROR\r\n");

    EXPECT_EQ(devsim.Stop(SIGTERM), 0);
    struct stat info { };
    EXPECT_NE(lstat(link.c_str(), &info), 0);
}

TEST(DevsimProcess, KeysOnItsOwnTerminalRingAndHangUp)
{
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(DEVSIM_PATH, DEVSIM_PATH, "gsm", static_cast<char*>(nullptr));
        _exit(127);
    }
    // devsim's own terminal is a pty as well; its first line is the module's path.
    Port console(terminal);
    const std::string first = console.Take("\r\n");
    ASSERT_TRUE(first.starts_with("/dev/pts/")) << first;
    console.Take("hang up from the other side\r\n");
    termios keys {};
    ASSERT_EQ(tcgetattr(terminal, &keys), 0);
    EXPECT_EQ(keys.c_lflag & ICANON, 0u) << "single keys need the terminal out of line mode";

    Port module(first.substr(0, first.size() - 2));
    console.Send("r");
    EXPECT_EQ(module.Take("RING\r\n"), "\r\nRING\r\n");
    console.Send("h");
    EXPECT_EQ(module.Take("NO CARRIER\r\n"), "\r\nNO CARRIER\r\n");
    console.Send("\x03"); // Ctrl-C typed on the terminal
    console.Take("stopped\r\n");
    int status = -1;
    const auto deadline = Clock::now() + Patience;
    while (Clock::now() < deadline && waitpid(pid, &status, WNOHANG) != pid)
        usleep(10000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    termios after {};
    ASSERT_EQ(tcgetattr(terminal, &after), 0);
    EXPECT_NE(after.c_lflag & ICANON, 0u) << "the terminal was left without line mode";
}

TEST(DevsimProcess, ReplayPlaysTheCaptureWithoutItsNotes)
{
    const std::string capture = std::string(TEST_DATA_DIR) + "/nmea/ublox-lea-5h.log";
    ASSERT_EQ(access(capture.c_str(), R_OK), 0) << "receiver capture missing: " << capture;
    Devsim devsim({ "gps", "--replay", capture });
    const std::string pty = devsim.FirstLine();
    ASSERT_TRUE(pty.starts_with("/dev/pts/")) << devsim.Errors();
    Port port(pty);
    const std::string start = port.Take("$GPRMC");
    EXPECT_EQ(start.find('#'), std::string::npos) << "a note line was replayed";
    EXPECT_NE(start.find("$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50\n"), std::string::npos) << start;
    EXPECT_EQ(devsim.Stop(SIGINT), 0);
}

TEST(DevsimProcess, BadArgumentsExitTwoWithAMessage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        { "modem" },
        { "gps", "--speed", "-5" },
        { "gps", "--speed", "0x10" },
        { "gps", "--link" },
        { "gps", "--replay", "x.log", "--speed", "20" },
        { "gsm", "--ring-every", "0" },
        { "gsm", "--ring-after=soon" },
        { "board", "--watch=yes" },
        { "board", "extra" },
        { "board", "--wire", "2:54" },
        { "board", "--wire", "54:2", "--wire", "55:2" },
        { "board", "--wire", "54:2", "--watch" },
    };
    for (const auto& arguments : cases) {
        std::string line;
        for (const std::string& argument : arguments)
            line += argument + " ";
        SCOPED_TRACE(line);
        Devsim devsim(arguments);
        EXPECT_EQ(devsim.Finish(Patience), std::make_pair(2, std::string()));
        EXPECT_FALSE(devsim.Errors().empty());
    }
}

TEST(DevsimProcess, LinkNeverReplacesSomethingReal)
{
    fault::TemporaryDirectory dir;
    const std::string path = dir.path + "/COM4";
    std::ofstream(path) << "keep me";
    Devsim devsim({ "gps", "--link", path });
    EXPECT_EQ(devsim.Finish(Patience).first, 1);
    EXPECT_NE(devsim.Errors().find("already exists"), std::string::npos);
    std::string content;
    std::getline(std::ifstream(path), content);
    EXPECT_EQ(content, "keep me");

    // A link left dangling by a crashed run is replaced.
    const std::string stale = dir.path + "/COM1";
    ASSERT_EQ(symlink("/dev/pts/does-not-exist", stale.c_str()), 0);
    Devsim gsm({ "gsm", "--link", stale });
    const std::string pty = gsm.FirstLine();
    EXPECT_EQ(ReadLink(stale), pty);
    EXPECT_EQ(gsm.Stop(SIGINT), 0);
}

TEST(DevsimProcess, BoardReadsWithoutCreatingAnything)
{
    fault::TemporaryDirectory dir;
    Devsim devsim({ "board", "--dir", dir.path });
    const auto [status, view] = devsim.Finish(Patience);
    EXPECT_EQ(status, 0);
    EXPECT_NE(view.find("92100000.reg  missing: every register reads as 0"), std::string::npos) << view;
    EXPECT_NE(view.find("off (power enable not driven: its line is in mode input)"), std::string::npos)
        << view;
    EXPECT_EQ(EntriesIn(dir.path), 0);
}
