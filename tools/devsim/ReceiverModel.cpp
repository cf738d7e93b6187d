#include "tools/devsim/ReceiverModel.h"

#include "tools/common/Format.h"
#include "tools/devsim/NmeaSentence.h"

#include <cmath>
#include <ctime>

namespace {

constexpr double KmhPerKnot = 1.852;
constexpr double GeoidSeparation = 46.0;
constexpr int GsaSlots = 12;
constexpr int SatellitesPerGsv = 4;

struct Stamp {
    std::string time; // hhmmss.ss
    std::string date; // ddmmyy
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
    return { Format("%02d%02d%02d.%02ld", utc.tm_hour, utc.tm_min, utc.tm_sec, centis),
        Format("%02d%02d%02d", utc.tm_mday, utc.tm_mon + 1, utc.tm_year % 100) };
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
        return Format("%0*d%08.5f,%c", degreeDigits, degrees, minutes, value < 0 ? negative : positive);
    };
    return part(latitude, 2, 'N', 'S') + "," + part(longitude, 3, 'E', 'W');
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

// Fewer satellites spread over less of the sky give a worse geometry.
struct Dilution {
    double pdop;
    double hdop;
    double vdop;
};

Dilution DilutionFor(int usedCount, bool fixed)
{
    if (!fixed)
        return { 99.99, 99.99, 99.99 };
    const double hdop = 0.7 + 4.0 / (usedCount > 0 ? usedCount : 1);
    const double vdop = hdop * 1.4;
    return { std::hypot(hdop, vdop), hdop, vdop };
}

void AppendNoFix(std::vector<std::string>* report, const char* talker, const Stamp& stamp)
{
    report->push_back(FinishNmeaSentence(
        Format("%sRMC,%s,V,,,,,,,%s,,,N", talker, stamp.time.c_str(), stamp.date.c_str())));
    report->push_back(FinishNmeaSentence(Format("%sVTG,,T,,M,,N,,K,N", talker)));
    report->push_back(
        FinishNmeaSentence(Format("%sGGA,%s,,,,,0,00,99.99,,,,,,", talker, stamp.time.c_str())));
}

void AppendFix(std::vector<std::string>* report, const char* talker, const Stamp& stamp,
    const RoutePoint& point, int usedCount)
{
    const std::string position = Position(point.latitude, point.longitude);
    const double knots = point.speedKmh / KmhPerKnot;
    report->push_back(FinishNmeaSentence(Format("%sRMC,%s,A,%s,%.3f,%.2f,%s,,,A", talker, stamp.time.c_str(),
        position.c_str(), knots, point.courseDegrees, stamp.date.c_str())));
    report->push_back(FinishNmeaSentence(
        Format("%sVTG,%.2f,T,,M,%.3f,N,%.3f,K,A", talker, point.courseDegrees, knots, point.speedKmh)));
    report->push_back(FinishNmeaSentence(
        Format("%sGGA,%s,%s,1,%02d,%.2f,%.1f,M,%.1f,M,,", talker, stamp.time.c_str(), position.c_str(),
            usedCount, DilutionFor(usedCount, true).hdop, point.altitudeMeters, GeoidSeparation)));
}

// One system's GSA; systemId is the NMEA 4.10 system id a combined receiver appends, or empty.
void AppendGsa(std::vector<std::string>* report, const char* talker, const std::string& slots,
    const Dilution& dop, bool fixed, const char* systemId)
{
    report->push_back(FinishNmeaSentence(Format("%sGSA,A,%c,%s%.2f,%.2f,%.2f%s", talker, fixed ? '3' : '1',
        slots.c_str(), dop.pdop, dop.hdop, dop.vdop, systemId)));
}

// Four satellites to a sentence, each sentence saying how many there are in the group and which it is.
void AppendGsv(
    std::vector<std::string>* report, const char* talker, const std::vector<SkySatellite>& satellites)
{
    const int inView = static_cast<int>(satellites.size());
    const int messages = (inView + SatellitesPerGsv - 1) / SatellitesPerGsv;
    for (int message = 0; message < messages; ++message) {
        std::string body = Format("%sGSV,%d,%d,%02d", talker, messages, message + 1, inView);
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

ReceiverModel::ReceiverModel(double speedKmh)
    : ReceiverModel(speedKmh, Habits {})
{
}

ReceiverModel::ReceiverModel(double speedKmh, Habits receiverHabits)
    : route(speedKmh)
    , habits(receiverHabits)
    , fixTalker(habits.talker == Talker::Combined ? "GN" : "GP")
{
}

std::vector<SkySatellite> ReceiverModel::Sky(const SatelliteSky& sky, double sinceStart, bool fixed) const
{
    std::vector<SkySatellite> satellites = sky.At(sinceStart, fixed);
    for (SkySatellite& satellite : satellites) {
        if (habits.snr >= 0 && satellite.snr >= 0)
            satellite.snr = habits.snr;
    }
    return satellites;
}

std::vector<std::string> ReceiverModel::Report(
    std::chrono::system_clock::time_point epoch, double sinceStart) const
{
    const Stamp stamp = MakeStamp(epoch);
    const bool fixed = habits.fix && sinceStart >= NoFixSeconds;
    const bool combined = habits.talker == Talker::Combined;
    const std::vector<SkySatellite> gpsSky = Sky(gps, sinceStart, fixed);
    const std::vector<SkySatellite> glonassSky
        = combined ? Sky(glonass, sinceStart, fixed) : std::vector<SkySatellite> {};
    int gpsUsed = 0;
    int glonassUsed = 0;
    const std::string gpsSlots = UsedSlots(gpsSky, &gpsUsed);
    const std::string glonassSlots = UsedSlots(glonassSky, &glonassUsed);
    const Dilution dop = DilutionFor(gpsUsed + glonassUsed, fixed);
    std::vector<std::string> report;
    const RoutePoint point = route.At(sinceStart);
    if (fixed)
        AppendFix(&report, fixTalker, stamp, point, gpsUsed + glonassUsed);
    else
        AppendNoFix(&report, fixTalker, stamp);
    if (habits.gsa) {
        AppendGsa(&report, fixTalker, gpsSlots, dop, fixed, combined ? ",1" : "");
        if (combined)
            AppendGsa(&report, fixTalker, glonassSlots, dop, fixed, ",2");
    }
    AppendGsv(&report, "GP", gpsSky);
    if (combined)
        AppendGsv(&report, "GL", glonassSky);
    if (fixed)
        report.push_back(FinishNmeaSentence(Format("%sGLL,%s,%s,A,A", fixTalker,
            Position(point.latitude, point.longitude).c_str(), stamp.time.c_str())));
    else
        report.push_back(FinishNmeaSentence(Format("%sGLL,,,,,%s,V,N", fixTalker, stamp.time.c_str())));
    return report;
}
