#include "nmea/NmeaParser.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <system_error>

namespace {

// Numeric fields pass through a scratch buffer of this size. A field longer than this is not a number
// any receiver sends; it converts to 0 rather than to the number its first 20 characters would make,
// because a cut-off number is a wrong number, not a missing one.
constexpr int NumericScratchSize = 20;

constexpr int SatellitesPerGsvMessage = 4;
constexpr int GsvSlotCount = static_cast<int>(sizeof(GsvRecord::satellites) / sizeof(GsvSatellite));

bool IsDigit(char character)
{
    return character >= '0' && character <= '9';
}

int SkipDigits(const char* text, int length, int index)
{
    while (index < length && IsDigit(text[index]))
        ++index;
    return index;
}

// Length of the longest leading part of text that forms a decimal number: optional sign, digits, and
// with allowFraction an optional fraction and exponent. 0 when text does not begin with a number.
// An exponent marker without digits, or a lone '.', is not part of the number.
int NumberPrefixLength(const char* text, int length, bool allowFraction)
{
    int index = 0;
    if (index < length && (text[index] == '+' || text[index] == '-'))
        ++index;
    const int digitsStart = index;
    index = SkipDigits(text, length, index);
    bool hasDigits = index > digitsStart;
    if (!allowFraction)
        return hasDigits ? index : 0;

    if (index < length && text[index] == '.') {
        const int fractionEnd = SkipDigits(text, length, index + 1);
        if (hasDigits || fractionEnd > index + 1) {
            hasDigits = true;
            index = fractionEnd;
        }
    }
    if (!hasDigits)
        return 0;

    if (index < length && (text[index] == 'e' || text[index] == 'E')) {
        int exponent = index + 1;
        if (exponent < length && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        const int exponentEnd = SkipDigits(text, length, exponent);
        if (exponentEnd > exponent)
            index = exponentEnd;
    }
    return index;
}

// from_chars always reads '.' as the decimal point, whatever LC_NUMERIC says, and never allocates.
// It refuses a leading '+', so that is stepped over here. A value the type cannot hold gives 0.
template <typename Number> Number ToNumber(const char* text, int length, bool allowFraction)
{
    const int prefix = NumberPrefixLength(text, length, allowFraction);
    if (prefix == 0)
        return 0;
    const char* begin = text[0] == '+' ? text + 1 : text;
    Number value = 0;
    const std::from_chars_result result = std::from_chars(begin, text + prefix, value);
    if (result.ec != std::errc())
        return 0;
    return value;
}

// Copies one field into destination, at most width characters of it; the rest of an overlong field is
// skipped so the next field still starts at the right place. Nothing is cleared and no terminator is
// written. Returns the position after the field's comma, or position itself when the sentence ended
// (remaining is then 0, so every later field comes out empty). fieldLength gets the field's full length.
const char* SplitField(
    const char* position, int& remaining, char* destination, int width, int* fieldLength = nullptr)
{
    int length = 0;
    while (remaining > 0 && position[length] != ',') {
        if (length < width)
            destination[length] = position[length];
        ++length;
        --remaining;
    }
    if (fieldLength)
        *fieldLength = length;
    if (remaining > 0) {
        --remaining;
        return position + length + 1;
    }
    return position;
}

template <std::size_t Width>
const char* SplitText(const char* position, int& remaining, char (&destination)[Width])
{
    return SplitField(position, remaining, destination, static_cast<int>(Width));
}

template <typename Number>
const char* SplitNumber(const char* position, int& remaining, Number* value, bool allowFraction)
{
    char scratch[NumericScratchSize];
    std::memset(scratch, 0, sizeof scratch);
    int length = 0;
    const char* next = SplitField(position, remaining, scratch, NumericScratchSize, &length);
    *value = length <= NumericScratchSize ? ToNumber<Number>(scratch, length, allowFraction) : 0;
    return next;
}

const char* SplitDouble(const char* position, int& remaining, double* value)
{
    return SplitNumber(position, remaining, value, true);
}

const char* SplitInt(const char* position, int& remaining, std::int32_t* value)
{
    return SplitNumber(position, remaining, value, false);
}

// Index of the first occurrence of the three-character name in the header, or -1. Comparing bytes
// gives the same answer as searching the header widened to 16-bit characters: the names are ASCII and
// no other byte widens to an ASCII character.
int FindInHeader(const char* header, int length, const char (&name)[4])
{
    for (int index = 0; index + 3 <= length; ++index) {
        if (header[index] == name[0] && header[index + 1] == name[1] && header[index + 2] == name[2])
            return index;
    }
    return -1;
}

} // namespace

NmeaParser::NmeaParser()
{
    std::memset(&rmcRecord, 0, sizeof rmcRecord);
    std::memset(&ggaRecord, 0, sizeof ggaRecord);
    std::memset(&gllRecord, 0, sizeof gllRecord);
    std::memset(&gsaRecord, 0, sizeof gsaRecord);
    std::memset(&gsvRecord, 0, sizeof gsvRecord);
    std::memset(&vtgRecord, 0, sizeof vtgRecord);
}

NmeaParser::~NmeaParser() = default;

void NmeaParser::ParseSentence(const char* sentence, int length)
{
    if (!sentence || length <= 0)
        return;

    int headerLength = 0;
    while (headerLength < length && sentence[headerLength] != ',')
        ++headerLength;
    int remaining = length - headerLength;

    if (FindInHeader(sentence, headerLength, "$GP") < 0)
        return;
    // Without a comma there are no fields; clearing a record for it would only lose the last fix.
    if (remaining == 0)
        return;
    --remaining;
    const char* fields = sentence + headerLength + 1;

    // The order matters when a damaged header holds two names: the first one listed wins. A name at
    // position 0 does not count, since a real header always starts with the talker.
    struct SentenceType {
        const char name[4];
        void (NmeaParser::*decode)(const char*, int);
    };
    static constexpr SentenceType Types[] = {
        { "RMC", &NmeaParser::DecodeRmc },
        { "GGA", &NmeaParser::DecodeGga },
        { "GLL", &NmeaParser::DecodeGll },
        { "GSA", &NmeaParser::DecodeGsa },
        { "GSV", &NmeaParser::DecodeGsv },
        { "VTG", &NmeaParser::DecodeVtg },
    };
    for (const SentenceType& type : Types) {
        if (FindInHeader(sentence, headerLength, type.name) > 0) {
            (this->*type.decode)(fields, remaining);
            return;
        }
    }
}

// $GPRMC,081836.250,A,3751.6500,S,14507.3600,E,0.00,360.00,130998,011.3,E,A*
void NmeaParser::DecodeRmc(const char* position, int remaining)
{
    RmcRecord& rmc = rmcRecord;
    std::memset(&rmc, 0, sizeof rmc);
    position = SplitText(position, remaining, rmc.utcTime);
    position = SplitText(position, remaining, rmc.status);
    position = SplitDouble(position, remaining, &rmc.latitude);
    position = SplitText(position, remaining, rmc.latitudeHemisphere);
    position = SplitDouble(position, remaining, &rmc.longitude);
    position = SplitText(position, remaining, rmc.longitudeHemisphere);
    position = SplitDouble(position, remaining, &rmc.speedKnots);
    position = SplitDouble(position, remaining, &rmc.courseDegrees);
    position = SplitText(position, remaining, rmc.date);
    position = SplitDouble(position, remaining, &rmc.magneticVariation);
    position = SplitText(position, remaining, rmc.variationDirection);
    SplitText(position, remaining, rmc.modeIndicator);
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*
void NmeaParser::DecodeGga(const char* position, int remaining)
{
    GgaRecord& gga = ggaRecord;
    std::memset(&gga, 0, sizeof gga);
    position = SplitText(position, remaining, gga.utcTime);
    position = SplitDouble(position, remaining, &gga.latitude);
    position = SplitText(position, remaining, gga.latitudeHemisphere);
    position = SplitDouble(position, remaining, &gga.longitude);
    position = SplitText(position, remaining, gga.longitudeHemisphere);
    position = SplitText(position, remaining, gga.fixQuality);
    position = SplitInt(position, remaining, &gga.satellitesUsed);
    position = SplitDouble(position, remaining, &gga.hdop);
    position = SplitDouble(position, remaining, &gga.altitude);
    position = SplitText(position, remaining, gga.altitudeUnit);
    position = SplitDouble(position, remaining, &gga.geoidSeparation);
    SplitText(position, remaining, gga.geoidUnit);
}

// $GPGLL,4916.45,N,12311.12,W,225444,A,A*
void NmeaParser::DecodeGll(const char* position, int remaining)
{
    GllRecord& gll = gllRecord;
    std::memset(&gll, 0, sizeof gll);
    position = SplitDouble(position, remaining, &gll.latitude);
    position = SplitText(position, remaining, gll.latitudeHemisphere);
    position = SplitDouble(position, remaining, &gll.longitude);
    position = SplitText(position, remaining, gll.longitudeHemisphere);
    position = SplitText(position, remaining, gll.utcTime);
    SplitText(position, remaining, gll.status);
}

// $GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*
void NmeaParser::DecodeGsa(const char* position, int remaining)
{
    GsaRecord& gsa = gsaRecord;
    std::memset(&gsa, 0, sizeof gsa);
    position = SplitText(position, remaining, gsa.selectionMode);
    position = SplitInt(position, remaining, &gsa.fixType);
    for (std::int32_t& id : gsa.satelliteIds)
        position = SplitInt(position, remaining, &id);
    position = SplitDouble(position, remaining, &gsa.pdop);
    position = SplitDouble(position, remaining, &gsa.hdop);
    SplitDouble(position, remaining, &gsa.vdop);
}

// $GPGSV,3,3,10,29,30,110,42,31,12,320,*
// Messages of one cycle each fill their own four slots, so the record is never cleared: slots this
// cycle does not reach keep older satellites, and satellitesInView says how many are current.
void NmeaParser::DecodeGsv(const char* position, int remaining)
{
    position = SplitInt(position, remaining, &gsvMessageCount);
    position = SplitInt(position, remaining, &gsvMessageNumber);
    position = SplitInt(position, remaining, &gsvRecord.satellitesInView);

    // 64-bit so that a garbled message number near the int32 limits cannot overflow the slot arithmetic.
    const std::int64_t messageNumber = gsvMessageNumber;
    const std::int64_t inView = gsvRecord.satellitesInView;
    const std::int64_t firstSlot = SatellitesPerGsvMessage * (messageNumber - 1);
    const std::int64_t count
        = inView > SatellitesPerGsvMessage * messageNumber ? SatellitesPerGsvMessage : inView - firstSlot;

    for (std::int64_t k = 0; k < count; ++k) {
        GsvSatellite satellite;
        position = SplitInt(position, remaining, &satellite.prn);
        position = SplitInt(position, remaining, &satellite.elevation);
        position = SplitInt(position, remaining, &satellite.azimuth);
        position = SplitInt(position, remaining, &satellite.snr);
        // Message 0, or a fourth message when more than twelve are in view, has no slot: dropped.
        const std::int64_t slot = firstSlot + k;
        if (slot >= 0 && slot < GsvSlotCount)
            gsvRecord.satellites[slot] = satellite;
    }
}

// $GPVTG,360.0,T,348.7,M,000.0,N,000.0,K,A*
void NmeaParser::DecodeVtg(const char* position, int remaining)
{
    VtgRecord& vtg = vtgRecord;
    std::memset(&vtg, 0, sizeof vtg);
    position = SplitDouble(position, remaining, &vtg.courseTrue);
    position = SplitText(position, remaining, vtg.courseTrueRef);
    position = SplitDouble(position, remaining, &vtg.courseMagnetic);
    position = SplitText(position, remaining, vtg.courseMagneticRef);
    position = SplitDouble(position, remaining, &vtg.speedKnots);
    position = SplitText(position, remaining, vtg.speedKnotsUnit);
    position = SplitDouble(position, remaining, &vtg.speedKmh);
    position = SplitText(position, remaining, vtg.speedKmhUnit);
    SplitText(position, remaining, vtg.modeIndicator);
}

void NmeaParser::GetRmc(RmcRecord* rmc) const
{
    if (rmc)
        *rmc = rmcRecord;
}

void NmeaParser::GetGga(GgaRecord* gga) const
{
    if (gga)
        *gga = ggaRecord;
}

void NmeaParser::GetGll(GllRecord* gll) const
{
    if (gll)
        *gll = gllRecord;
}

void NmeaParser::GetGsa(GsaRecord* gsa) const
{
    if (gsa)
        *gsa = gsaRecord;
}

void NmeaParser::GetGsv(GsvRecord* gsv) const
{
    if (gsv)
        *gsv = gsvRecord;
}

void NmeaParser::GetVtg(VtgRecord* vtg) const
{
    if (vtg)
        *vtg = vtgRecord;
}

bool NmeaParser::HasNoFix() const
{
    return rmcRecord.status[0] != 'A';
}
