#include "nmea/NmeaParser.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// Any bytes go in: first as one sentence, then cut at every '*' the way the program's collector hands
// them over, so GSV messages meet a table earlier pieces already filled. Afterwards the copies handed
// out must be sane: every number finite (the converter never yields inf or nan), nothing written
// around the caller's storage, and HasNoFix agreeing with the RMC status.

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr unsigned char Guard = 0xA5;

// Copies a record into storage fenced by guard bytes and checks the fences afterwards.
template <typename Record, typename Getter> Record GuardedCopy(const NmeaParser& parser, Getter get)
{
    struct Fenced {
        unsigned char before[16];
        Record record;
        unsigned char after[16];
    } fenced;
    std::memset(&fenced, Guard, sizeof fenced);
    (parser.*get)(&fenced.record);
    for (std::size_t i = 0; i < sizeof fenced.before; ++i)
        Check(fenced.before[i] == Guard && fenced.after[i] == Guard);
    return fenced.record;
}

void CheckRecords(const NmeaParser& parser)
{
    const RmcRecord rmc = GuardedCopy<RmcRecord>(parser, &NmeaParser::GetRmc);
    Check(std::isfinite(rmc.latitude) && std::isfinite(rmc.longitude) && std::isfinite(rmc.speedKnots)
        && std::isfinite(rmc.courseDegrees) && std::isfinite(rmc.magneticVariation));
    Check(parser.HasNoFix() == (rmc.status[0] != 'A'));

    const GgaRecord gga = GuardedCopy<GgaRecord>(parser, &NmeaParser::GetGga);
    Check(std::isfinite(gga.latitude) && std::isfinite(gga.longitude) && std::isfinite(gga.hdop)
        && std::isfinite(gga.altitude) && std::isfinite(gga.geoidSeparation));

    const GllRecord gll = GuardedCopy<GllRecord>(parser, &NmeaParser::GetGll);
    Check(std::isfinite(gll.latitude) && std::isfinite(gll.longitude));

    const GsaRecord gsa = GuardedCopy<GsaRecord>(parser, &NmeaParser::GetGsa);
    Check(std::isfinite(gsa.pdop) && std::isfinite(gsa.hdop) && std::isfinite(gsa.vdop));

    GuardedCopy<GsvRecord>(parser, &NmeaParser::GetGsv);

    const VtgRecord vtg = GuardedCopy<VtgRecord>(parser, &NmeaParser::GetVtg);
    Check(std::isfinite(vtg.courseTrue) && std::isfinite(vtg.courseMagnetic) && std::isfinite(vtg.speedKnots)
        && std::isfinite(vtg.speedKmh));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 256)
        return 0;
    // libFuzzer's buffer is exactly size bytes, so any read past length trips AddressSanitizer.
    const char* text = reinterpret_cast<const char*>(data);
    const int length = static_cast<int>(size);

    NmeaParser whole;
    whole.ParseSentence(text, length);
    whole.ParseSentence(text, 0);
    whole.ParseSentence(text, -length);
    CheckRecords(whole);

    NmeaParser pieces;
    int start = 0;
    for (int i = 0; i < length; ++i) {
        if (text[i] == '*') {
            pieces.ParseSentence(text + start, i + 1 - start);
            start = i + 1;
        }
    }
    CheckRecords(pieces);
    return 0;
}
