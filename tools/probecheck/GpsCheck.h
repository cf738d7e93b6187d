#pragma once

#include "nmea/NmeaParser.h"
#include "skyprobe/SentenceCollector.h"
#include "tools/probecheck/CheckReport.h"
#include "tools/probecheck/UbxAckWatch.h"

#include <optional>
#include <string>

class CheckLoop;
class CommandLine;
class JsonWriter;
class Progress;
class SerialSession;

// `probecheck gps`: opens the receiver as skyprobe does, cuts and decodes its stream with the same
// collector and decoder, optionally sets its report period with the same rate frame, and passes when a
// valid fix with enough satellites and a small enough HDOP arrives in time. The figures it reports are
// formatted by the dialog's own display code.
class GpsCheck {
public:
    int Main(CommandLine& arguments);

private:
    // Copies of the decoder's records, taken together.
    struct Records {
        RmcRecord rmc;
        GsaRecord gsa;
        GgaRecord gga;
        VtgRecord vtg;
        GsvRecord gsv;
    };

    bool Parse(CommandLine& arguments, bool* help);
    int Run();
    CheckOutcome Measure(CheckLoop& loop, SerialSession& port, Progress& progress);
    void OnChunk(const char* bytes, int count, Progress& progress);
    void Evaluate(Progress& progress);
    bool Finished() const;
    CheckOutcome Judge() const;
    std::string StatusText() const;
    Records TakeRecords() const;
    void WriteJson(JsonWriter& writer) const;
    void WriteMeasured(JsonWriter& writer) const;
    std::string Summary() const;

    // Criteria.
    double timeoutSeconds = 60;
    int minSatellites = 4;
    double maxHdop = 5.0;
    std::optional<int> rateSeconds;
    CommonOptions common;

    // What was measured, in seconds since the check started where it is a time.
    CheckReport report { "gps" };
    std::string devicePath;
    NmeaParser parser;
    SentenceCollector collector;
    UbxAckWatch ackWatch;
    UbxAckWatch::Answer rateAnswer = UbxAckWatch::Answer::None;
    std::optional<double> openedAt;
    std::optional<double> rateAnswerAt;
    std::optional<double> firstFixAt;
    std::optional<double> criteriaMetAt;
    long long bytesReceived = 0;
};
