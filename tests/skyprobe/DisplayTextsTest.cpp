#include "skyprobe/DisplayTexts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

// Copies text into a record field the way the decoder does: no terminator, bounded by the width.
template <std::size_t Width> void SetText(char (&field)[Width], const char* text)
{
    std::memset(field, 0, Width);
    std::memcpy(field, text, std::min(Width, std::strlen(text)));
}

RmcRecord Rmc(const char* date, const char* time, double latitude, const char* latitudeHemisphere,
    double longitude, const char* longitudeHemisphere)
{
    RmcRecord rmc {};
    SetText(rmc.date, date);
    SetText(rmc.utcTime, time);
    rmc.latitude = latitude;
    SetText(rmc.latitudeHemisphere, latitudeHemisphere);
    rmc.longitude = longitude;
    SetText(rmc.longitudeHemisphere, longitudeHemisphere);
    return rmc;
}

GsaRecord Gsa(std::int32_t fixType, double pdop, double hdop, double vdop)
{
    GsaRecord gsa {};
    gsa.fixType = fixType;
    gsa.pdop = pdop;
    gsa.hdop = hdop;
    gsa.vdop = vdop;
    return gsa;
}

} // namespace

TEST(DisplayTexts, DegreesMinutesSecondsWithoutCarry)
{
    struct Case {
        char hemisphere;
        double value;
        const char* text;
    };
    const Case cases[] = {
        { 'S', 3751.65, "S 37d 51' 39.0''" },
        { 'E', 14507.36, "E 145d 7' 21.6''" },
        { 'N', 4916.45, "N 49d 16' 27.0''" },
        { 'N', 2232.9993, "N 22d 32' 60.0''" },
        { 'W', 0.0, "W 0d 0' 0.0''" },
        { 'N', 59.99, "N 0d 59' 59.4''" },
        { 'S', -3751.5, "S -37d -51' -30.0''" },
        // Values no receiver sends stay bounded instead of hitting an undefined conversion.
        { 'N', 1e300, "N 21474836d 47' 0.0''" },
        { 'N', -1e300, "N -21474836d -48' 0.0''" },
        { 'N', std::numeric_limits<double>::infinity(), "N 21474836d 47' 0.0''" },
        { 'N', std::nan(""), "N 0d 0' 0.0''" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(FormatDegrees(c.hemisphere, c.value).ToAscii(), c.text);
    }
}

TEST(DisplayTexts, DateAndTimeEndAtTheFirstEmptyCharacter)
{
    struct Case {
        const char* date;
        const char* time;
        const char* dateText;
        const char* timeText;
    };
    const Case cases[] = {
        { "130998", "081836.250", "2098-09-13", "08:18:36" },
        { "010110", "235959", "2010-01-01", "23:59:59" },
        { "", "", "20", "" },
        { "0101", "08", "20", "08:" },
        { "12031", "1054", "201", "10:54:" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        const RmcRecord rmc = Rmc(c.date, c.time, 0, "", 0, "");
        EXPECT_EQ(FormatDate(rmc).ToAscii(), c.dateText);
        EXPECT_EQ(FormatTime(rmc).ToAscii(), c.timeText);
    }
}

TEST(DisplayTexts, NoHemisphereShowsTheNoFixTextsWhateverTheOtherRecordsSay)
{
    const RmcRecord rmc = Rmc("120319", "105459.408", 5050.4126, "", 420.8228, "E");
    GgaRecord gga {};
    gga.altitude = 102.0;
    VtgRecord vtg {};
    vtg.speedKmh = 12.5;
    const DisplayTexts texts = FormatDisplayTexts(rmc, Gsa(3, 3.5, 1.75, 3.0), gga, vtg, GsvRecord {});
    EXPECT_EQ(texts.fixModeText.ToAscii(), "No Fix");
    EXPECT_EQ(texts.latitudeText.ToAscii(), "  0d 0' 0.0''");
    EXPECT_EQ(texts.longitudeText.ToAscii(), "  0d 0' 0.0''");
    EXPECT_EQ(texts.altitudeText.ToAscii(), "0.0");
    EXPECT_EQ(texts.speedText.ToAscii(), "0.0");
    EXPECT_EQ(texts.pdopText.ToAscii(), "0");
    EXPECT_EQ(texts.hdopText.ToAscii(), "0");
    EXPECT_EQ(texts.vdopText.ToAscii(), "0");
    EXPECT_EQ(texts.dateText.ToAscii(), "2019-03-12");
    EXPECT_EQ(texts.timeText.ToAscii(), "10:54:59");
}

TEST(DisplayTexts, AHemisphereShowsTheFixEvenWhenTheStatusIsVoid)
{
    struct Case {
        std::int32_t fixType;
        const char* fixModeText;
    };
    const Case cases[]
        = { { 0, "Auto" }, { 1, "Auto" }, { 2, "2D" }, { 3, "3D" }, { 4, "Auto" }, { -3, "Auto" } };
    RmcRecord rmc = Rmc("130998", "081836.250", 3751.65, "S", 14507.36, "E");
    std::memcpy(rmc.status, "V", 1);
    GgaRecord gga {};
    gga.altitude = -12.34;
    VtgRecord vtg {};
    vtg.speedKmh = 0.01;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixType);
        const DisplayTexts texts
            = FormatDisplayTexts(rmc, Gsa(c.fixType, 3.5, 1.26, 12.04), gga, vtg, GsvRecord {});
        EXPECT_EQ(texts.fixModeText.ToAscii(), c.fixModeText);
        EXPECT_EQ(texts.latitudeText.ToAscii(), "S 37d 51' 39.0''");
        EXPECT_EQ(texts.longitudeText.ToAscii(), "E 145d 7' 21.6''");
        EXPECT_EQ(texts.pdopText.ToAscii(), "3.5");
        EXPECT_EQ(texts.hdopText.ToAscii(), "1.3");
        EXPECT_EQ(texts.vdopText.ToAscii(), "12.0");
        EXPECT_EQ(texts.altitudeText.ToAscii(), "-12.3");
        EXPECT_EQ(texts.speedText.ToAscii(), "0.0");
    }
}

TEST(DisplayTexts, OccupiedSlotsShowTheirNumberAndAskForARepaint)
{
    GsvRecord gsv {};
    const std::int32_t prns[SatelliteSlots] = { 13, 0, -4, 193, 1, 0, 0, 0, 0, 0, 0, 32 };
    for (int slot = 0; slot < SatelliteSlots; ++slot)
        gsv.satellites[slot].prn = prns[slot];
    const char* const labels[SatelliteSlots]
        = { "13", "-", "-", "193", "1", "-", "-", "-", "-", "-", "-", "32" };

    const DisplayTexts texts
        = FormatDisplayTexts(RmcRecord {}, GsaRecord {}, GgaRecord {}, VtgRecord {}, gsv);
    for (std::size_t slot = 0; slot < SatelliteSlots; ++slot) {
        SCOPED_TRACE(slot);
        EXPECT_EQ(texts.satelliteLabels[slot].ToAscii(), labels[slot]);
        EXPECT_EQ(texts.barNeedsRepaint[slot], prns[slot] > 0);
    }
}
