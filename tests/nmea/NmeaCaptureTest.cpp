#include "nmea/NmeaParser.h"
#include "tests/nmea/NmeaCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

namespace {

template <std::size_t Width> std::string Text(const char (&field)[Width])
{
    return std::string(field, strnlen(field, Width));
}

// Feeds a whole capture through a fresh parser, sentence by sentence; false when the file is missing.
bool DecodeCapture(const std::string& name, NmeaParser& parser)
{
    const std::filesystem::path file = CaptureDirectory / name;
    if (!std::filesystem::exists(file))
        return false;
    for (const std::string& sentence : CutSentences(ReadCaptureStream(file)))
        parser.ParseSentence(sentence.data(), static_cast<int>(sentence.size()));
    return true;
}

// The captures are part of the repository: their absence is a broken checkout, not a reason to skip.
#define REQUIRE_CAPTURES()                                                                                   \
    ASSERT_TRUE(std::filesystem::is_directory(CaptureDirectory)) << "no receiver captures at " << CaptureDirectory

} // namespace

TEST(NmeaCapture, EveryCaptureDecodesSentenceBySentence)
{
    REQUIRE_CAPTURES();
    const auto files = CaptureFiles(CaptureDirectory);
    ASSERT_FALSE(files.empty()) << "no *.log in " << CaptureDirectory;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const auto sentences = CutSentences(ReadCaptureStream(file));
        EXPECT_FALSE(sentences.empty());
        NmeaParser parser;
        for (const std::string& sentence : sentences)
            parser.ParseSentence(sentence.data(), static_cast<int>(sentence.size()));
        // Four fields per satellite, in order: a slip by one field would put an azimuth or a satellite
        // number where an elevation belongs.
        GsvRecord gsv;
        parser.GetGsv(&gsv);
        for (const GsvSatellite& satellite : gsv.satellites) {
            EXPECT_TRUE(satellite.elevation >= 0 && satellite.elevation <= 90) << satellite.elevation;
            EXPECT_TRUE(satellite.azimuth >= 0 && satellite.azimuth < 360) << satellite.azimuth;
            EXPECT_TRUE(satellite.snr >= 0 && satellite.snr < 100) << satellite.snr;
        }
    }
}

// Facts read off the end of each capture by hand: the last $GP RMC, and the GSV table after the last
// cycle. Captures whose RMC comes from another talker ($GN) leave RmcRecord empty.
TEST(NmeaCapture, LastRecordsMatchTheCapture)
{
    REQUIRE_CAPTURES();
    struct Case {
        const char* file;
        const char* date;
        const char* status;
        const char* latitudeHemisphere;
        const char* longitudeHemisphere;
        std::int32_t satellitesInView;
        int slot;
        std::int32_t prn;
        std::int32_t snr;
    };
    const Case cases[] = {
        { "GPSmap-76S.log", "241011", "V", "N", "W", 10, 9, 28, 37 },
        { "ac12_binary.log", "231207", "A", "N", "W", 10, 3, 4, 0 },
        { "bu353-glonass.log", "", "", "", "", 12, 11, 15, 0 },
        { "cat-ms352.log", "231122", "A", "N", "W", 0, 0, 0, 0 },
        { "ch-4701.log", "290508", "A", "N", "E", 11, 10, 44, 0 },
        { "eXplorist110.log", "150209", "V", "N", "W", 0, 0, 0, 0 },
        { "gp-320fw-2019-04-07-coldboot.log", "220899", "V", "N", "E", 12, 8, 20, 40 },
        // The last cycle has 11 in view; slot 11 still holds satellite 5 from the 12-satellite cycle before.
        { "mtk-3301.log", "230808", "A", "N", "E", 11, 11, 5, 25 },
        { "myguide-3100.log", "081009", "A", "N", "W", 11, 0, 2, 27 },
        { "telit-he910.log", "120319", "A", "N", "E", 7, 6, 28, 46 },
        // 16 and 13 in view: the fourth message has no slot, so slot 11 keeps message 3's last satellite.
        { "ublox-8.log", "", "", "", "", 16, 11, 27, 30 },
        { "ublox-lea-5h.log", "210810", "A", "N", "E", 13, 11, 28, 30 },
        // Messages carry a trailing signal id after the fourth satellite; it is never read.
        { "ublox-zed-f9t-ubx_nmea_l5.log", "", "", "", "", 8, 7, 32, 38 },
        { "venus634lp.log", "050210", "A", "N", "E", 12, 11, 26, 36 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        NmeaParser parser;
        ASSERT_TRUE(DecodeCapture(c.file, parser)) << "capture missing";
        RmcRecord rmc;
        parser.GetRmc(&rmc);
        EXPECT_EQ(Text(rmc.date), c.date);
        EXPECT_EQ(Text(rmc.status), c.status);
        EXPECT_EQ(parser.HasNoFix(), std::strcmp(c.status, "A") != 0);
        EXPECT_EQ(Text(rmc.latitudeHemisphere), c.latitudeHemisphere);
        EXPECT_EQ(Text(rmc.longitudeHemisphere), c.longitudeHemisphere);
        GsvRecord gsv;
        parser.GetGsv(&gsv);
        EXPECT_EQ(gsv.satellitesInView, c.satellitesInView);
        EXPECT_EQ(gsv.satellites[c.slot].prn, c.prn);
        EXPECT_EQ(gsv.satellites[c.slot].snr, c.snr);
    }
}

TEST(NmeaCapture, LongPositionsAndOddValuesSurvive)
{
    REQUIRE_CAPTURES();
    NmeaParser parser;
    ASSERT_TRUE(DecodeCapture("cat-ms352.log", parser));
    RmcRecord rmc;
    parser.GetRmc(&rmc);
    EXPECT_DOUBLE_EQ(rmc.latitude, 3842.85986996);
    EXPECT_DOUBLE_EQ(rmc.longitude, 11705.43619148);
    EXPECT_DOUBLE_EQ(rmc.magneticVariation, 999.9);
    EXPECT_EQ(Text(rmc.modeIndicator), "D*");
    GgaRecord gga;
    parser.GetGga(&gga);
    EXPECT_EQ(Text(gga.fixQuality), "2");
    EXPECT_EQ(gga.satellitesUsed, 10);
    EXPECT_DOUBLE_EQ(gga.altitude, 1866.068);
    EXPECT_DOUBLE_EQ(gga.geoidSeparation, -44.296);

    // A simulator-mode handset: fix quality 8 and RMC mode 'S'.
    NmeaParser garmin;
    ASSERT_TRUE(DecodeCapture("GPSmap-76S.log", garmin));
    garmin.GetGga(&gga);
    EXPECT_EQ(Text(gga.fixQuality), "8");
    EXPECT_DOUBLE_EQ(gga.geoidSeparation, -33.9);
    garmin.GetRmc(&rmc);
    EXPECT_EQ(Text(rmc.modeIndicator), "S*");
    EXPECT_DOUBLE_EQ(rmc.magneticVariation, 10.5);
    EXPECT_EQ(Text(rmc.variationDirection), "W");
}
