#include "tools/devsim/NmeaSentence.h"
#include "tools/devsim/ReceiverModel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

namespace {

using std::chrono::system_clock;

// 2024-02-29 12:34:56 UTC, a leap day, so a wrong day or month shows.
const system_clock::time_point LeapDay = system_clock::time_point(std::chrono::seconds(1709210096));

std::vector<std::string> Fields(const std::string& sentence)
{
    // "$BODY*HH\r\n" -> the comma-separated fields of BODY.
    const std::string body = sentence.substr(1, sentence.find('*') - 1);
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = body.find(',', start);
        fields.push_back(body.substr(start, comma - start));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

// Every sentence of a report by its type; GSV keeps all of its group in order.
std::map<std::string, std::vector<std::vector<std::string>>> ByType(const std::vector<std::string>& report)
{
    std::map<std::string, std::vector<std::vector<std::string>>> types;
    for (const std::string& sentence : report) {
        const std::vector<std::string> fields = Fields(sentence);
        types[fields[0]].push_back(fields);
    }
    return types;
}

// Degrees from "ddmm.mmmmm" (or "dddmm.mmmmm") and a hemisphere letter.
double Degrees(const std::string& value, const std::string& hemisphere)
{
    const double raw = std::atof(value.c_str());
    const double degrees = std::floor(raw / 100) + std::fmod(raw, 100) / 60;
    return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

double MetersBetween(double lat1, double lon1, double lat2, double lon2)
{
    const double rad = std::numbers::pi / 180;
    const double east = (lon2 - lon1) * rad * std::cos(lat1 * rad) * 6371000;
    const double north = (lat2 - lat1) * rad * 6371000;
    return std::hypot(east, north);
}

}

TEST(NmeaSentence, ChecksumMatchesRealReceivers)
{
    // Bodies and checksums as captured from real receivers.
    struct Case {
        const char* body;
        const char* framed;
    };
    const Case cases[] = {
        { "GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A",
            "$GPGLL,5155.55442,N,00434.65873,E,083723.00,A,A*6E\r\n" },
        { "GPVTG,,T,,M,0.211,N,0.391,K,A", "$GPVTG,,T,,M,0.211,N,0.391,K,A*2A\r\n" },
        { "GPGSA,A,3,27,15,09,28,18,08,,,,,,,3.33,2.51,2.20",
            "$GPGSA,A,3,27,15,09,28,18,08,,,,,,,3.33,2.51,2.20*04\r\n" },
        { "GPGSV,3,1,12,05,04,187,,08,11,078,29,09,43,270,37,12,03,212,",
            "$GPGSV,3,1,12,05,04,187,,08,11,078,29,09,43,270,37,12,03,212,*75\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        EXPECT_EQ(FinishNmeaSentence(c.body), c.framed);
    }
}

TEST(ReceiverModel, EverySentenceIsFramedAndChecksummed)
{
    const ReceiverModel receiver(50);
    for (const double seconds : { 0.0, 3.0, 5.0, 61.0, 3600.0 }) {
        for (const std::string& sentence : receiver.Report(LeapDay, seconds)) {
            SCOPED_TRACE(sentence);
            ASSERT_GE(sentence.size(), 8u);
            EXPECT_EQ(sentence.front(), '$');
            EXPECT_EQ(sentence.substr(sentence.size() - 2), "\r\n");
            // The NMEA limit of 82 characters, so any collector's 120-byte buffer holds a sentence.
            EXPECT_LE(sentence.size(), 82u);
            const std::size_t star = sentence.find('*');
            ASSERT_EQ(star, sentence.size() - 5);
            unsigned sum = 0;
            for (std::size_t i = 1; i < star; ++i)
                sum ^= static_cast<unsigned char>(sentence[i]);
            EXPECT_EQ(std::strtoul(sentence.substr(star + 1, 2).c_str(), nullptr, 16), sum);
            EXPECT_EQ(sentence.substr(star + 1, 2).find_first_not_of("0123456789ABCDEF"), std::string::npos);
        }
    }
}

TEST(ReceiverModel, ReportHoldsAllSixTypesInReceiverOrder)
{
    // A multi-constellation receiver names its combined fix GN but lists each system's satellites under
    // the system's own talker.
    using Talker = ReceiverModel::Talker;
    const std::pair<ReceiverModel::Habits, std::vector<std::string>> receivers[] = {
        { { Talker::Gps }, { "GPRMC", "GPVTG", "GPGGA", "GPGSA", "GPGSV", "GPGLL" } },
        { { Talker::Combined }, { "GNRMC", "GNVTG", "GNGGA", "GNGSA", "GPGSV", "GLGSV", "GNGLL" } },
        { { Talker::Gps, true, false }, { "GPRMC", "GPVTG", "GPGGA", "GPGSV", "GPGLL" } },
    };
    for (const auto& [habits, expected] : receivers) {
        const ReceiverModel receiver(50, habits);
        for (const double seconds : { 0.0, 10.0 }) {
            SCOPED_TRACE(testing::Message() << expected[0] << " at " << seconds << " s");
            std::vector<std::string> order;
            for (const std::string& sentence : receiver.Report(LeapDay, seconds)) {
                const std::string type = Fields(sentence)[0];
                if (order.empty() || order.back() != type)
                    order.push_back(type);
            }
            EXPECT_EQ(order, expected);
        }
    }
}

TEST(ReceiverModel, TimeAndDateComeFromTheEpoch)
{
    const ReceiverModel receiver(50);
    const auto types = ByType(receiver.Report(LeapDay + std::chrono::milliseconds(250), 20));
    EXPECT_EQ(types.at("GPRMC")[0][1], "123456.25");
    EXPECT_EQ(types.at("GPRMC")[0][9], "290224");
    EXPECT_EQ(types.at("GPGGA")[0][1], "123456.25");
    EXPECT_EQ(types.at("GPGLL")[0][5], "123456.25");
}

TEST(ReceiverModel, GsvGroupCountsAreConsistent)
{
    const ReceiverModel receiver(50);
    for (const double seconds : { 0.0, 2.5, 30.0, 900.0 }) {
        SCOPED_TRACE(seconds);
        const auto gsv = ByType(receiver.Report(LeapDay, seconds)).at("GPGSV");
        ASSERT_GE(gsv.size(), 2u) << "more than four satellites in view need several GSV sentences";
        int listed = 0;
        std::set<std::string> prns;
        for (std::size_t i = 0; i < gsv.size(); ++i) {
            EXPECT_EQ(gsv[i][1], std::to_string(gsv.size()));
            EXPECT_EQ(gsv[i][2], std::to_string(i + 1));
            EXPECT_EQ(gsv[i][3], gsv[0][3]);
            ASSERT_EQ((gsv[i].size() - 4) % 4, 0u);
            const std::size_t blocks = (gsv[i].size() - 4) / 4;
            EXPECT_GE(blocks, 1u);
            EXPECT_LE(blocks, 4u);
            if (i + 1 < gsv.size()) {
                EXPECT_EQ(blocks, 4u);
            }
            for (std::size_t b = 0; b < blocks; ++b)
                prns.insert(gsv[i][4 + 4 * b]);
            listed += static_cast<int>(blocks);
        }
        EXPECT_EQ(std::atoi(gsv[0][3].c_str()), listed);
        EXPECT_EQ(prns.size(), static_cast<std::size_t>(listed)) << "a satellite listed twice";
        EXPECT_GT(listed, 4);
    }
}

TEST(ReceiverModel, NoFixAtStartThenAFix)
{
    const ReceiverModel receiver(50);
    const auto before = ByType(receiver.Report(LeapDay, 1));
    EXPECT_EQ(before.at("GPRMC")[0][2], "V");
    EXPECT_EQ(before.at("GPRMC")[0][3], "");
    EXPECT_EQ(before.at("GPRMC")[0][5], "");
    EXPECT_EQ(before.at("GPGGA")[0][6], "0");
    EXPECT_EQ(before.at("GPGGA")[0][2], "");
    EXPECT_EQ(before.at("GPGSA")[0][2], "1");
    EXPECT_EQ(before.at("GPGSA")[0][3], "");
    EXPECT_EQ(before.at("GPGLL")[0][6], "V");

    const auto after = ByType(receiver.Report(LeapDay, ReceiverModel::NoFixSeconds + 1));
    EXPECT_EQ(after.at("GPRMC")[0][2], "A");
    EXPECT_NEAR(Degrees(after.at("GPRMC")[0][3], after.at("GPRMC")[0][4]), 52.0, 0.1);
    EXPECT_NEAR(Degrees(after.at("GPRMC")[0][5], after.at("GPRMC")[0][6]), 4.36, 0.1);
    EXPECT_EQ(after.at("GPGGA")[0][6], "1");
    EXPECT_EQ(after.at("GPGSA")[0][2], "3");
    EXPECT_EQ(after.at("GPGLL")[0][6], "A");
    EXPECT_GE(std::atoi(after.at("GPGGA")[0][7].c_str()), 4);
}

TEST(ReceiverModel, UsedSatellitesAreTrackedOnesAndSomeAreLeftOut)
{
    const ReceiverModel receiver(50);
    for (const double seconds : { 10.0, 400.0, 1700.0 }) {
        SCOPED_TRACE(seconds);
        const auto types = ByType(receiver.Report(LeapDay, seconds));
        std::map<std::string, std::string> snrByPrn;
        for (const auto& gsv : types.at("GPGSV"))
            for (std::size_t field = 4; field + 3 < gsv.size(); field += 4)
                snrByPrn[gsv[field]] = gsv[field + 3];
        const auto& gsa = types.at("GPGSA")[0];
        std::set<std::string> used;
        for (int slot = 3; slot < 15; ++slot)
            if (!gsa[static_cast<std::size_t>(slot)].empty())
                used.insert(gsa[static_cast<std::size_t>(slot)]);
        EXPECT_EQ(std::to_string(used.size()), std::to_string(std::atoi(types.at("GPGGA")[0][7].c_str())));
        int trackedUnused = 0;
        int untracked = 0;
        for (const auto& [prn, snr] : snrByPrn) {
            if (used.count(prn)) {
                EXPECT_FALSE(snr.empty()) << "satellite " << prn << " used without a signal";
            } else if (!snr.empty()) {
                ++trackedUnused;
            }
            if (snr.empty())
                ++untracked;
        }
        for (const std::string& prn : used)
            EXPECT_TRUE(snrByPrn.count(prn)) << "satellite " << prn << " used but not in view";
        EXPECT_GE(trackedUnused, 1);
        EXPECT_GE(untracked, 1);
    }
}

TEST(ReceiverModel, SatellitesMoveAndSignalsFlicker)
{
    const ReceiverModel receiver(50);
    const auto sky = [&](double seconds) {
        std::map<std::string, std::vector<std::string>> byPrn;
        const auto types = ByType(receiver.Report(LeapDay, seconds));
        for (const auto& gsv : types.at("GPGSV"))
            for (std::size_t field = 4; field + 3 < gsv.size(); field += 4)
                byPrn[gsv[field]] = { gsv[field + 1], gsv[field + 2], gsv[field + 3] };
        return byPrn;
    };
    const auto early = sky(10);
    const auto nextSecond = sky(11);
    const auto later = sky(610);
    int elevationChanges = 0;
    int azimuthChanges = 0;
    int snrChanges = 0;
    for (const auto& [prn, values] : early) {
        elevationChanges += values[0] != later.at(prn)[0];
        azimuthChanges += values[1] != later.at(prn)[1];
        snrChanges += values[2] != nextSecond.at(prn)[2];
    }
    EXPECT_GE(elevationChanges, 3);
    EXPECT_GE(azimuthChanges, 3);
    EXPECT_GE(snrChanges, 3);
}

TEST(ReceiverModel, ReportedSpeedAndCourseMatchTheMovement)
{
    struct Case {
        double kmh;
        double seconds;
    };
    const Case cases[] = { { 50, 30 }, { 50, 200 }, { 120, 77 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kmh << " km/h at " << c.seconds << " s");
        const ReceiverModel receiver(c.kmh);
        const auto now = ByType(receiver.Report(LeapDay, c.seconds)).at("GPRMC")[0];
        const auto next = ByType(receiver.Report(LeapDay, c.seconds + 1)).at("GPRMC")[0];
        const double lat1 = Degrees(now[3], now[4]);
        const double lon1 = Degrees(now[5], now[6]);
        const double lat2 = Degrees(next[3], next[4]);
        const double lon2 = Degrees(next[5], next[6]);
        const double metersPerSecond = MetersBetween(lat1, lon1, lat2, lon2);
        const double reportedMetersPerSecond = std::atof(now[7].c_str()) * 1.852 / 3.6;
        EXPECT_NEAR(metersPerSecond, reportedMetersPerSecond, 0.1 * reportedMetersPerSecond);
        EXPECT_NEAR(reportedMetersPerSecond * 3.6, c.kmh, 0.2 * c.kmh);
        const double heading
            = std::atan2((lon2 - lon1) * std::cos(lat1 * std::numbers::pi / 180), lat2 - lat1) * 180
            / std::numbers::pi;
        const double reported = std::atof(now[8].c_str());
        const double difference = std::fabs(std::remainder(heading - reported, 360.0));
        EXPECT_LT(difference, 5.0) << "heading " << heading << " reported " << reported;
    }
}

TEST(ReceiverModel, StandingStillStaysPut)
{
    const ReceiverModel receiver(0);
    const auto a = ByType(receiver.Report(LeapDay, 10)).at("GPRMC")[0];
    const auto b = ByType(receiver.Report(LeapDay, 100)).at("GPRMC")[0];
    EXPECT_EQ(a[3], b[3]);
    EXPECT_EQ(a[5], b[5]);
    EXPECT_EQ(a[7], "0.000");
}
