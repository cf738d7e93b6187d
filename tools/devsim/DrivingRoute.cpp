#include "tools/devsim/DrivingRoute.h"

#include <cmath>
#include <iterator>
#include <numbers>

namespace {

struct Waypoint {
    double latitude;
    double longitude;
};

// A ring around a small town's centre, about 7 km a lap; the last point joins the first.
constexpr Waypoint Ring[] = {
    { 52.01650, 4.34300 },
    { 52.02050, 4.35600 },
    { 52.01900, 4.37400 },
    { 52.01200, 4.38300 },
    { 52.00300, 4.38000 },
    { 51.99800, 4.36700 },
    { 51.99950, 4.34900 },
    { 52.00800, 4.33900 },
};
constexpr int RingSize = static_cast<int>(std::size(Ring));
constexpr double MetersPerDegreeLatitude = 111'200.0;
// Seconds over which the speed swings once around its average, and how far (as a share of it).
constexpr double SpeedSwingSeconds = 40.0;
constexpr double SpeedSwingShare = 0.15;

double MetersPerDegreeLongitude()
{
    return MetersPerDegreeLatitude * std::cos(Ring[0].latitude * std::numbers::pi / 180.0);
}

// Local flat-earth offsets are plenty for a few kilometres.
void Offset(const Waypoint& from, const Waypoint& to, double* east, double* north)
{
    *east = (to.longitude - from.longitude) * MetersPerDegreeLongitude();
    *north = (to.latitude - from.latitude) * MetersPerDegreeLatitude;
}

}

DrivingRoute::DrivingRoute(double speedKmh)
    : averageSpeed(speedKmh / 3.6)
{
    for (int i = 0; i < RingSize; ++i) {
        double east = 0;
        double north = 0;
        Offset(Ring[i], Ring[(i + 1) % RingSize], &east, &north);
        lapMeters += std::hypot(east, north);
    }
}

RoutePoint DrivingRoute::At(double seconds) const
{
    // Distance is the integral of the swinging speed, so position and reported speed agree.
    const double omega = 2.0 * std::numbers::pi / SpeedSwingSeconds;
    const double speed = averageSpeed * (1.0 + SpeedSwingShare * std::cos(omega * seconds));
    double distance = averageSpeed * (seconds + SpeedSwingShare * std::sin(omega * seconds) / omega);
    distance = std::fmod(distance, lapMeters);
    if (distance < 0)
        distance += lapMeters;

    RoutePoint point;
    for (int i = 0; i < RingSize; ++i) {
        const Waypoint& from = Ring[i];
        double east = 0;
        double north = 0;
        Offset(from, Ring[(i + 1) % RingSize], &east, &north);
        const double length = std::hypot(east, north);
        if (distance > length && i + 1 < RingSize) {
            distance -= length;
            continue;
        }
        const double share = std::fmin(distance / length, 1.0);
        point.latitude = from.latitude + share * north / MetersPerDegreeLatitude;
        point.longitude = from.longitude + share * east / MetersPerDegreeLongitude();
        double course = std::atan2(east, north) * 180.0 / std::numbers::pi;
        if (course < 0)
            course += 360.0;
        point.courseDegrees = course;
        break;
    }
    point.speedKmh = speed * 3.6;
    point.altitudeMeters = 4.0 + 3.0 * std::sin(seconds / 70.0);
    return point;
}
