#pragma once

#include <vector>

// One satellite as the receiver reports it in GSV and GSA.
struct SkySatellite {
    int prn = 0;
    int elevation = 0; // degrees above the horizon, 0 to 90
    int azimuth = 0; // degrees from true north, 0 to 359
    int snr = -1; // dB-Hz; -1 when not tracked (an empty field)
    bool used = false; // part of the fix
};

// The satellites of one satellite system in view of the simulated receiver. Elevation and azimuth drift
// slowly as the satellites move, the signal strength flickers a little from second to second, satellites low
// on the horizon are tracked weakly or not at all, and only those high enough take part in a fix.
class SatelliteSky {
public:
    // GPS has eleven satellites in view, GLONASS (numbered from 65 in NMEA) four.
    enum class System { Gps, Glonass };

    // Seconds after switch-on during which no signal has been acquired yet.
    static constexpr double AcquireSeconds = 2.0;
    // Lowest elevation at which a tracked satellite is used for the fix.
    static constexpr int MaskElevation = 15;
    // Elevation below which the signal is too weak to track.
    static constexpr int TrackElevation = 5;

    explicit SatelliteSky(System system = System::Gps);

    // The sky the given seconds after switch-on; fixed tells whether the receiver has a fix, so
    // satellites can be marked as used.
    std::vector<SkySatellite> At(double seconds, bool fixed) const;

private:
    System system;
};
