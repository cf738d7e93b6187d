#include "tools/devsim/ReceiverModel.h"

#include "tools/devsim/NmeaSentence.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr double KmhPerKnot = 1.852;
constexpr double GeoidSeparation = 46.0;
constexpr int GsaSlots = 12;
constexpr int SatellitesPerGsv = 4;

struct Stamp {
    char time[48]; // hhmmss.ss (room for what the compiler cannot rule out)
    char date[48]; // ddmmyy
};

Stamp MakeStamp(std::chrono::system_clock::time_point epoch)
{
    const auto since = epoch.time_since_epoch();
    const auto whole = std::chrono::floor<std::chrono::seconds>(since);
    const long centis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since - whole).count() / 10);
    const std::time_t seconds = static_cast<std::time_t>(whole.count());
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    Stamp stamp {};
    std::snprintf(
        stamp.time, sizeof stamp.time, "%02d%02d%02d.%02ld", utc.tm_hour, utc.tm_min, utc.tm_sec, centis);
    std::snprintf(
        stamp.date, sizeof stamp.date, "%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100);
    return stamp;
}

// "ddmm.mmmmm,N,dddmm.mmmmm,E": degrees and decimal minutes, as receivers write them.
std::string Position(double latitude, double longitude)
{
    const auto part = [](double value, int degreeDigits, char positive, char negative) {
        const double magnitude = std::fabs(value);
        int degrees = static_cast<int>(magnitude);
        double minutes = (magnitude - degrees) * 60.0;
        if (minutes >= 59.999995) { // would print as 60.00000
            minutes = 0;
            ++degrees;
        }
        char text[32];
        std::snprintf(text, sizeof text, "%0*d%08.5f,%c", degreeDigits, degrees, minutes,
            value < 0 ? negative : positive);
        return std::string(text);
    };
    return part(latitude, 2, 'N', 'S') + "," + part(longitude, 3, 'E', 'W');
}

std::string Format(const char* format, auto... values)
{
    char text[160];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// The satellites used, as GSA's twelve slots followed by the comma before PDOP.
std::string UsedSlots(const std::vector<SkySatellite>& satellites, int* usedCount)
{
    std::string slots;
    *usedCount = 0;
    for (const SkySatellite& satellite : satellites) {
        if (satellite.used && *usedCount < GsaSlots) {
            slots += Format("%02d,", satellite.prn);
            ++*usedCount;
        }
    }
    for (int slot = *usedCount; slot < GsaSlots; ++slot)
        slots += ',';
    return slots;
}

void AppendNoFix(
    std::vector<std::string>* report, const char* talker, const Stamp& stamp, const std::string& slots)
{
    report->push_back(FinishNmeaSentence(Format("%sRMC,%s,V,,,,,,,%s,,,N", talker, stamp.time, stamp.date)));
    report->push_back(FinishNmeaSentence(Format("%sVTG,,T,,M,,N,,K,N", talker)));
    report->push_back(FinishNmeaSentence(Format("%sGGA,%s,,,,,0,00,99.99,,,,,,", talker, stamp.time)));
    report->push_back(FinishNmeaSentence(Format("%sGSA,A,1,%s99.99,99.99,99.99", talker, slots.c_str())));
}

void AppendFix(std::vector<std::string>* report, const char* talker, const Stamp& stamp,
    const RoutePoint& point, const std::string& slots, int usedCount)
{
    const std::string position = Position(point.latitude, point.longitude);
    const double knots = point.speedKmh / KmhPerKnot;
    // Fewer satellites spread over less of the sky give a worse geometry.
    const double hdop = 0.7 + 4.0 / (usedCount > 0 ? usedCount : 1);
    const double vdop = hdop * 1.4;
    const double pdop = std::hypot(hdop, vdop);
    report->push_back(FinishNmeaSentence(Format("%sRMC,%s,A,%s,%.3f,%.2f,%s,,,A", talker, stamp.time,
        position.c_str(), knots, point.courseDegrees, stamp.date)));
    report->push_back(FinishNmeaSentence(
        Format("%sVTG,%.2f,T,,M,%.3f,N,%.3f,K,A", talker, point.courseDegrees, knots, point.speedKmh)));
    report->push_back(FinishNmeaSentence(Format("%sGGA,%s,%s,1,%02d,%.2f,%.1f,M,%.1f,M,,", talker, stamp.time,
        position.c_str(), usedCount, hdop, point.altitudeMeters, GeoidSeparation)));
    report->push_back(
        FinishNmeaSentence(Format("%sGSA,A,3,%s%.2f,%.2f,%.2f", talker, slots.c_str(), pdop, hdop, vdop)));
}

// Four satellites to a sentence, each sentence saying how many there are in the group and which it is.
void AppendGsv(std::vector<std::string>* report, const std::vector<SkySatellite>& satellites)
{
    const int inView = static_cast<int>(satellites.size());
    const int messages = (inView + SatellitesPerGsv - 1) / SatellitesPerGsv;
    for (int message = 0; message < messages; ++message) {
        std::string body = Format("GPGSV,%d,%d,%02d", messages, message + 1, inView);
        for (int i = message * SatellitesPerGsv; i < inView && i < (message + 1) * SatellitesPerGsv; ++i) {
            const SkySatellite& satellite = satellites[static_cast<std::size_t>(i)];
            body += Format(",%02d,%02d,%03d,", satellite.prn, satellite.elevation, satellite.azimuth);
            if (satellite.snr >= 0)
                body += Format("%02d", satellite.snr);
        }
        report->push_back(FinishNmeaSentence(body));
    }
}

}

ReceiverModel::ReceiverModel(double speedKmh, Talker talker)
    : route(speedKmh)
    , fixTalker(talker == Talker::Combined ? "GN" : "GP")
{
}

std::vector<std::string> ReceiverModel::Report(
    std::chrono::system_clock::time_point epoch, double sinceStart) const
{
    const Stamp stamp = MakeStamp(epoch);
    const bool fixed = sinceStart >= NoFixSeconds;
    const std::vector<SkySatellite> satellites = sky.At(sinceStart, fixed);
    int usedCount = 0;
    const std::string slots = UsedSlots(satellites, &usedCount);
    std::vector<std::string> report;
    if (!fixed) {
        AppendNoFix(&report, fixTalker, stamp, slots);
        AppendGsv(&report, satellites);
        report.push_back(FinishNmeaSentence(Format("%sGLL,,,,,%s,V,N", fixTalker, stamp.time)));
        return report;
    }
    const RoutePoint point = route.At(sinceStart);
    AppendFix(&report, fixTalker, stamp, point, slots, usedCount);
    AppendGsv(&report, satellites);
    report.push_back(FinishNmeaSentence(
        Format("%sGLL,%s,%s,A,A", fixTalker, Position(point.latitude, point.longitude).c_str(), stamp.time)));
    return report;
}
