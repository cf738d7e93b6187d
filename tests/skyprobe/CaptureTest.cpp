#include "nmea/NmeaParser.h"
#include "skyprobe/DisplayTexts.h"
#include "skyprobe/SentenceCollector.h"
#include "skyprobe/SignalBars.h"
#include "tests/nmea/NmeaCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Collect(const std::string& bytes, std::mt19937* random)
{
    std::vector<std::string> sentences;
    const SentenceCollector::Sink sink = [&](const char* sentence, int length) {
        sentences.emplace_back(sentence, static_cast<std::size_t>(length));
    };
    SentenceCollector collector;
    std::uniform_int_distribution<std::size_t> chunkSize(1, 60);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t size = random ? std::min(chunkSize(*random), bytes.size() - at) : bytes.size();
        collector.Feed(bytes.data() + at, static_cast<int>(size), sink);
        at += size;
    }
    return sentences;
}

} // namespace

TEST(Capture, RandomChunksGiveTheSameSentencesAsTheWholeCapture)
{
    const auto captures = CaptureFiles();
    ASSERT_FALSE(captures.empty()) << "no receiver captures in " << CaptureDirectory;
    std::mt19937 random(20240607);
    for (const auto& path : captures) {
        SCOPED_TRACE(path.filename().string());
        const std::string bytes = ReadCaptureStream(path);
        const std::vector<std::string> whole = Collect(bytes, nullptr);
        EXPECT_FALSE(whole.empty());
        for (const std::string& sentence : whole) {
            ASSERT_GE(sentence.size(), 2u);
            ASSERT_LE(sentence.size(), static_cast<std::size_t>(SentenceCollector::BufferSize));
            ASSERT_EQ(sentence.front(), '$');
            ASSERT_EQ(sentence.back(), '*');
        }
        for (int round = 0; round < 3; ++round)
            EXPECT_EQ(Collect(bytes, &random), whole) << "round " << round;
    }
}

TEST(Capture, OverlongProprietarySentencesNeverReachTheDecoder)
{
    const auto path = CaptureDirectory / "mtk-3301.log";
    ASSERT_TRUE(std::filesystem::exists(path)) << "capture missing: " << path;
    const std::vector<std::string> sentences = Collect(ReadCaptureStream(path), nullptr);
    EXPECT_TRUE(std::none_of(sentences.begin(), sentences.end(),
        [](const std::string& sentence) { return sentence.find("PMTKCHN") != std::string::npos; }));
    EXPECT_TRUE(std::any_of(sentences.begin(), sentences.end(),
        [](const std::string& sentence) { return sentence.starts_with("$GPRMC,"); }));
}

// The whole road from bytes to what the dialog shows, against the last fix of a real capture:
// RMC 105459.408 A 5050.4126 N 00420.8228 E ... 120319; GGA altitude 102.0; VTG 0.01 km/h;
// GSA 3D with 13 15 17 19 20 and 3.50 1.75 3.00; GSV 7 in view (13 15 17 19 20 24 28).
TEST(Capture, ShowsTheLastFixOfACapture)
{
    const auto path = CaptureDirectory / "telit-he910.log";
    ASSERT_TRUE(std::filesystem::exists(path)) << "capture missing: " << path;
    const std::string bytes = ReadCaptureStream(path);
    NmeaParser parser;
    SentenceCollector collector;
    for (std::size_t at = 0; at < bytes.size(); at += 37)
        collector.Feed(bytes.data() + at, static_cast<int>(std::min<std::size_t>(37, bytes.size() - at)),
            [&](const char* sentence, int length) { parser.ParseSentence(sentence, length); });

    RmcRecord rmc;
    GsaRecord gsa;
    GgaRecord gga;
    VtgRecord vtg;
    GsvRecord gsv;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    parser.GetGga(&gga);
    parser.GetVtg(&vtg);
    parser.GetGsv(&gsv);
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    EXPECT_EQ(texts.dateText.ToAscii(), "2019-03-12");
    EXPECT_EQ(texts.timeText.ToAscii(), "10:54:59");
    EXPECT_EQ(texts.latitudeText.ToAscii(), "N 50d 50' 24.8''");
    EXPECT_EQ(texts.longitudeText.ToAscii(), "E 4d 20' 49.4''");
    EXPECT_EQ(texts.altitudeText.ToAscii(), "102.0");
    EXPECT_EQ(texts.speedText.ToAscii(), "0.0");
    EXPECT_EQ(texts.fixModeText.ToAscii(), "3D");
    EXPECT_EQ(texts.pdopText.ToAscii(), "3.5");
    EXPECT_EQ(texts.vdopText.ToAscii(), "3.0");
    const char* const labels[SatelliteSlots]
        = { "13", "15", "17", "19", "20", "24", "28", "-", "-", "-", "-", "-" };
    for (std::size_t slot = 0; slot < SatelliteSlots; ++slot)
        EXPECT_EQ(texts.satelliteLabels[slot].ToAscii(), labels[slot]) << "slot " << slot;

    std::array<BarRect, SatelliteSlots> placeholders;
    placeholders.fill({ 0, 0, 116, 9 });
    const auto bars = ComputeSignalBars(placeholders, gsv, gsa);
    const int snrs[] = { 35, 42, 33, 27, 27, 40, 46 };
    for (std::size_t slot = 0; slot < std::size(snrs); ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(bars[slot].rect.right, snrs[slot]);
        EXPECT_EQ(bars[slot].colour, slot < 5 ? UsedBarColour : UnusedBarColour);
    }
}
