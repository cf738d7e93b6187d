#include "tools/probecheck/GpsCheck.h"

#include "skyprobe/DisplayTexts.h"
#include "skyprobe/RateFrame.h"
#include "skyprobe/ReceiverLine.h"
#include "tools/common/CommandLine.h"
#include "tools/common/Deadline.h"
#include "tools/common/Format.h"
#include "tools/probecheck/CheckRecord.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/SerialSession.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* HelpText
    = "Usage: probecheck gps [--timeout S] [--min-satellites N] [--max-hdop X] [--min-snr DB]\n"
      "                      [--max-bad-checksums N] [--rate S] [--device PATH]\n"
      "\n"
      "Checks the GPS receiver. Opens it at 9600 baud, 8N1, as skyprobe does, verifies\n"
      "every sentence's checksum, decodes the sentences of every satellite system (GP,\n"
      "GN, GL, GA, GB, BD, GQ, GI) with skyprobe's decoder, and passes when a fix (RMC\n"
      "status A, confirmed by a GGA quality above 0 or a GSA fix of 2D or 3D) with at\n"
      "least N satellites used and an HDOP of at most X arrives within the timeout.\n"
      "Satellites are counted across systems.\n"
      "\n"
      "  --timeout S         give up after S seconds, 1 to 3600 (default 60)\n"
      "  --min-satellites N  satellites used in the fix, 0 to 64 (default 4)\n"
      "  --max-hdop X        largest horizontal dilution of precision, above 0 (default 5)\n"
      "  --min-snr DB        also at least N satellites in view at DB dB-Hz or more,\n"
      "                      1 to 99 (default: not checked)\n"
      "  --max-bad-checksums N  sentences with a wrong or missing checksum allowed,\n"
      "                      0 to 1000000 (default 0); they are never decoded\n"
      "  --rate S            first send the receiver the rate frame for one report every\n"
      "                      S seconds (1 to 60), and require its acknowledgement\n"
      "  --device PATH       the receiver's serial device (default COM4: the device in\n"
      "                      $COM4, else /dev/ttyS3)\n"
      "\n"
      "Measures the bad checksums, the time to first fix, the satellites used, the\n"
      "HDOP and, with the options, the strong satellites and the rate frame's answer;\n"
      "reports the position, time and every satellite in view with its signal.\n";

constexpr unsigned StatusTimerId = 1;
constexpr auto StatusPeriod = std::chrono::milliseconds(250);
constexpr int MaxSatellites = 64;

const char* AnswerName(UbxAckWatch::Answer answer)
{
    constexpr const char* Names[] = { "none", "acknowledged", "refused" };
    return Names[static_cast<int>(answer)];
}

// Field index of a sentence ("$GPGSA,A,3,...*hh"; 0 is the header), without the checksum; empty past
// the end.
std::string_view Field(std::string_view sentence, int index)
{
    sentence = sentence.substr(0, sentence.find('*'));
    for (; index > 0; --index) {
        const std::size_t comma = sentence.find(',');
        if (comma == std::string_view::npos)
            return {};
        sentence.remove_prefix(comma + 1);
    }
    return sentence.substr(0, sentence.find(','));
}

int FieldCount(std::string_view sentence)
{
    sentence = sentence.substr(0, sentence.find('*'));
    return static_cast<int>(std::count(sentence.begin(), sentence.end(), ',')) + 1;
}

int WholeField(std::string_view text)
{
    int value = 0;
    return ParseWholeNumber(text, &value) ? value : 0;
}

} // namespace

GpsCheck::GpsCheck()
    : SerialCheck({ GpsPortName, GpsBaudRate, GpsByteSize, GpsStopBits, GpsParity })
{
    parser.SetTalkers(NmeaTalkers::AllSystems);
}

std::string GpsCheck::Help() const
{
    return HelpText;
}

bool GpsCheck::ParseOption(std::string_view option, CommandLine& arguments)
{
    int whole = 0;
    if (option == "--timeout")
        (void)arguments.Number(1, 3600, &timeoutSeconds);
    else if (option == "--min-satellites")
        (void)arguments.WholeNumber(0, MaxSatellites, &minSatellites);
    else if (option == "--max-hdop")
        (void)arguments.Number(0.1, 99.9, &maxHdop);
    else if (option == "--max-bad-checksums")
        (void)arguments.WholeNumber(0, 1000000, &maxBadChecksums);
    else if (option == "--min-snr" && arguments.WholeNumber(1, 99, &whole))
        minSnr = whole;
    else if (option == "--rate" && arguments.WholeNumber(MinUpdateRateSeconds, MaxUpdateRateSeconds, &whole))
        rateSeconds = whole;
    else
        return option == "--min-snr" || option == "--rate";
    return true;
}

void GpsCheck::Declare(CheckRecord& record) const
{
    record.Declare("badChecksums", "sentences", {}, maxBadChecksums);
    record.Declare("timeToFirstFix", "s", {}, timeoutSeconds);
    record.Declare("satellitesUsed", "satellites", minSatellites);
    record.Declare("hdop", "", {}, maxHdop);
    if (minSnr)
        record.Declare("satellitesAtMinSnr", "satellites", minSatellites);
    if (rateSeconds)
        record.Declare("rateFrame", "", {}, {}, { "acknowledged" });
    record.Declare("satellitesInView", "satellites");
}

void GpsCheck::Run(CheckLoop& loop, Progress& progress, CheckRecord& record)
{
    Declare(record);
    SerialSession port(loop, [&](const char* bytes, int count) { OnChunk(bytes, count, progress, record); });
    if (!Open(port, progress, record))
        return;
    openedAt = record.Elapsed();
    if (rateSeconds) {
        // Right after opening, as the dialog sends it.
        const RateFrame frame = BuildRateFrame(*rateSeconds);
        port.Write(frame.data(), RateFrameSize);
        progress.Event(Name(), Format("sent the rate frame for a report every %d s", *rateSeconds));
    }
    const auto deadline = Deadline::After(CheckLoop::Clock::now(), timeoutSeconds);
    loop.SetTimer(StatusTimerId, StatusPeriod, [&] { progress.Status(Name(), StatusText()); });
    const CheckLoop::Stop stop = loop.RunUntil([&] { return Finished() || port.IsLost(); }, deadline);
    loop.KillTimer(StatusTimerId);
    Measure(record);
    Describe(record);
    // A check whose verdict was settled stands, whatever happened to the port after.
    if (Finished() || !EndedEarly(stop, loop, port, record))
        record.Complete();
    progress.Event(Name(), "closing the port");
}

void GpsCheck::OnChunk(const char* bytes, int count, Progress& progress, const CheckRecord& record)
{
    bytesReceived += count;
    const UbxAckWatch::Answer answer = ackWatch.Feed(bytes, count);
    if (rateSeconds && answer != UbxAckWatch::Answer::None && rateAnswer == UbxAckWatch::Answer::None) {
        rateAnswer = answer;
        progress.Event(Name(), std::string("the receiver ") + AnswerName(answer) + " the rate frame");
    }
    framer.Feed(bytes, count, [&](const char* sentence, int length) {
        OnSentence(sentence, length);
        if (!sky.InGsaRun())
            Evaluate(progress, record);
    });
}

void GpsCheck::OnSentence(const char* sentence, int length)
{
    const std::uint32_t decoded = parser.GetDecodedCount();
    if (!parser.ParseCheckedSentence(sentence, length) || parser.GetDecodedCount() == decoded)
        return;
    const std::string_view text(sentence, static_cast<std::size_t>(length));
    const std::string_view talker = text.substr(1, 2);
    const std::string_view type = text.substr(3, 3);
    if (type == "GSV") {
        OnGsv(text);
    } else if (type == "GSA") {
        GsaRecord gsa;
        parser.GetGsa(&gsa);
        sky.OnGsa(talker, WholeField(Field(text, 18)), gsa);
    } else {
        sky.OnOtherSentence();
    }
}

// Read from the sentence itself, as the decoder's record keeps twelve satellites at most and no count
// of the cycle's messages.
void GpsCheck::OnGsv(std::string_view text)
{
    // A signal id follows the satellites from NMEA 4.10 on: one field beyond whole blocks of four.
    const int fields = FieldCount(text);
    const bool hasSignal = fields > 4 && (fields - 4) % 4 == 1;
    const int end = hasSignal ? fields - 1 : fields;
    std::vector<SkyTally::Satellite> listed;
    for (int field = 4; field < end; field += 4) {
        SkyTally::Satellite satellite;
        satellite.prn = WholeField(Field(text, field));
        satellite.elevation = WholeField(Field(text, field + 1));
        satellite.azimuth = WholeField(Field(text, field + 2));
        satellite.snr = WholeField(Field(text, field + 3));
        listed.push_back(satellite);
    }
    sky.OnGsv(text.substr(1, 2), hasSignal ? WholeField(Field(text, fields - 1)) : 0,
        WholeField(Field(text, 2)), WholeField(Field(text, 1)), listed);
}

GpsCheck::Figures GpsCheck::Take() const
{
    RmcRecord rmc;
    GgaRecord gga;
    GsaRecord gsa;
    parser.GetRmc(&rmc);
    parser.GetGga(&gga);
    parser.GetGsa(&gsa);
    const int quality
        = WholeField(std::string_view(gga.fixQuality, strnlen(gga.fixQuality, sizeof gga.fixQuality)));
    Figures figures;
    figures.fix = rmc.status[0] == 'A' && (quality > 0 || (sky.HasGsa() && sky.FixMode() >= 2));
    figures.used = sky.HasGsa() ? sky.Used() : gga.satellitesUsed;
    figures.hdop = sky.HasGsa() ? gsa.hdop : gga.hdop;
    figures.strong = minSnr ? sky.AtLeast(*minSnr) : 0;
    return figures;
}

void GpsCheck::Evaluate(Progress& progress, const CheckRecord& record)
{
    const Figures figures = Take();
    if (!figures.fix)
        return;
    lastFixed = figures;
    if (!firstFixAt) {
        firstFixAt = record.Elapsed();
        progress.Event(Name(), Format("first fix after %.1f s", *firstFixAt - openedAt));
    }
    // An HDOP of 0 is an empty field, not a perfect geometry.
    const bool enough = figures.used >= minSatellites && figures.hdop > 0 && figures.hdop <= maxHdop
        && (!minSnr || figures.strong >= minSatellites);
    if (!met && enough) {
        met = figures;
        progress.Event(Name(), Format("fix with %d satellites used, HDOP %.1f", figures.used, figures.hdop));
    }
}

bool GpsCheck::Finished() const
{
    // A refused frame or too many bad checksums cannot come right any more.
    if (rateAnswer == UbxAckWatch::Answer::Refused
        || parser.GetBadChecksumCount() > static_cast<std::uint32_t>(maxBadChecksums))
        return true;
    return met && (!rateSeconds || rateAnswer == UbxAckWatch::Answer::Acknowledged);
}

void GpsCheck::Measure(CheckRecord& record) const
{
    record.Measure("badChecksums", RecordValue::Number(parser.GetBadChecksumCount()));
    if (firstFixAt)
        record.Measure("timeToFirstFix", RecordValue::Number(*firstFixAt - openedAt, 1));
    if (const std::optional<Figures> figures = met ? met : lastFixed) {
        record.Measure("satellitesUsed", RecordValue::Number(figures->used));
        record.Measure("hdop", RecordValue::Number(figures->hdop, 1));
        if (minSnr)
            record.Measure("satellitesAtMinSnr", RecordValue::Number(figures->strong));
    }
    if (rateSeconds && rateAnswer != UbxAckWatch::Answer::None)
        record.Measure("rateFrame", RecordValue::Text(AnswerName(rateAnswer)));
    record.Measure("satellitesInView", RecordValue::Number(static_cast<double>(sky.InView().size())));
}

void GpsCheck::Describe(CheckRecord& record) const
{
    RmcRecord rmc;
    GsaRecord gsa;
    GgaRecord gga;
    VtgRecord vtg;
    GsvRecord gsv;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    parser.GetGga(&gga);
    parser.GetVtg(&vtg);
    parser.GetGsv(&gsv);
    // The texts exactly as the dialog shows them.
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    record.Fact("fix",
        RecordValue::Text(texts.fixModeText.ToAscii() + "  " + texts.dateText.ToAscii() + " "
            + texts.timeText.ToAscii() + " UTC"));
    record.Fact("latitude", RecordValue::Text(texts.latitudeText.ToAscii()));
    record.Fact("longitude", RecordValue::Text(texts.longitudeText.ToAscii()));
    record.Fact("altitudeMetres", RecordValue::Number(gga.altitude, 1));
    record.Fact("speedKmh", RecordValue::Number(vtg.speedKmh, 1));
    record.Fact("pdop", RecordValue::Number(gsa.pdop, 1));
    record.Fact("vdop", RecordValue::Number(gsa.vdop, 1));
    if (minSnr)
        record.Fact("minSnr", RecordValue::Number(*minSnr));
    record.Fact("sentencesDecoded", RecordValue::Number(parser.GetDecodedCount()));
    record.Fact("sentencesIgnored", RecordValue::Number(parser.GetIgnoredCount()));
    record.Fact("bytesReceived", RecordValue::Number(static_cast<double>(bytesReceived)));
    RecordTable& table = record.Table("satellites");
    for (const SkyTally::Satellite& satellite : sky.InView()) {
        table.rows.push_back({ { "system", RecordValue::Text(satellite.system) },
            { "prn", RecordValue::Number(satellite.prn) },
            { "elevation", RecordValue::Number(satellite.elevation) },
            { "azimuth", RecordValue::Number(satellite.azimuth) },
            { "snr", RecordValue::Number(satellite.snr) }, { "used", RecordValue::Flag(satellite.used) } });
    }
}

std::string GpsCheck::StatusText() const
{
    const Figures figures = Take();
    const unsigned sentences = parser.GetDecodedCount() + parser.GetIgnoredCount();
    if (!figures.fix) {
        return Format("waiting for a fix: %zu satellites in view, %u sentences, %u bad checksums",
            sky.InView().size(), sentences, parser.GetBadChecksumCount());
    }
    return Format("fix: %d satellites used, HDOP %.1f; waiting for at least %d and at most %g", figures.used,
        figures.hdop, minSatellites, maxHdop);
}
