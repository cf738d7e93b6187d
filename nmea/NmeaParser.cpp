#include "nmea/NmeaParser.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <limits>
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

// Length of the longest leading part of text that forms a decimal number: optional sign, digits,
// optional fraction, optional exponent. 0 when text does not begin with a number.
// An exponent marker without digits, or a lone '.', is not part of the number.
int NumberPrefixLength(const char* text, int length)
{
    int index = 0;
    if (index < length && (text[index] == '+' || text[index] == '-'))
        ++index;
    const int digitsStart = index;
    index = SkipDigits(text, length, index);
    bool hasDigits = index > digitsStart;

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

// The general conversion. from_chars always reads '.' as the decimal point, whatever LC_NUMERIC says,
// and never allocates; it refuses a leading '+', so that is stepped over here. A value a double cannot
// hold gives 0.
double ToDoubleGeneral(const char* text, int length)
{
    const int prefix = NumberPrefixLength(text, length);
    if (prefix == 0)
        return 0.0;
    const char* begin = text[0] == '+' ? text + 1 : text;
    double value = 0.0;
    const std::from_chars_result result = std::from_chars(begin, text + prefix, value);
    if (result.ec != std::errc())
        return 0.0;
    return value;
}

// Receivers send plain decimals such as 3751.6500. Those with few enough digits convert exactly as one
// integer division: the digits and the power of ten are both exact doubles, and IEEE division rounds
// correctly, so the result equals the general conversion. Exponents and long numbers take that path.
double ToDouble(const char* text, int length)
{
    constexpr double PowersOfTen[] = { 1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12,
        1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22 };
    constexpr std::uint64_t ExactMantissaLimit = std::uint64_t { 1 } << 53;
    int index = 0;
    const bool negative = index < length && text[index] == '-';
    if (index < length && (text[index] == '+' || text[index] == '-'))
        ++index;
    std::uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool inFraction = false;
    for (; index < length; ++index) {
        const char character = text[index];
        if (IsDigit(character)) {
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(character - '0');
            ++digits;
            fractionDigits += inFraction ? 1 : 0;
        } else if (character == '.' && !inFraction) {
            inFraction = true;
        } else {
            break;
        }
    }
    const bool exponentFollows = index < length && (text[index] == 'e' || text[index] == 'E');
    if (exponentFollows || digits > 19 || mantissa > ExactMantissaLimit)
        return ToDoubleGeneral(text, length);
    if (digits == 0)
        return 0.0;
    const double value = static_cast<double>(mantissa) / PowersOfTen[fractionDigits];
    return negative ? -value : value;
}

// Optional sign and digits; a value outside int32 gives 0 (no receiver means it, and wrapping around
// would turn it into a plausible wrong number).
std::int32_t ToInt(const char* text, int length)
{
    int index = 0;
    const bool negative = index < length && text[index] == '-';
    if (index < length && (text[index] == '+' || text[index] == '-'))
        ++index;
    const int digitsStart = index;
    std::int64_t magnitude = 0;
    for (; index < length && IsDigit(text[index]); ++index) {
        magnitude = magnitude * 10 + (text[index] - '0');
        if (magnitude > std::int64_t { 1 } << 31)
            return 0;
    }
    if (index == digitsStart)
        return 0;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<std::int32_t>::max())
        return 0;
    return static_cast<std::int32_t>(value);
}

// Copies one field into destination, at most width characters of it; the rest of an overlong field is
// skipped so the next field still starts at the right place. Nothing is cleared and no terminator is
// written. Returns the position after the field's comma, or position itself when the sentence ended
// (remaining is then 0, so every later field comes out empty). fieldLength gets the field's full length.
const char* SplitField(
    const char* position, int& remaining, char* destination, int width, int* fieldLength = nullptr)
{
    int length = 0;
    for (; length < remaining && position[length] != ','; ++length) {
        if (length < width)
            destination[length] = position[length];
    }
    remaining -= length;
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

// Numeric fields go through the zeroed scratch buffer; one longer than the buffer converts to 0.
const char* SplitDouble(const char* position, int& remaining, double* value)
{
    char scratch[NumericScratchSize];
    std::memset(scratch, 0, sizeof scratch);
    int length = 0;
    const char* next = SplitField(position, remaining, scratch, NumericScratchSize, &length);
    *value = length <= NumericScratchSize ? ToDouble(scratch, length) : 0.0;
    return next;
}

const char* SplitInt(const char* position, int& remaining, std::int32_t* value)
{
    char scratch[NumericScratchSize];
    std::memset(scratch, 0, sizeof scratch);
    int length = 0;
    const char* next = SplitField(position, remaining, scratch, NumericScratchSize, &length);
    *value = length <= NumericScratchSize ? ToInt(scratch, length) : 0;
    return next;
}

// The header names the decoder looks for, in the order that settles a header holding several.
enum HeaderName {
    Rmc,
    Gga,
    Gll,
    Gsa,
    Gsv,
    Vtg,
    TypeNameCount,
    GpsTalker = TypeNameCount,
    OtherTalker,
    HeaderNameCount
};

constexpr std::uint32_t Pack(const char (&name)[4])
{
    return static_cast<std::uint8_t>(name[0]) | static_cast<std::uint8_t>(name[1]) << 8
        | static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 16;
}

// The header is everything before the first comma, never past length. One pass finds its length and
// the first position of each name in it (-1 when absent). Comparing bytes gives the same answer as
// searching the header widened to 16-bit characters: the names are ASCII, no other byte widens to an
// ASCII character, and a zero byte is an ordinary character either way.
struct HeaderScan {
    int length = 0;
    int firstPosition[HeaderNameCount] = { -1, -1, -1, -1, -1, -1, -1, -1 };

    HeaderScan(const char* sentence, int sentenceLength)
    {
        std::uint32_t window = 0;
        for (; length < sentenceLength && sentence[length] != ','; ++length) {
            window = (window >> 8)
                | static_cast<std::uint32_t>(static_cast<std::uint8_t>(sentence[length])) << 16;
            if (length >= 2)
                Note(window, length - 2);
        }
    }

    void Note(std::uint32_t window, int position)
    {
        const int name = NameOf(window);
        if (name >= 0 && firstPosition[name] < 0)
            firstPosition[name] = position;
    }

    static int NameOf(std::uint32_t window)
    {
        switch (window) {
        case Pack("RMC"):
            return Rmc;
        case Pack("GGA"):
            return Gga;
        case Pack("GLL"):
            return Gll;
        case Pack("GSA"):
            return Gsa;
        case Pack("GSV"):
            return Gsv;
        case Pack("VTG"):
            return Vtg;
        case Pack("$GP"):
            return GpsTalker;
        case Pack("$GN"):
        case Pack("$GL"):
        case Pack("$GA"):
        case Pack("$GB"):
        case Pack("$BD"):
        case Pack("$GQ"):
        case Pack("$GI"):
            return OtherTalker;
        default:
            return -1;
        }
    }
};

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
    if (DecodeSentence(sentence, length))
        ++decodedCount;
    else
        ++ignoredCount;
}

bool NmeaParser::ParseCheckedSentence(const char* sentence, int length)
{
    const auto hexValue = [](char digit) {
        if (digit >= '0' && digit <= '9')
            return digit - '0';
        if (digit >= 'A' && digit <= 'F')
            return digit - 'A' + 10;
        return digit >= 'a' && digit <= 'f' ? digit - 'a' + 10 : -1;
    };
    const bool framed = sentence && length >= 4 && sentence[0] == '$' && sentence[length - 3] == '*';
    const int high = framed ? hexValue(sentence[length - 2]) : -1;
    const int low = framed ? hexValue(sentence[length - 1]) : -1;
    if (high < 0 || low < 0 || Checksum(sentence + 1, length - 4) != (high << 4 | low)) {
        ++badChecksumCount;
        return false;
    }
    ParseSentence(sentence, length - 2);
    return true;
}

std::uint8_t NmeaParser::Checksum(const char* characters, int count)
{
    std::uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum ^= static_cast<std::uint8_t>(characters[i]);
    return sum;
}

bool NmeaParser::DecodeSentence(const char* sentence, int length)
{
    if (!sentence || length <= 0)
        return false;

    const HeaderScan header(sentence, length);
    const bool otherTalker
        = acceptedTalkers == NmeaTalkers::AllSystems && header.firstPosition[OtherTalker] >= 0;
    if (header.firstPosition[GpsTalker] < 0 && !otherTalker)
        return false;
    // Without a comma there are no fields; clearing a record for it would only lose the last fix.
    int remaining = length - header.length;
    if (remaining == 0)
        return false;
    --remaining;
    const char* fields = sentence + header.length + 1;

    // The first name in HeaderName order wins when a damaged header holds several. A name at position
    // 0 does not count, since a real header starts with its talker.
    int chosen = 0;
    while (chosen < TypeNameCount && header.firstPosition[chosen] <= 0)
        ++chosen;
    switch (chosen) {
    case Rmc:
        DecodeRmc(fields, remaining);
        return true;
    case Gga:
        DecodeGga(fields, remaining);
        return true;
    case Gll:
        DecodeGll(fields, remaining);
        return true;
    case Gsa:
        DecodeGsa(fields, remaining);
        return true;
    case Gsv:
        DecodeGsv(fields, remaining);
        return true;
    case Vtg:
        DecodeVtg(fields, remaining);
        return true;
    default:
        return false; // other sentence types are ignored in silence
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
