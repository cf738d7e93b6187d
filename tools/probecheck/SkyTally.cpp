#include "tools/probecheck/SkyTally.h"

#include <algorithm>

namespace {

constexpr int SatellitesPerGsv = 4;
// System ids of NMEA 4.10 and 4.11 in GSA, and the talker of each.
constexpr const char* SystemTalkers[] = { "", "GP", "GL", "GA", "GB", "GQ", "GI" };
// Before NMEA 4.10 a combined GSA named GLONASS satellites by numbers 65 to 96.
constexpr int FirstGlonassNumber = 65;
constexpr int LastGlonassNumber = 96;

} // namespace

std::string SkyTally::System(std::string_view talker)
{
    return talker == "BD" ? "GB" : std::string(talker);
}

void SkyTally::OnGsv(std::string_view talker, int signal, const GsvRecord& gsv, int messageNumber)
{
    std::vector<Satellite>& cycle = cycles[{ System(talker), signal }];
    if (messageNumber <= 1)
        cycle.clear();
    const int first = SatellitesPerGsv * (messageNumber - 1);
    for (int slot = std::max(first, 0); slot < first + SatellitesPerGsv && slot < gsv.satellitesInView;
         ++slot) {
        if (slot >= static_cast<int>(std::size(gsv.satellites)))
            break;
        const GsvSatellite& satellite = gsv.satellites[slot];
        if (satellite.prn > 0)
            cycle.push_back(
                { System(talker), satellite.prn, satellite.elevation, satellite.azimuth, satellite.snr });
    }
    OnOtherSentence();
}

void SkyTally::OnGsa(std::string_view talker, int systemId, const GsaRecord& gsa)
{
    if (!inGsaRun) {
        used.clear();
        fixMode = 0;
    }
    inGsaRun = true;
    gsaSeen = true;
    fixMode = std::max(fixMode, static_cast<int>(gsa.fixType));
    for (const std::int32_t id : gsa.satelliteIds) {
        if (id <= 0)
            continue;
        std::string system = System(talker);
        if (systemId > 0 && systemId < static_cast<int>(std::size(SystemTalkers)))
            system = SystemTalkers[systemId];
        else if (system == "GN")
            system = id >= FirstGlonassNumber && id <= LastGlonassNumber ? "GL" : "GP";
        used.insert({ system, id });
    }
}

std::vector<SkyTally::Satellite> SkyTally::InView() const
{
    std::map<Key, Satellite> unique;
    for (const auto& [cycle, satellites] : cycles) {
        for (const Satellite& satellite : satellites) {
            Satellite& kept
                = unique.try_emplace({ satellite.system, satellite.prn }, satellite).first->second;
            kept.snr = std::max(kept.snr, satellite.snr);
        }
    }
    std::vector<Satellite> all;
    for (auto& [key, satellite] : unique) {
        satellite.used = used.count(key) > 0;
        all.push_back(satellite);
    }
    return all;
}

int SkyTally::AtLeast(int snr) const
{
    int count = 0;
    for (const Satellite& satellite : InView())
        count += satellite.snr >= snr ? 1 : 0;
    return count;
}
