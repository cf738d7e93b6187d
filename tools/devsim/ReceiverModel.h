#pragma once

#include "tools/devsim/DrivingRoute.h"
#include "tools/devsim/SatelliteSky.h"

#include <chrono>
#include <string>
#include <vector>

// What the simulated receiver says at each report: RMC, VTG, GGA, GSA, the GSV group and GLL, with
// checksums and CR LF. For the first few seconds after switch-on it has no fix yet, as a receiver
// starting up: status V, empty position fields, fix type 1 and no satellites used, while the
// satellites in view already show up one by one.
class ReceiverModel {
public:
    // Seconds after switch-on until the first fix.
    static constexpr double NoFixSeconds = 5.0;

    // Which talker the fix sentences carry. A GPS-only receiver says GP everywhere. A receiver that
    // combines GPS and GLONASS says GN for the combined fix (RMC, VTG, GGA, GLL), sends one GNGSA per
    // system with the system's id at its end (1 GPS, 2 GLONASS), and lists each system's satellites
    // under its own talker (GPGSV, GLGSV).
    enum class Talker { Gps, Combined };

    // How a particular receiver or its antenna strays from the plain one.
    struct Habits {
        Talker talker = Talker::Gps;
        bool fix = true; // false: never a fix (no antenna, a sky it cannot see)
        bool gsa = true; // false: configured without GSA, as many receivers can be
        int snr = -1; // every tracked satellite at this dB-Hz (a weak antenna); -1: as the sky gives
    };

    explicit ReceiverModel(double speedKmh);
    ReceiverModel(double speedKmh, Habits habits);

    // The sentences of the report for the given moment (UTC, shown as the fix time and date);
    // sinceStart is the time since switch-on and decides fix state, position and sky.
    std::vector<std::string> Report(std::chrono::system_clock::time_point epoch, double sinceStart) const;

private:
    std::vector<SkySatellite> Sky(const SatelliteSky& sky, double sinceStart, bool fixed) const;

    DrivingRoute route;
    SatelliteSky gps { SatelliteSky::System::Gps };
    SatelliteSky glonass { SatelliteSky::System::Glonass };
    Habits habits;
    const char* fixTalker;
};
