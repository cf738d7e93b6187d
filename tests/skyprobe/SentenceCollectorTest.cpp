#include "skyprobe/SentenceCollector.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

struct Recorder {
    std::vector<std::string> sentences;
    SentenceCollector::Sink Sink()
    {
        return [this](const char* sentence, int length) {
            sentences.emplace_back(sentence, static_cast<std::size_t>(length));
        };
    }
};

void Feed(SentenceCollector& collector, std::string_view chunk, Recorder& recorder)
{
    collector.Feed(chunk.data(), static_cast<int>(chunk.size()), recorder.Sink());
}

// What a receiver sends once the port opens: the tail of a sentence already under way, four whole
// sentences with checksums and line ends, a binary acknowledgement of the rate frame (which holds no
// '$' but does hold bytes above 0x7F) and the start of a sentence not yet finished.
const std::string Stream = std::string("3.00,1.75,3.00*0E\r\n")
    + "$GPRMC,105459.408,A,5050.4126,N,00420.8228,E,0.00,0.0,120319,,,A*51\r\n"
    + "$GPGGA,105459.408,5050.4126,N,00420.8228,E,1,05,1.75,102.0,M,,M,,0000*70\r\n"
    + std::string("\xB5\x62\x05\x01\x02\x00\x06\x08\x16\x3F", 10)
    + "$GPGSA,A,3,13,15,17,19,20,,,,,,,,3.50,1.75,3.00*0E\r\n" + "$GPVTG,0.0,T,,M,0.00,N,0.01,K,A*0C\r\n"
    + "$GPGSV,2,1,07,13,59";

const std::vector<std::string> StreamSentences = {
    "$GPRMC,105459.408,A,5050.4126,N,00420.8228,E,0.00,0.0,120319,,,A*",
    "$GPGGA,105459.408,5050.4126,N,00420.8228,E,1,05,1.75,102.0,M,,M,,0000*",
    "$GPGSA,A,3,13,15,17,19,20,,,,,,,,3.50,1.75,3.00*",
    "$GPVTG,0.0,T,,M,0.00,N,0.01,K,A*",
};
constexpr std::string_view StreamPending = "$GPGSV,2,1,07,13,59";

} // namespace

TEST(SentenceCollector, HandsOverEachSentenceFromDollarToStar)
{
    SentenceCollector collector;
    Recorder recorder;
    Feed(collector, Stream, recorder);
    EXPECT_EQ(recorder.sentences, StreamSentences);
    EXPECT_EQ(collector.GetPendingBytes(), StreamPending);
}

TEST(SentenceCollector, ChunkBoundariesDoNotMatter)
{
    const std::string_view stream = Stream;
    for (std::size_t first = 0; first <= stream.size(); ++first) {
        for (std::size_t second = first; second <= stream.size(); ++second) {
            SentenceCollector collector;
            Recorder recorder;
            Feed(collector, stream.substr(0, first), recorder);
            Feed(collector, stream.substr(first, second - first), recorder);
            Feed(collector, stream.substr(second), recorder);
            if (recorder.sentences != StreamSentences || collector.GetPendingBytes() != StreamPending) {
                ADD_FAILURE() << "chunks end at " << first << " and " << second;
                return;
            }
        }
    }
}

TEST(SentenceCollector, CollectsAcrossChunksByTheRules)
{
    struct Case {
        const char* what;
        std::vector<std::string> chunks;
        std::vector<std::string> sentences;
        std::string pending;
    };
    const Case cases[] = {
        { "end, whole and start in one chunk", { "$GPGGA,1", "23*4F\r\n$GPRMC,0*12\r\n$GPV" },
            { "$GPGGA,123*", "$GPRMC,0*" }, "$GPV" },
        { "a chunk opening mid-sentence is skipped up to its first dollar",
            { "N,00420.8228,E*51\r\n$GPVTG,0.0*0C" }, { "$GPVTG,0.0*" }, "" },
        { "a star while waiting starts nothing", { "**\r\n*", "$GPGLL*" }, { "$GPGLL*" }, "" },
        { "a broken-off sentence is joined to the next, inner dollar kept",
            { "$GPGGA,1054", "$GPRMC,105459.408,A*51\r\n" }, { "$GPGGA,1054$GPRMC,105459.408,A*" }, "" },
        { "the shortest sentence", { "$*$", "*" }, { "$*", "$*" }, "" },
        { "no bytes at all", { "" }, {}, "" },
        { "nothing but noise", { "\r\n\x01\xFF", "" }, {}, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SentenceCollector collector;
        Recorder recorder;
        for (const std::string& chunk : c.chunks)
            Feed(collector, chunk, recorder);
        EXPECT_EQ(recorder.sentences, c.sentences);
        EXPECT_EQ(collector.GetPendingBytes(), c.pending);
    }
}

TEST(SentenceCollector, OverlongSentencesAreDroppedUntilTheNextDollar)
{
    const std::string fits = "$" + std::string(118, 'x') + "*";
    const std::string overlong = "$" + std::string(119, 'x');
    const std::string next = "$GPVTG,0.0*";
    struct Case {
        const char* what;
        std::string stream;
        std::vector<std::string> sentences;
    };
    const Case cases[] = {
        { "exactly the buffer, star last", fits + "\r\n" + next, { fits, next } },
        { "full without a star, then a star", overlong + "*\r\n" + next, { next } },
        { "full without a star, dollar right after", overlong + next, { next } },
        { "far too long with a star at the end", overlong + std::string(80, 'y') + "*\r\n" + next, { next } },
        { "a dollar inside is no rescue", "$GPGGA," + std::string(110, '0') + "$GPRMC,1*" + next, { next } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SentenceCollector collector;
        Recorder recorder;
        // One byte per chunk too, so the limit holds between calls and not only within one.
        for (const char byte : c.stream) {
            Feed(collector, std::string_view(&byte, 1), recorder);
            ASSERT_LT(collector.GetSentenceLength(), SentenceCollector::BufferSize);
        }
        EXPECT_EQ(recorder.sentences, c.sentences);
    }
}

TEST(SentenceCollector, ResetForgetsAPartialSentence)
{
    SentenceCollector collector;
    Recorder recorder;
    Feed(collector, "$GPGGA,105459", recorder);
    collector.Reset();
    Feed(collector, ".408,5050*70\r\n$GPVTG,0.0*", recorder);
    EXPECT_EQ(recorder.sentences, std::vector<std::string> { "$GPVTG,0.0*" });
}

TEST(SentenceCollector, NullOrEmptyInputFeedsNothing)
{
    SentenceCollector collector;
    Recorder recorder;
    Feed(collector, "$GP", recorder);
    collector.Feed(nullptr, 5, recorder.Sink());
    collector.Feed("*", -1, recorder.Sink());
    collector.Feed("*", 0, recorder.Sink());
    EXPECT_TRUE(recorder.sentences.empty());
    EXPECT_EQ(collector.GetPendingBytes(), "$GP");
}
