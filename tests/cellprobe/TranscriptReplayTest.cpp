#include "cellprobe/ModemRules.h"

#include "tests/cellprobe/RecordingEffects.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace {

// One modem reply of the transcripts, as the bytes the module sent.
struct Reply {
    std::string bytes;
    int statedLength = -1; // the byte count the transcript gives for the read, when it gives one
};

// Byte-exact replies are written with <CR> and <LF> for the control bytes, after "<<" or after the
// "=> expect" of a reply inferred from the sources; two or more blanks start the annotation.
std::vector<Reply> ByteExactReplies(const std::string& path)
{
    std::vector<Reply> replies;
    std::ifstream file(path);
    const std::regex length(R"(\((?:one )?(\d+)[- ]byte)");
    std::string line;
    while (std::getline(file, line)) {
        std::size_t start = line.find("<< ");
        if (start != std::string::npos)
            start += 3;
        else if ((start = line.find("=> expect ")) != std::string::npos)
            start += 10;
        else
            continue;
        while (start < line.size() && line[start] == ' ')
            ++start;
        std::string text = line.substr(start);
        const std::size_t annotation = text.find("  ");
        const std::string note = annotation == std::string::npos ? "" : text.substr(annotation);
        text = text.substr(0, annotation);
        if (text.find("<CR>") == std::string::npos && text.find("<LF>") == std::string::npos)
            continue;
        Reply reply;
        for (std::size_t at = 0; at < text.size();) {
            if (text.compare(at, 4, "<CR>") == 0) {
                reply.bytes += '\r';
                at += 4;
            } else if (text.compare(at, 4, "<LF>") == 0) {
                reply.bytes += '\n';
                at += 4;
            } else {
                reply.bytes += text[at++];
            }
        }
        std::smatch match;
        if (std::regex_search(note, match, length))
            reply.statedLength = std::stoi(match[1]);
        replies.push_back(reply);
    }
    return replies;
}

// With echo off the module sends only what follows the echoed command, which ends at the first CR LF.
std::string WithoutEcho(const std::string& bytes)
{
    const std::size_t lineEnd = bytes.find("\r\n");
    return lineEnd == std::string::npos ? bytes : bytes.substr(lineEnd);
}

class TranscriptReplay : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string path = std::string(TEST_DATA_DIR) + "/gsm/transcripts.txt";
        ASSERT_TRUE(std::ifstream(path)) << "modem transcripts missing: " << path;
        replies = ByteExactReplies(path);
        ASSERT_FALSE(replies.empty()) << "no byte-exact reply in " << path;
        effects.rules = &rules;
    }

    // The first byte-exact reply that holds text.
    std::string Find(std::string_view text)
    {
        for (const Reply& reply : replies) {
            if (reply.bytes.find(text) != std::string::npos)
                return reply.bytes;
        }
        ADD_FAILURE() << "no reply holds " << text;
        return {};
    }

    // The reply that is exactly bytes, so the test uses the file's bytes rather than its own.
    std::string Exact(std::string_view bytes)
    {
        for (const Reply& reply : replies) {
            if (reply.bytes == bytes)
                return reply.bytes;
        }
        ADD_FAILURE() << "no reply is exactly " << testing::PrintToString(std::string(bytes));
        return std::string(bytes);
    }

    std::vector<std::string> Receive(const std::string& bytes)
    {
        // The link hands over at most 60 bytes at a time.
        for (std::size_t at = 0; at < bytes.size(); at += ModemRules::SendBufferSize) {
            const std::string chunk = bytes.substr(at, ModemRules::SendBufferSize);
            rules.OnSerialData(chunk.data(), static_cast<int>(chunk.size()));
        }
        return effects.Take();
    }

    std::vector<Reply> replies;
    RecordingEffects effects;
    ModemRules rules { effects };
};

using Events = std::vector<std::string>;

} // namespace

TEST_F(TranscriptReplay, RepliesDecodeToTheLengthTheTranscriptStates)
{
    int checked = 0;
    for (const Reply& reply : replies) {
        if (reply.statedLength < 0)
            continue;
        SCOPED_TRACE(testing::PrintToString(reply.bytes));
        EXPECT_EQ(static_cast<int>(reply.bytes.size()), reply.statedLength);
        ++checked;
    }
    EXPECT_GE(checked, 3);
}

TEST_F(TranscriptReplay, RealRepliesDriveACallFromStartUpToClose)
{
    const std::string ok = Exact("\r\nOK\r\n");

    rules.Start();
    EXPECT_EQ(effects.Take(), Events({ "write ATE0\r" }));
    // Echo is still on at power-up, so the first reply carries "ATE0" back.
    EXPECT_EQ(Receive(Find("ATE0\r\r\n")), Events({ "write AT^SNFS=2\r", "show ATE0OK" }));
    EXPECT_EQ(Receive(ok), Events({ "write AT^SNFO=0,4685,6301,8500,11205,15115,4,0\r", "show OK" }));
    // A module without the vendor audio settings refuses the second one; the start-up waits for an OK.
    EXPECT_EQ(Receive(Find("+CME ERROR: 30")), Events({ "show +CME ERROR: 30" }));
    rules.OnTimer(ModemRules::PollTimerId);
    EXPECT_EQ(effects.Take(), Events({ "write AT+CSQ\r" }));
    EXPECT_EQ(Receive(WithoutEcho(Find("+CSQ: 11,99"))), Events({ "write AT+CSQ\r", "show +CSQ: 11,99OK" }));
    // Echoed, as by a module that was reset: the report after the echo counts.
    EXPECT_EQ(Receive(Find("+CSQ: 24,99")), Events({ "bar 5", "show OK" }));

    // An incoming call: the poll pauses while it rings and while the answer is pending.
    EXPECT_EQ(Receive(Find("RING\r\n")),
        Events({ "connect on", "disconnect on", "ring", "ring timer start", "show RING" }));
    rules.OnTimer(ModemRules::PollTimerId);
    EXPECT_EQ(effects.Take(), Events());
    rules.OnConnect();
    EXPECT_EQ(effects.Take(), Events({ "write ATA\r", "disconnect on" }));
    EXPECT_EQ(Receive(WithoutEcho(Find("ATA\r\r\n"))), Events({ "settle start", "show OK" }));
    rules.OnTimer(ModemRules::SettleTimerId);
    EXPECT_EQ(effects.Take(), Events({ "connect off", "settle stop" }));

    // The far end hangs up; the late result shares its read with the next command's answer.
    const Events hungUp = Receive(Find("NO CARRIER"));
    ASSERT_EQ(hungUp.size(), 3u);
    EXPECT_EQ(hungUp[0], "disconnect off");
    EXPECT_EQ(hungUp[1], "connect off");

    rules.OnTimer(ModemRules::PollTimerId);
    EXPECT_EQ(effects.Take(), Events({ "write AT+CSQ\r" }));
    EXPECT_EQ(Receive(WithoutEcho(Find("+CSQ: 11,99"))), Events({ "bar 3", "read fields", "show " }));

    rules.OnOK();
    EXPECT_EQ(effects.Take(), Events({ "write ATH\r" }));
    EXPECT_EQ(Receive(ok), Events({ "close", "show OK" }));
    rules.OnTimer(ModemRules::PollTimerId);
    EXPECT_EQ(Receive(Find("RING\r\n")), Events());
}

TEST_F(TranscriptReplay, EveryReplyKeepsTheFlagsConsistent)
{
    rules.Start();
    for (const Reply& reply : replies) {
        SCOPED_TRACE(testing::PrintToString(reply.bytes));
        const ModemFlags before = rules.Flags();
        Receive(reply.bytes);
        const ModemFlags& after = rules.Flags();
        EXPECT_GE(after.snfsSent, before.snfsSent);
        EXPECT_GE(after.snfoSent, before.snfoSent);
        EXPECT_GE(after.csqStarted, before.csqStarted);
        EXPECT_GE(after.csqReported, before.csqReported);
        EXPECT_EQ(after.callPending, before.callPending) << "only buttons and the settle timer move it";
    }
    // The transcripts hold at least three replies with "OK", so the start-up has run to its end.
    EXPECT_EQ(rules.Flags().csqStarted, 1);
}
