#include "tools/devsim/SatelliteSky.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <span>

namespace {

struct Orbit {
    int prn;
    double elevationMean;
    double elevationSwing;
    double swingSeconds; // one full swing of the elevation
    double azimuthStart;
    double azimuthDrift; // degrees per second
};

// Seven satellites stay high enough for a fix; two hover near the mask and are tracked but not used; two
// sit on the horizon and mostly cannot be tracked.
constexpr Orbit Orbits[] = {
    { 2, 62, 12, 1800, 40, 0.010 },
    { 5, 40, 15, 1500, 115, -0.008 },
    { 9, 30, 10, 1200, 205, 0.012 },
    { 12, 75, 10, 2400, 300, 0.020 },
    { 15, 23, 6, 900, 160, 0.006 },
    { 17, 10, 4, 1100, 75, -0.005 },
    { 21, 48, 14, 2000, 250, -0.011 },
    { 24, 3, 3, 800, 340, 0.004 },
    { 26, 11, 3, 1300, 10, 0.007 },
    { 29, 2, 2, 700, 190, -0.003 },
    { 31, 35, 12, 1600, 270, 0.009 },
};

// Three GLONASS satellites high enough for a fix and one low on the horizon.
constexpr Orbit GlonassOrbits[] = {
    { 65, 55, 10, 2100, 20, 0.009 },
    { 71, 33, 9, 1400, 140, -0.007 },
    { 72, 24, 5, 1700, 230, 0.010 },
    { 80, 7, 3, 900, 310, 0.005 },
};

}

SatelliteSky::SatelliteSky(System skySystem)
    : system(skySystem)
{
}

std::vector<SkySatellite> SatelliteSky::At(double seconds, bool fixed) const
{
    const std::span<const Orbit> orbits
        = system == System::Glonass ? std::span<const Orbit>(GlonassOrbits) : std::span<const Orbit>(Orbits);
    std::vector<SkySatellite> sky;
    sky.reserve(orbits.size());
    for (const Orbit& orbit : orbits) {
        SkySatellite satellite;
        satellite.prn = orbit.prn;
        const double phase = 2.0 * std::numbers::pi * seconds / orbit.swingSeconds + orbit.prn;
        const double elevation = orbit.elevationMean + orbit.elevationSwing * std::sin(phase);
        satellite.elevation = std::clamp(static_cast<int>(std::lround(elevation)), 0, 90);
        const double azimuth = std::fmod(orbit.azimuthStart + orbit.azimuthDrift * seconds, 360.0);
        satellite.azimuth = static_cast<int>(std::lround(azimuth < 0 ? azimuth + 360.0 : azimuth)) % 360;
        if (seconds >= AcquireSeconds && satellite.elevation >= TrackElevation) {
            // Stronger overhead than near the horizon, with a flicker that changes every second.
            const double flicker = 3.0 * std::sin(std::floor(seconds) * 0.9 + orbit.prn * 1.7);
            const double snr = 18.0 + 0.35 * satellite.elevation + flicker;
            satellite.snr = std::clamp(static_cast<int>(std::lround(snr)), 1, 55);
        }
        satellite.used = fixed && satellite.snr >= 0 && satellite.elevation >= MaskElevation;
        sky.push_back(satellite);
    }
    return sky;
}
