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

    // Which talker the fix sentences carry. A GPS-only receiver says GP everywhere; a receiver that
    // combines several satellite systems says GN for the combined fix (RMC, VTG, GGA, GSA, GLL) and
    // keeps GP for the GPS satellites it lists in GSV.
    enum class Talker { Gps, Combined };

    explicit ReceiverModel(double speedKmh, Talker talker = Talker::Gps);

    // The sentences of the report for the given moment (UTC, shown as the fix time and date);
    // sinceStart is the time since switch-on and decides fix state, position and sky.
    std::vector<std::string> Report(std::chrono::system_clock::time_point epoch, double sinceStart) const;

private:
    DrivingRoute route;
    SatelliteSky sky;
    const char* fixTalker;
};
