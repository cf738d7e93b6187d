#pragma once

// Where the simulated vehicle is: a loop of ring roads around a town, driven over and over.
struct RoutePoint {
    double latitude = 0; // degrees, north positive
    double longitude = 0; // degrees, east positive
    double courseDegrees = 0; // over ground, true north, 0 to below 360
    double speedKmh = 0;
    double altitudeMeters = 0; // above mean sea level
};

class DrivingRoute {
public:
    // speedKmh: the average speed; the actual speed swings a little around it, as in traffic.
    explicit DrivingRoute(double speedKmh);

    // The vehicle's state the given number of seconds after the start of the drive.
    RoutePoint At(double seconds) const;
    // Length of one lap in metres.
    double LapMeters() const { return lapMeters; }

private:
    double averageSpeed; // metres per second
    double lapMeters = 0;
};
