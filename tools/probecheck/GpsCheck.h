#pragma once

#include "nmea/NmeaParser.h"
#include "tools/probecheck/SentenceFramer.h"
#include "tools/probecheck/SerialCheck.h"
#include "tools/probecheck/SkyTally.h"
#include "tools/probecheck/UbxAckWatch.h"

#include <optional>
#include <string>

// `probecheck gps`: opens the receiver as skyprobe does, verifies every sentence's checksum, decodes
// the sentences of every satellite system with skyprobe's decoder, optionally sets the report period
// with skyprobe's rate frame, and passes when a fix with enough satellites and a small enough HDOP
// arrives in time. A fix is RMC status A confirmed by a GGA quality above 0 or a GSA fix of 2D or 3D;
// the satellites used come from GSA, or from GGA for a receiver that sends no GSA.
class GpsCheck final : public SerialCheck {
public:
    GpsCheck();

    const char* Name() const override { return "gps"; }
    std::string Help() const override;
    bool ParseOption(std::string_view option, CommandLine& arguments) override;
    void Run(CheckLoop& loop, Progress& progress, CheckRecord& record) override;

private:
    // What decides the verdict, as it stood after a sentence.
    struct Figures {
        bool fix = false;
        int used = 0;
        double hdop = 0;
        int strong = 0; // satellites in view at --min-snr or more
    };

    void Declare(CheckRecord& record) const;
    void OnChunk(const char* bytes, int count, Progress& progress, const CheckRecord& record);
    void OnSentence(const char* sentence, int length);
    void OnGsv(std::string_view text);
    Figures Take() const;
    void Evaluate(Progress& progress, const CheckRecord& record);
    bool Finished() const;
    void Measure(CheckRecord& record) const;
    void Describe(CheckRecord& record) const;
    std::string StatusText() const;

    // Limits.
    double timeoutSeconds = 60;
    int minSatellites = 4;
    double maxHdop = 5.0;
    int maxBadChecksums = 0;
    std::optional<int> minSnr;
    std::optional<int> rateSeconds;

    NmeaParser parser;
    SentenceFramer framer;
    SkyTally sky;
    UbxAckWatch ackWatch;
    UbxAckWatch::Answer rateAnswer = UbxAckWatch::Answer::None;
    double openedAt = 0;
    std::optional<double> firstFixAt;
    // The figures when every limit was first met, else the latest with a fix.
    std::optional<Figures> met;
    std::optional<Figures> lastFixed;
    long long bytesReceived = 0;
};
