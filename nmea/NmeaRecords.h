#pragma once

#include <cstdint>
#include <type_traits>

// The fix records the decoder fills. They are plain data on purpose: a byte copy is an independent
// snapshot, which is how the display takes them. Text fields hold the sentence's characters without
// a terminator; a field that fills its whole width has none, so read them bounded by the width.

struct RmcRecord {
    char utcTime[10];
    char status[6];
    double latitude;
    char latitudeHemisphere[8];
    double longitude;
    char longitudeHemisphere[8];
    double speedKnots;
    double courseDegrees;
    char date[8];
    double magneticVariation;
    char variationDirection[1];
    char modeIndicator[7];
};

struct GgaRecord {
    char utcTime[16];
    double latitude;
    char latitudeHemisphere[8];
    double longitude;
    char longitudeHemisphere[1];
    char fixQuality[3];
    std::int32_t satellitesUsed;
    double hdop;
    double altitude;
    char altitudeUnit[8];
    double geoidSeparation;
    char geoidUnit[8];
};

struct GllRecord {
    double latitude;
    char latitudeHemisphere[8];
    double longitude;
    char longitudeHemisphere[1];
    char utcTime[10];
    char status[5];
};

struct GsaRecord {
    char selectionMode[4];
    std::int32_t fixType;
    std::int32_t satelliteIds[12];
    double pdop;
    double hdop;
    double vdop;
};

struct GsvSatellite {
    std::int32_t prn;
    std::int32_t elevation;
    std::int32_t azimuth;
    std::int32_t snr;
};

struct GsvRecord {
    std::int32_t satellitesInView;
    GsvSatellite satellites[12];
};

struct VtgRecord {
    double courseTrue;
    char courseTrueRef[8];
    double courseMagnetic;
    char courseMagneticRef[8];
    double speedKnots;
    char speedKnotsUnit[8];
    double speedKmh;
    char speedKmhUnit[1];
    char modeIndicator[7];
};

static_assert(std::is_trivially_copyable_v<RmcRecord> && std::is_trivially_copyable_v<GgaRecord>
        && std::is_trivially_copyable_v<GllRecord> && std::is_trivially_copyable_v<GsaRecord>
        && std::is_trivially_copyable_v<GsvRecord> && std::is_trivially_copyable_v<VtgRecord>,
    "records are handed out as byte copies");
