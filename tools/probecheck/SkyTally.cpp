#include "tools/probecheck/SkyTally.h"

#include <algorithm>

namespace {

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

void SkyTally::OnGsv(std::string_view talker, int signal, int messageNumber, int messageCount,
    const std::vector<Satellite>& listed)
{
    Cycle& cycle = cycles[{ System(talker), signal }];
    if (messageNumber <= 1)
        cycle.pending.clear();
    for (Satellite satellite : listed) {
        if (satellite.prn <= 0)
            continue;
        satellite.system = System(talker);
        cycle.pending.push_back(satellite);
    }
    if (messageNumber >= messageCount) {
        cycle.complete = std::move(cycle.pending);
        cycle.pending.clear();
        cycle.completed = true;
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
    for (const auto& [key, cycle] : cycles) {
        for (const Satellite& satellite : cycle.completed ? cycle.complete : cycle.pending) {
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
