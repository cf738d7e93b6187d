#pragma once

#include "nmea/NmeaRecords.h"

#include <cstdint>

// Which talkers' sentences the decoder takes. The programs read the GPS talker ("$GP") only. A check
// that must see the fix of any receiver also takes the combined fix ("$GN") and the other satellite
// systems' talkers: GL (GLONASS), GA (Galileo), GB and BD (BeiDou), GQ (QZSS) and GI (NavIC).
enum class NmeaTalkers { GpsOnly, AllSystems };

// Decodes one NMEA-0183 sentence at a time into the six fix records and keeps the last values of
// each until a sentence of the same kind replaces them. Only RMC, GGA, GLL, GSA, GSV and VTG of the
// chosen talkers (the GP talker unless told otherwise) are decoded; everything else is ignored in
// silence. ParseSentence never reads a checksum; ParseCheckedSentence decodes only sentences whose
// checksum holds. Every talker fills the same six records.
//
// Not thread-safe: the owner calls every operation from one thread (the UI thread of skyprobe).
// Nothing is allocated on the heap and nothing throws.
class NmeaParser {
public:
    // Every record zero-filled, both GSV counters 0.
    NmeaParser();
    virtual ~NmeaParser();

    // sentence runs from its '$' up to and including its '*'; length counts both. The buffer need not
    // be zero-terminated and is not kept. A null sentence or a length <= 0 decodes nothing; so does a
    // sentence without a comma, since it carries no fields. At most one record changes.
    void ParseSentence(const char* sentence, int length);

    // A sentence as the receiver sends it, from its '$' through the two hex digits after its '*' (a
    // line end after them is not part of it). Decoded as ParseSentence decodes it when the digits equal
    // Checksum of the characters between '$' and '*'. Otherwise nothing is decoded, the sentence counts
    // in GetBadChecksumCount (not in the other two counts) and the result is false: a receiver on a
    // damaged line must not have its noise taken for a fix.
    bool ParseCheckedSentence(const char* sentence, int length);

    // GpsOnly from construction on.
    void SetTalkers(NmeaTalkers talkers) { acceptedTalkers = talkers; }

    // The XOR of count characters, the value a sentence carries after its '*'.
    static std::uint8_t Checksum(const char* characters, int count);

    // Copy the whole record into caller-owned storage; a null pointer copies nothing.
    void GetRmc(RmcRecord* rmc) const;
    void GetGga(GgaRecord* gga) const;
    void GetGll(GllRecord* gll) const;
    void GetGsa(GsaRecord* gsa) const;
    void GetGsv(GsvRecord* gsv) const;
    void GetVtg(VtgRecord* vtg) const;

    // True unless the last RMC said 'A' (valid); so also before any RMC arrived.
    bool HasNoFix() const;

    // GSV fields 1 and 2 of the message decoded last: messages in the cycle, number of this message.
    std::int32_t GetGsvMessageCount() const { return gsvMessageCount; }
    std::int32_t GetGsvMessageNumber() const { return gsvMessageNumber; }

    // Every call of ParseSentence counts once: as decoded when one of the six decoders ran, else as
    // ignored (another talker or type, no fields, nothing at all). They let a caller tell a receiver
    // that sends what we read from one whose output we mostly drop. Wrap around after 2^32 calls.
    std::uint32_t GetDecodedCount() const { return decodedCount; }
    std::uint32_t GetIgnoredCount() const { return ignoredCount; }
    std::uint32_t GetBadChecksumCount() const { return badChecksumCount; }

private:
    // True when one of the decoders below took the sentence.
    bool DecodeSentence(const char* sentence, int length);
    void DecodeRmc(const char* position, int remaining);
    void DecodeGga(const char* position, int remaining);
    void DecodeGll(const char* position, int remaining);
    void DecodeGsa(const char* position, int remaining);
    void DecodeGsv(const char* position, int remaining);
    void DecodeVtg(const char* position, int remaining);

    RmcRecord rmcRecord;
    GgaRecord ggaRecord;
    GllRecord gllRecord;
    GsaRecord gsaRecord;
    GsvRecord gsvRecord;
    VtgRecord vtgRecord;
    std::int32_t gsvMessageCount = 0;
    std::int32_t gsvMessageNumber = 0;
    std::uint32_t decodedCount = 0;
    std::uint32_t ignoredCount = 0;
    std::uint32_t badChecksumCount = 0;
    NmeaTalkers acceptedTalkers = NmeaTalkers::GpsOnly;
};
