#pragma once

#include "tools/devsim/DrivingRoute.h"
#include "tools/devsim/SatelliteSky.h"

#include <chrono>
#include <string>
#include <vector>

// What the simulated receiver says at each report: RMC, VTG, GGA, GSA, the GSV group and GLL, all with
// the GP talker, checksums and CR LF. For the first few seconds after switch-on it has no fix yet, as
// a receiver starting up: status V, empty position fields, fix type 1 and no satellites used, while the
// satellites in view already show up one by one.
class ReceiverModel {
public:
    // Seconds after switch-on until the first fix.
    static constexpr double NoFixSeconds = 5.0;

    explicit ReceiverModel(double speedKmh);

    // The sentences of the report for the given moment (UTC, shown as the fix time and date);
    // sinceStart is the time since switch-on and decides fix state, position and sky.
    std::vector<std::string> Report(std::chrono::system_clock::time_point epoch, double sinceStart) const;

private:
    DrivingRoute route;
    SatelliteSky sky;
};
