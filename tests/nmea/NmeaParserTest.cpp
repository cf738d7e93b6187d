#include "nmea/NmeaParser.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

void Parse(NmeaParser& parser, std::string_view sentence)
{
    parser.ParseSentence(sentence.data(), static_cast<int>(sentence.size()));
}

// A text field's characters: up to the first zero byte, never past the field's width.
template <std::size_t Width> std::string Text(const char (&field)[Width])
{
    return std::string(field, strnlen(field, Width));
}

// Everything a parser hands out. Copied into zeroed storage, so two snapshots compare byte for byte.
struct Snapshot {
    RmcRecord rmc;
    GgaRecord gga;
    GllRecord gll;
    GsaRecord gsa;
    GsvRecord gsv;
    VtgRecord vtg;
    std::int32_t gsvMessageCount;
    std::int32_t gsvMessageNumber;
};

Snapshot Take(const NmeaParser& parser)
{
    Snapshot snapshot;
    std::memset(&snapshot, 0, sizeof snapshot);
    parser.GetRmc(&snapshot.rmc);
    parser.GetGga(&snapshot.gga);
    parser.GetGll(&snapshot.gll);
    parser.GetGsa(&snapshot.gsa);
    parser.GetGsv(&snapshot.gsv);
    parser.GetVtg(&snapshot.vtg);
    snapshot.gsvMessageCount = parser.GetGsvMessageCount();
    snapshot.gsvMessageNumber = parser.GetGsvMessageNumber();
    return snapshot;
}

template <typename Record> bool Same(const Record& a, const Record& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Names the records that differ between two snapshots ("none" when nothing changed), so a dispatch
// test can say which decoder ran.
std::string ChangedRecords(const Snapshot& before, const Snapshot& after)
{
    std::string changed;
    const auto note = [&changed](bool same, const char* name) {
        if (!same)
            changed += changed.empty() ? name : std::string(" ") + name;
    };
    note(Same(before.rmc, after.rmc), "RMC");
    note(Same(before.gga, after.gga), "GGA");
    note(Same(before.gll, after.gll), "GLL");
    note(Same(before.gsa, after.gsa), "GSA");
    note(Same(before.gsv, after.gsv) && before.gsvMessageCount == after.gsvMessageCount
            && before.gsvMessageNumber == after.gsvMessageNumber,
        "GSV");
    note(Same(before.vtg, after.vtg), "VTG");
    return changed.empty() ? "none" : changed;
}

const char* const OneOfEach[] = {
    "$GPRMC,081836.250,A,3751.6500,S,14507.3600,E,0.00,360.00,130998,011.3,E,A*",
    "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*",
    "$GPGLL,4916.45,N,12311.12,W,225444,A,A*",
    "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*",
    "$GPGSV,3,1,12,01,40,083,46,02,17,308,41,03,07,344,39,04,11,010,35*",
    "$GPGSV,3,2,12,05,40,083,46,06,17,308,41,07,07,344,39,08,11,010,35*",
    "$GPGSV,3,3,12,09,40,083,46,10,17,308,41,11,07,344,39,12,11,010,35*",
    "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*",
};

void FillAll(NmeaParser& parser)
{
    for (const char* sentence : OneOfEach)
        Parse(parser, sentence);
}

} // namespace

TEST(NmeaParser, DecodesRmcFieldByField)
{
    NmeaParser parser;
    Parse(parser, "$GPRMC,081836.250,A,3751.6500,S,14507.3600,E,0.00,360.00,130998,011.3,E,A*");
    RmcRecord rmc;
    parser.GetRmc(&rmc);
    EXPECT_EQ(std::string_view(rmc.utcTime, sizeof rmc.utcTime), "081836.250");
    EXPECT_EQ(Text(rmc.status), "A");
    EXPECT_DOUBLE_EQ(rmc.latitude, 3751.65);
    EXPECT_EQ(Text(rmc.latitudeHemisphere), "S");
    EXPECT_DOUBLE_EQ(rmc.longitude, 14507.36);
    EXPECT_EQ(Text(rmc.longitudeHemisphere), "E");
    EXPECT_DOUBLE_EQ(rmc.speedKnots, 0.0);
    EXPECT_DOUBLE_EQ(rmc.courseDegrees, 360.0);
    EXPECT_EQ(Text(rmc.date), "130998");
    EXPECT_DOUBLE_EQ(rmc.magneticVariation, 11.3);
    EXPECT_EQ(Text(rmc.variationDirection), "E");
    EXPECT_EQ(Text(rmc.modeIndicator), "A*");
}

TEST(NmeaParser, MissingTrailingFieldsAndCutSentencesLeaveZeros)
{
    // Each sentence follows a complete RMC, so a zero proves the record was cleared, not just untouched.
    struct Case {
        const char* sentence;
        double latitude;
        std::string latitudeHemisphere;
        double longitude;
        double courseDegrees;
        std::string date;
        double magneticVariation;
        std::string variationDirection;
        std::string modeIndicator;
    };
    const Case cases[] = {
        { "$GPRMC,081836.250,A,3751.6500,S,14507.3600,E,0.00,360.00,130998,,*", 3751.65, "S", 14507.36, 360.0,
            "130998", 0.0, "*", "" },
        { "$GPRMC,081836.250,A,3751.6500*", 3751.65, "", 0.0, 0.0, "", 0.0, "", "" },
        { "$GPRMC,*", 0.0, "", 0.0, 0.0, "", 0.0, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        NmeaParser parser;
        FillAll(parser);
        Parse(parser, c.sentence);
        RmcRecord rmc;
        parser.GetRmc(&rmc);
        EXPECT_DOUBLE_EQ(rmc.latitude, c.latitude);
        EXPECT_EQ(Text(rmc.latitudeHemisphere), c.latitudeHemisphere);
        EXPECT_DOUBLE_EQ(rmc.longitude, c.longitude);
        EXPECT_DOUBLE_EQ(rmc.courseDegrees, c.courseDegrees);
        EXPECT_EQ(Text(rmc.date), c.date);
        EXPECT_DOUBLE_EQ(rmc.magneticVariation, c.magneticVariation);
        EXPECT_EQ(Text(rmc.variationDirection), c.variationDirection);
        EXPECT_EQ(Text(rmc.modeIndicator), c.modeIndicator);
    }
}

TEST(NmeaParser, DecodesGgaGllAndVtgFieldByField)
{
    NmeaParser parser;
    Parse(parser, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,-46.9,M,,*");
    Parse(parser, "$GPGLL,4916.45,N,12311.12,W,225444,A,A*");
    Parse(parser, "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K,A*");

    GgaRecord gga;
    parser.GetGga(&gga);
    EXPECT_EQ(Text(gga.utcTime), "123519");
    EXPECT_DOUBLE_EQ(gga.latitude, 4807.038);
    EXPECT_EQ(Text(gga.latitudeHemisphere), "N");
    EXPECT_DOUBLE_EQ(gga.longitude, 1131.0);
    EXPECT_EQ(Text(gga.longitudeHemisphere), "E");
    EXPECT_EQ(Text(gga.fixQuality), "1");
    EXPECT_EQ(gga.satellitesUsed, 8);
    EXPECT_DOUBLE_EQ(gga.hdop, 0.9);
    EXPECT_DOUBLE_EQ(gga.altitude, 545.4);
    EXPECT_EQ(Text(gga.altitudeUnit), "M");
    EXPECT_DOUBLE_EQ(gga.geoidSeparation, -46.9);
    EXPECT_EQ(Text(gga.geoidUnit), "M");

    GllRecord gll;
    parser.GetGll(&gll);
    EXPECT_DOUBLE_EQ(gll.latitude, 4916.45);
    EXPECT_EQ(Text(gll.latitudeHemisphere), "N");
    EXPECT_DOUBLE_EQ(gll.longitude, 12311.12);
    EXPECT_EQ(Text(gll.longitudeHemisphere), "W");
    EXPECT_EQ(Text(gll.utcTime), "225444");
    EXPECT_EQ(Text(gll.status), "A");

    VtgRecord vtg;
    parser.GetVtg(&vtg);
    EXPECT_DOUBLE_EQ(vtg.courseTrue, 54.7);
    EXPECT_EQ(Text(vtg.courseTrueRef), "T");
    EXPECT_DOUBLE_EQ(vtg.courseMagnetic, 34.4);
    EXPECT_EQ(Text(vtg.courseMagneticRef), "M");
    EXPECT_DOUBLE_EQ(vtg.speedKnots, 5.5);
    EXPECT_EQ(Text(vtg.speedKnotsUnit), "N");
    EXPECT_DOUBLE_EQ(vtg.speedKmh, 10.2);
    EXPECT_EQ(Text(vtg.speedKmhUnit), "K");
    EXPECT_EQ(Text(vtg.modeIndicator), "A*");
}

TEST(NmeaParser, GsaKeepsSatelliteSlotsByPosition)
{
    NmeaParser parser;
    FillAll(parser);
    Parse(parser, "$GPGSA,M,2,07,02,26,,,,,,,,,,3.6,2.7,2.4*");
    GsaRecord gsa;
    parser.GetGsa(&gsa);
    EXPECT_EQ(Text(gsa.selectionMode), "M");
    EXPECT_EQ(gsa.fixType, 2);
    const std::int32_t expectedIds[12] = { 7, 2, 26, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    for (int slot = 0; slot < 12; ++slot)
        EXPECT_EQ(gsa.satelliteIds[slot], expectedIds[slot]) << "slot " << slot;
    EXPECT_DOUBLE_EQ(gsa.pdop, 3.6);
    EXPECT_DOUBLE_EQ(gsa.hdop, 2.7);
    EXPECT_DOUBLE_EQ(gsa.vdop, 2.4);
}

TEST(NmeaParser, DispatchesOnHeaderOnly)
{
    constexpr int Whole = std::numeric_limits<int>::min();
    constexpr NmeaTalkers All = NmeaTalkers::AllSystems;
    struct Case {
        const char* sentence;
        int length; // Whole: the text up to its terminating zero
        const char* changed;
        NmeaTalkers talkers = NmeaTalkers::GpsOnly;
    };
    const Case cases[] = {
        { "$GPRMC,1,A*", Whole, "RMC" },
        // Every satellite system's talker once they are asked for; the GP talker either way.
        { "$GNRMC,081836.250,A,3751.6500,S*", Whole, "RMC", All },
        { "$GLGSV,3,1,10,65,40,083,46*", Whole, "GSV", All },
        { "$GAGSV,1,1,01,05,40,083,46*", Whole, "GSV", All },
        { "$BDGSA,A,3,01,02*", Whole, "GSA", All },
        { "$GBGSV,1,1,01,05,40,083,46*", Whole, "GSV", All },
        { "$GQGGA,1,2*", Whole, "GGA", All },
        { "$GIGSV,1,1,01,05,40,083,46*", Whole, "GSV", All },
        { "$GPVTG,1,T*", Whole, "VTG", All },
        { "$GXRMC,1,A*", Whole, "none", All },
        { "$PMTK001,604,3*", Whole, "none", All },
        { "$GPZDA,201530.00,04,07,2002,00,00*", Whole, "none" },
        { "$GNRMC,081836.250,A,3751.6500,S*", Whole, "none" },
        { "$GLGSV,3,1,10,65,40,083,46*", Whole, "none" },
        { "$PMTK001,604,3*", Whole, "none" },
        { "$GPTXT,01,01,02,RMC GGA*", Whole, "none" },
        // Which name wins when a damaged header holds several: the first in RMC, GGA, GLL, GSA, GSV, VTG.
        { "$GPVTGRMC,1,A*", Whole, "RMC" },
        { "$GPGSVGGA,1,2*", Whole, "GGA" },
        { "$GPVTGGLL,1,N*", Whole, "GLL" },
        { "$GPGSVGSA,A,3*", Whole, "GSA" },
        { "$GPVTGGSV,1,1,1,5,6,7,8*", Whole, "GSV" },
        // A name counts only after position 0; "$GP" may sit anywhere, and the checksum never matters.
        { "RMC$GPGGA,1,2*", Whole, "GGA" },
        { "xx$GPGLL,1,N*", Whole, "GLL" },
        { "$GPRMC,1,A*00", Whole, "RMC" },
        // Bytes that are not ASCII, or a zero byte, are ordinary characters to the header search.
        { "\xff$GPRMC,1,A*", Whole, "RMC" },
        { "$G\xffPRMC,1,A*", Whole, "none" },
        { "$GP\0RMC,1,A*", 12, "RMC" },
        { "$G\0PRMC,1,A*", 12, "none" },
        // The header ends at length: no comma, no fields, nothing decoded.
        { "$GPRMC*", Whole, "none" },
        { "$GPRMC,1,A*", 6, "none" },
        { "$GPRMC,1,A*", 5, "none" },
        { "$GPRMC,1,A*", 0, "none" },
        { "$GPRMC,1,A*", -3, "none" },
        { nullptr, 12, "none" },
    };
    for (const Case& c : cases) {
        const int length = c.length == Whole ? static_cast<int>(std::strlen(c.sentence)) : c.length;
        SCOPED_TRACE(c.sentence ? std::string(c.sentence, length > 0 ? length : 0) : "(null)");
        NmeaParser parser;
        FillAll(parser);
        parser.SetTalkers(c.talkers);
        const Snapshot before = Take(parser);
        const std::uint32_t decodedBefore = parser.GetDecodedCount();
        const std::uint32_t ignoredBefore = parser.GetIgnoredCount();
        parser.ParseSentence(c.sentence, length);
        EXPECT_EQ(ChangedRecords(before, Take(parser)), c.changed);
        // Each call counts once, as decoded exactly when a record was rewritten.
        const bool decoded = std::string_view(c.changed) != "none";
        EXPECT_EQ(parser.GetDecodedCount() - decodedBefore, decoded ? 1u : 0u);
        EXPECT_EQ(parser.GetIgnoredCount() - ignoredBefore, decoded ? 0u : 1u);
    }
}

TEST(NmeaParser, CheckedSentencesAreDecodedOnlyWhenTheirChecksumHolds)
{
    struct Case {
        std::string sentence;
        const char* changed;
    };
    const Case cases[] = {
        // As captured from a real receiver; the digits may be written in either case.
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*6E", "GLL" },
        { "$GPVTG,,T,,M,0.211,N,0.391,K,A*2a", "VTG" },
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*6F", "none" },
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.01,A,A*6E", "none" }, // a damaged field
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*6G", "none" },
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*", "none" },
        { "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A", "none" },
        { "GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*6E", "none" },
        { "$*00", "none" }, // framed and summed right, but no fields
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        NmeaParser parser;
        FillAll(parser);
        const Snapshot before = Take(parser);
        const std::uint32_t decoded = parser.GetDecodedCount();
        const bool held = parser.ParseCheckedSentence(c.sentence.data(), static_cast<int>(c.sentence.size()));
        EXPECT_EQ(ChangedRecords(before, Take(parser)), c.changed);
        const bool good = std::string_view(c.changed) != "none" || c.sentence == "$*00";
        EXPECT_EQ(held, good);
        EXPECT_EQ(parser.GetBadChecksumCount(), good ? 0u : 1u);
        EXPECT_EQ(parser.GetDecodedCount() - decoded, std::string_view(c.changed) != "none" ? 1u : 0u);
    }
}

TEST(NmeaParser, HeaderScanNeverReadsPastLength)
{
    // Exactly sized heap buffers without a comma: under AddressSanitizer a read past the end is fatal.
    for (const std::string_view text :
        { std::string_view("$GPRMC"), std::string_view("$"), std::string_view("GP") }) {
        SCOPED_TRACE(std::string(text));
        const std::unique_ptr<char[]> buffer(new char[text.size()]);
        std::memcpy(buffer.get(), text.data(), text.size());
        NmeaParser parser;
        const Snapshot before = Take(parser);
        parser.ParseSentence(buffer.get(), static_cast<int>(text.size()));
        EXPECT_EQ(ChangedRecords(before, Take(parser)), "none");
    }
}

TEST(NmeaParser, DecodingOneTypeLeavesTheOthersAlone)
{
    for (const char* sentence : OneOfEach) {
        SCOPED_TRACE(sentence);
        NmeaParser parser;
        FillAll(parser);
        Parse(parser, "$GPRMC,000000.000,V,,,,,,,,,,*");
        Parse(parser, "$GPGGA,000000,,,,,0,,,,,,,,*");
        Parse(parser, "$GPGLL,,,,,000000,V*");
        Parse(parser, "$GPGSA,A,1,,,,,,,,,,,,,,,*");
        Parse(parser, "$GPGSV,1,1,00*");
        Parse(parser, "$GPVTG,,,,,,,,,N*");
        const Snapshot before = Take(parser);
        Parse(parser, sentence);
        const std::string_view header(sentence + 3, 3);
        EXPECT_EQ(ChangedRecords(before, Take(parser)), std::string(header));
    }
}

TEST(NmeaParser, ConvertsNumbersLeniently)
{
    struct Case {
        const char* field;
        double asDouble;
        std::int32_t asInt;
    };
    const Case cases[] = {
        { "3751.6500", 3751.65, 3751 },
        { "", 0.0, 0 },
        { "abc", 0.0, 0 },
        { " 7", 0.0, 0 },
        { "12.5*", 12.5, 12 },
        { "+5", 5.0, 5 },
        { "-3.25", -3.25, -3 },
        { "+-5", 0.0, 0 },
        { "1e3", 1000.0, 1 },
        { "2.5E-1", 0.25, 2 },
        { "1e", 1.0, 1 },
        { "1e+*", 1.0, 1 },
        { ".5", 0.5, 0 },
        { "5.", 5.0, 5 },
        { "-", 0.0, 0 },
        { ".", 0.0, 0 },
        { "1.2.3", 1.2, 1 },
        { "0x10", 0.0, 0 },
        { "inf", 0.0, 0 },
        { "nan", 0.0, 0 },
        { "1e999", 0.0, 1 },
        { "2147483647", 2147483647.0, std::numeric_limits<std::int32_t>::max() },
        { "-2147483648", -2147483648.0, std::numeric_limits<std::int32_t>::min() },
        { "2147483648", 2147483648.0, 0 },
        // The scratch holds 20 characters: a field of 20 converts, a longer one is dropped as 0.
        { "12345678901234567890", 12345678901234567890.0, 0 },
        { "00000000000000000042", 42.0, 42 },
        { "000000000000000000042", 0.0, 0 },
        { "0.000000000000000000000001", 0.0, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("field '") + c.field + "'");
        NmeaParser parser;
        // courseTrue is a double and satellitesUsed an int32; both fields end at a comma.
        Parse(parser, std::string("$GPVTG,") + c.field + ",T*");
        Parse(parser, std::string("$GPGGA,,,,,,,") + c.field + ",1.0*");
        VtgRecord vtg;
        parser.GetVtg(&vtg);
        GgaRecord gga;
        parser.GetGga(&gga);
        EXPECT_EQ(vtg.courseTrue, c.asDouble);
        EXPECT_EQ(Text(vtg.courseTrueRef), "T*");
        EXPECT_EQ(gga.satellitesUsed, c.asInt);
        EXPECT_DOUBLE_EQ(gga.hdop, 1.0);
    }
}

TEST(NmeaParser, PlainDecimalsMatchTheCLibraryConversion)
{
    // Random digits, points and signs up to the scratch size, against strtod in the "C" locale: the
    // same longest-prefix rule, so any rounding slip in the decoder's own conversion shows up here.
    std::mt19937 random(20260611);
    const std::string_view alphabet = "01234567890123456789012345678901234567899.-+";
    for (int round = 0; round < 20000; ++round) {
        std::string field(1 + random() % 20, '0');
        for (char& character : field)
            character = alphabet[random() % alphabet.size()];
        NmeaParser parser;
        Parse(parser, "$GPVTG," + field + ",T*");
        VtgRecord vtg;
        parser.GetVtg(&vtg);
        ASSERT_EQ(vtg.courseTrue, std::strtod(field.c_str(), nullptr)) << "field '" << field << "'";
    }
}

TEST(NmeaParser, OverlongTextFieldsAreCutToTheirWidth)
{
    NmeaParser parser;
    FillAll(parser);
    const Snapshot before = Take(parser);
    // Every text field too long; the last one would run into whatever follows the record in memory.
    // GGA goes first: RmcRecord sits just before GgaRecord, so an RMC overrun would show in GGA's time.
    Parse(parser, "$GPGGA,1,2,3,4,5,6,7,8,9,10,11,GEOID_UNIT_TOO_LONG*");
    Parse(parser,
        "$GPRMC,081836.250999999,ABCDEFGHIJ,3751.65,SOUTH_OF_HERE,14507.36,EASTWARD_HO,1.5,2.5,"
        "13099812345,11.3,EW,ABCDEFGHIJKLMNOP*");
    RmcRecord rmc;
    parser.GetRmc(&rmc);
    EXPECT_EQ(std::string_view(rmc.utcTime, sizeof rmc.utcTime), "081836.250");
    EXPECT_EQ(std::string_view(rmc.status, sizeof rmc.status), "ABCDEF");
    EXPECT_DOUBLE_EQ(rmc.latitude, 3751.65);
    EXPECT_EQ(std::string_view(rmc.latitudeHemisphere, 8), "SOUTH_OF");
    EXPECT_DOUBLE_EQ(rmc.longitude, 14507.36);
    EXPECT_DOUBLE_EQ(rmc.speedKnots, 1.5);
    EXPECT_DOUBLE_EQ(rmc.courseDegrees, 2.5);
    EXPECT_EQ(std::string_view(rmc.date, sizeof rmc.date), "13099812");
    EXPECT_DOUBLE_EQ(rmc.magneticVariation, 11.3);
    EXPECT_EQ(std::string_view(rmc.variationDirection, 1), "E");
    EXPECT_EQ(std::string_view(rmc.modeIndicator, sizeof rmc.modeIndicator), "ABCDEFG");
    GgaRecord gga;
    parser.GetGga(&gga);
    EXPECT_EQ(Text(gga.utcTime), "1");
    EXPECT_EQ(std::string_view(gga.geoidUnit, sizeof gga.geoidUnit), "GEOID_UN");
    const Snapshot after = Take(parser);
    EXPECT_EQ(ChangedRecords(before, after), "RMC GGA");
}

TEST(NmeaParser, GsvMessagesFillTheirOwnSlots)
{
    struct Case {
        const char* sentence;
        std::int32_t count;
        std::int32_t number;
        std::int32_t inView;
        std::int32_t prns[12]; // after this message, starting from slots 1..12 of a full cycle
    };
    const Case cases[] = {
        { "$GPGSV,3,3,10,29,30,110,42,31,12,320,*", 3, 3, 10, { 1, 2, 3, 4, 5, 6, 7, 8, 29, 31, 11, 12 } },
        { "$GPGSV,1,1,03,21,40,083,46,22,17,308,41,23,07,344,39*", 1, 1, 3,
            { 21, 22, 23, 4, 5, 6, 7, 8, 9, 10, 11, 12 } },
        { "$GPGSV,2,2,07,20,25,301,28,24,43,270,40,28,39,054,46*", 2, 2, 7,
            { 1, 2, 3, 4, 20, 24, 28, 8, 9, 10, 11, 12 } },
        // Slots outside the table are dropped: a fourth message, message 0, absurd message numbers.
        { "$GPGSV,4,4,13,33,28,204,38*", 4, 4, 13, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 } },
        { "$GPGSV,1,0,03,33,28,204,38,34,28,204,38*", 1, 0, 3, { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 } },
        { "$GPGSV,9,2147483647,2147483647,33,1,2,3*", 9, 2147483647, 2147483647,
            { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 } },
        { "$GPGSV,9,-2147483648,5,33,1,2,3*", 9, std::numeric_limits<std::int32_t>::min(), 5,
            { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12 } },
        { "$GPGSV,3,3,2147483647,41,1,2,3,42,1,2,3,43,1,2,3,44,1,2,3*", 3, 3, 2147483647,
            { 1, 2, 3, 4, 5, 6, 7, 8, 41, 42, 43, 44 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        NmeaParser parser;
        FillAll(parser);
        const Snapshot before = Take(parser);
        Parse(parser, c.sentence);
        EXPECT_EQ(ChangedRecords(before, Take(parser)), "GSV") << "a slot past the table spills elsewhere";
        EXPECT_EQ(parser.GetGsvMessageCount(), c.count);
        EXPECT_EQ(parser.GetGsvMessageNumber(), c.number);
        GsvRecord gsv;
        parser.GetGsv(&gsv);
        EXPECT_EQ(gsv.satellitesInView, c.inView);
        for (int slot = 0; slot < 12; ++slot)
            EXPECT_EQ(gsv.satellites[slot].prn, c.prns[slot]) << "slot " << slot;
    }
}

TEST(NmeaParser, GsvSatelliteWithoutSignalStillDecodesTheNextOne)
{
    NmeaParser parser;
    Parse(parser, "$GPGSV,1,1,02,05,40,083,,07,17,308,41*");
    GsvRecord gsv;
    parser.GetGsv(&gsv);
    const GsvSatellite expected[2] = { { 5, 40, 83, 0 }, { 7, 17, 308, 41 } };
    for (int slot = 0; slot < 2; ++slot) {
        SCOPED_TRACE("slot " + std::to_string(slot));
        EXPECT_EQ(gsv.satellites[slot].prn, expected[slot].prn);
        EXPECT_EQ(gsv.satellites[slot].elevation, expected[slot].elevation);
        EXPECT_EQ(gsv.satellites[slot].azimuth, expected[slot].azimuth);
        EXPECT_EQ(gsv.satellites[slot].snr, expected[slot].snr);
    }
}

TEST(NmeaParser, HasNoFixFollowsTheLastRmcStatus)
{
    NmeaParser parser;
    EXPECT_TRUE(parser.HasNoFix());
    Parse(parser, "$GPRMC,081836.250,A,3751.6500,S*");
    EXPECT_FALSE(parser.HasNoFix());
    Parse(parser, "$GNRMC,081837.250,V,3751.6500,S*");
    EXPECT_FALSE(parser.HasNoFix()) << "another talker's RMC must not count";
    Parse(parser, "$GPRMC,081838.250,V,3751.6500,S*");
    EXPECT_TRUE(parser.HasNoFix());
    Parse(parser, "$GPRMC,081839.250,A*");
    EXPECT_FALSE(parser.HasNoFix());
    Parse(parser, "$GPRMC,081840.250,,3751.6500,S*");
    EXPECT_TRUE(parser.HasNoFix());
}

TEST(NmeaParser, DecimalPointIsADotUnderAnyLocale)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    struct RestoreLocale {
        ~RestoreLocale() { std::setlocale(LC_ALL, "C"); }
    } restore;
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the test needs a decimal-comma locale";

    NmeaParser parser;
    Parse(parser, "$GPRMC,081836.250,A,3751.65,S,14507.36,E,0.5,360.00,130998,011.3,E,A*");
    RmcRecord rmc;
    parser.GetRmc(&rmc);
    EXPECT_EQ(rmc.latitude, 3751.65);
    EXPECT_EQ(rmc.longitude, 14507.36);
    EXPECT_EQ(rmc.speedKnots, 0.5);
}
