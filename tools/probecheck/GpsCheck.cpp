#include "tools/probecheck/GpsCheck.h"

#include "skyprobe/DisplayTexts.h"
#include "skyprobe/RateFrame.h"
#include "skyprobe/ReceiverLine.h"
#include "skyprobe/SignalBars.h"
#include "tools/common/CommandLine.h"
#include "tools/probecheck/CheckLoop.h"
#include "tools/probecheck/JsonWriter.h"
#include "tools/probecheck/Progress.h"
#include "tools/probecheck/SerialSession.h"

#include <cstring>

namespace {

constexpr const char* Help
    = "Usage: probecheck gps [--timeout S] [--min-satellites N] [--max-hdop X] [--rate S]\n"
      "                      [--device PATH] [--json]\n"
      "\n"
      "Checks the GPS receiver. Opens it at 9600 baud, 8N1, as skyprobe does, cuts its\n"
      "output into NMEA sentences and decodes them with skyprobe's own code, and passes\n"
      "when a valid fix (RMC status A, GSA fix 2D or 3D) with at least N satellites used\n"
      "and an HDOP of at most X arrives within the timeout.\n"
      "\n"
      "  --timeout S         give up after S seconds, 1 to 3600 (default 60)\n"
      "  --min-satellites N  satellites used in the fix, 0 to 12 (default 4)\n"
      "  --max-hdop X        largest horizontal dilution of precision, above 0 (default 5)\n"
      "  --rate S            first send the receiver the rate frame for one report every\n"
      "                      S seconds (1 to 60), and require its acknowledgement\n"
      "  --device PATH       the receiver's serial device (default COM4: the device in\n"
      "                      $COM4, else /dev/ttyS3)\n"
      "  --json              print one JSON object on one line instead of the summary\n"
      "\n"
      "Reports the time to first fix, the satellites in view and used with their signal\n"
      "levels, the dilutions of precision, position, altitude, speed, date and time as\n"
      "skyprobe shows them, and how many sentences were decoded and ignored (other\n"
      "talkers and types, sentences with a damaged header). Progress goes to standard\n"
      "error.\n"
      "\n"
      "Exit status: 0 pass, 1 fail, 2 could not run (bad option; receiver missing, busy\n"
      "or lost; interrupted).\n";

constexpr unsigned StatusTimerId = 1;
constexpr auto StatusPeriod = std::chrono::milliseconds(250);

template <std::size_t Width> std::string RecordText(const char (&field)[Width])
{
    return std::string(field, strnlen(field, Width));
}

int UsedCount(const GsaRecord& gsa)
{
    int used = 0;
    for (const std::int32_t id : gsa.satelliteIds)
        used += id > 0 ? 1 : 0;
    return used;
}

// The receiver calls its fix valid, and it is a 2D or 3D one.
bool HasValidFix(const RmcRecord& rmc, const GsaRecord& gsa)
{
    return rmc.status[0] == 'A' && (gsa.fixType == 2 || gsa.fixType == 3);
}

const char* AnswerName(UbxAckWatch::Answer answer)
{
    switch (answer) {
    case UbxAckWatch::Answer::Acknowledged:
        return "acknowledged";
    case UbxAckWatch::Answer::Refused:
        return "refused";
    case UbxAckWatch::Answer::None:
        return "none";
    }
    return "none";
}

void WriteSatellites(JsonWriter& writer, const GsvRecord& gsv, const GsaRecord& gsa)
{
    writer.BeginArray("satellites");
    for (const GsvSatellite& satellite : gsv.satellites) {
        if (satellite.prn <= 0)
            continue;
        writer.BeginObject();
        writer.Integer("prn", satellite.prn);
        writer.Integer("elevation", satellite.elevation);
        writer.Integer("azimuth", satellite.azimuth);
        writer.Integer("snr", satellite.snr);
        writer.Bool("used", IsSatelliteUsed(satellite.prn, gsa));
        writer.EndObject();
    }
    writer.EndArray();
}

} // namespace

int GpsCheck::Main(CommandLine& arguments)
{
    return RunSubcommand(
        arguments, "gps", Help, [&](bool* help) { return Parse(arguments, help); }, [this] { return Run(); },
        "probecheck");
}

bool GpsCheck::Parse(CommandLine& arguments, bool* help)
{
    return ParseCheckOptions(arguments, &common, help, [&](std::string_view option) {
        if (option == "--timeout")
            (void)arguments.Number(1, 3600, &timeoutSeconds);
        else if (option == "--min-satellites")
            (void)arguments.WholeNumber(0, SatelliteSlots, &minSatellites);
        else if (option == "--max-hdop")
            (void)arguments.Number(0.1, 99.9, &maxHdop);
        else if (option == "--rate") {
            int seconds = 0;
            if (arguments.WholeNumber(MinUpdateRateSeconds, MaxUpdateRateSeconds, &seconds))
                rateSeconds = seconds;
        } else
            return false;
        return true;
    });
}

int GpsCheck::Run()
{
    std::u16string portName;
    CheckOutcome outcome;
    if (!SerialSession::PortName(common.device, GpsPortName, &portName, &outcome.reason))
        return report.Finish(outcome, common.device, common.json, nullptr, nullptr);
    devicePath = SerialSession::ResolvePath(portName);
    {
        Progress progress("gps", report.Start());
        CheckLoop loop;
        std::string error;
        if (!loop.Open(&error)) {
            outcome.reason = error;
        } else {
            SerialSession port(loop, [&](const char* bytes, int count) { OnChunk(bytes, count, progress); });
            if (!port.Open(portName, GpsBaudRate, GpsByteSize, GpsStopBits, GpsParity, &error)) {
                outcome.reason = error;
            } else {
                outcome = Measure(loop, port, progress);
                progress.Event("closing the port");
            }
        }
    }
    return report.Finish(
        outcome, devicePath, common.json, [this](JsonWriter& writer) { WriteJson(writer); },
        [this] { return Summary(); });
}

CheckOutcome GpsCheck::Measure(CheckLoop& loop, SerialSession& port, Progress& progress)
{
    openedAt = report.Elapsed();
    progress.Event("opened " + devicePath + " at 9600 baud");
    if (rateSeconds) {
        // Right after opening, as the dialog sends it.
        const RateFrame frame = BuildRateFrame(*rateSeconds);
        port.Write(frame.data(), RateFrameSize);
        progress.Event(Format("sent the rate frame for a report every %d s", *rateSeconds));
    }
    const auto deadline = CheckLoop::After(report.Start(), timeoutSeconds);
    loop.SetTimer(StatusTimerId, StatusPeriod, [&] { progress.Status(StatusText()); });
    const CheckLoop::Stop stop = loop.RunUntil([&] { return Finished() || port.IsLost(); }, deadline);
    loop.KillTimer(StatusTimerId);
    if (stop == CheckLoop::Stop::Interrupted)
        return report.Interrupted(loop.SignalName());
    if (port.IsLost() && !Finished())
        return { Verdict::NotRun,
            Format("the receiver went away after %.1f s (device lost)", report.Elapsed()) };
    return Judge();
}

void GpsCheck::OnChunk(const char* bytes, int count, Progress& progress)
{
    bytesReceived += count;
    const UbxAckWatch::Answer answer = ackWatch.Feed(bytes, count);
    if (rateSeconds && answer != UbxAckWatch::Answer::None && rateAnswer == UbxAckWatch::Answer::None) {
        rateAnswer = answer;
        rateAnswerAt = report.Elapsed();
        progress.Event(std::string("the receiver ") + AnswerName(answer) + " the rate frame");
    }
    collector.Feed(bytes, count, [&](const char* sentence, int length) {
        parser.ParseSentence(sentence, length);
        Evaluate(progress);
    });
}

void GpsCheck::Evaluate(Progress& progress)
{
    RmcRecord rmc;
    GsaRecord gsa;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    if (!HasValidFix(rmc, gsa))
        return;
    if (!firstFixAt) {
        firstFixAt = report.Elapsed();
        progress.Event(Format("first fix after %.1f s", *firstFixAt - openedAt.value_or(0)));
    }
    // An HDOP of 0 is an empty field, not a perfect geometry.
    if (!criteriaMetAt && UsedCount(gsa) >= minSatellites && gsa.hdop > 0 && gsa.hdop <= maxHdop) {
        criteriaMetAt = report.Elapsed();
        progress.Event(Format("fix with %d satellites used, HDOP %.1f", UsedCount(gsa), gsa.hdop));
    }
}

bool GpsCheck::Finished() const
{
    if (rateAnswer == UbxAckWatch::Answer::Refused)
        return true;
    return criteriaMetAt && (!rateSeconds || rateAnswer == UbxAckWatch::Answer::Acknowledged);
}

CheckOutcome GpsCheck::Judge() const
{
    RmcRecord rmc;
    GsaRecord gsa;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    if (rateAnswer == UbxAckWatch::Answer::Refused)
        return { Verdict::Fail, "the receiver refused the rate frame (ACK-NAK)" };
    if (criteriaMetAt && !Finished())
        return { Verdict::Fail,
            Format("a fix, but no acknowledgement of the rate frame within %g s", timeoutSeconds) };
    if (criteriaMetAt) {
        return { Verdict::Pass,
            Format("fix after %.1f s with %d satellites used (at least %d) and HDOP %.1f (at most %g)",
                *firstFixAt - openedAt.value_or(0), UsedCount(gsa), minSatellites, gsa.hdop, maxHdop) };
    }
    if (bytesReceived == 0)
        return { Verdict::Fail, Format("nothing received within %g s", timeoutSeconds) };
    if (parser.GetDecodedCount() == 0) {
        return { Verdict::Fail,
            Format("no NMEA sentence decoded within %g s (%lld bytes received: wrong device or baud rate?)",
                timeoutSeconds, bytesReceived) };
    }
    if (!firstFixAt)
        return { Verdict::Fail, Format("no fix within %g s", timeoutSeconds) };
    return { Verdict::Fail,
        Format("a fix, but only %d satellites used (at least %d) and HDOP %.1f (at most %g) within %g s",
            UsedCount(gsa), minSatellites, gsa.hdop, maxHdop, timeoutSeconds) };
}

std::string GpsCheck::StatusText() const
{
    RmcRecord rmc;
    GsaRecord gsa;
    GsvRecord gsv;
    parser.GetRmc(&rmc);
    parser.GetGsa(&gsa);
    parser.GetGsv(&gsv);
    const unsigned sentences = parser.GetDecodedCount() + parser.GetIgnoredCount();
    if (!HasValidFix(rmc, gsa)) {
        return Format(
            "waiting for a fix: %d satellites in view, %u sentences", gsv.satellitesInView, sentences);
    }
    return Format("%dD fix: %d satellites used, HDOP %.1f; waiting for at least %d and at most %g",
        gsa.fixType, UsedCount(gsa), gsa.hdop, minSatellites, maxHdop);
}

void GpsCheck::WriteJson(JsonWriter& writer) const
{
    writer.BeginObject("criteria");
    writer.Number("timeoutSeconds", timeoutSeconds, 3);
    writer.Integer("minSatellites", minSatellites);
    writer.Number("maxHdop", maxHdop, 2);
    if (rateSeconds)
        writer.Integer("rateSeconds", *rateSeconds);
    else
        writer.Null("rateSeconds");
    writer.EndObject();

    writer.BeginObject("timings");
    writer.Number("portOpenedSeconds", openedAt, 3);
    std::optional<double> timeToFirstFix;
    if (firstFixAt)
        timeToFirstFix = *firstFixAt - openedAt.value_or(0);
    writer.Number("timeToFirstFixSeconds", timeToFirstFix, 3);
    writer.Number("criteriaMetSeconds", criteriaMetAt, 3);
    writer.Number("rateAnswerSeconds", rateAnswerAt, 3);
    writer.EndObject();

    WriteMeasured(writer);
}

GpsCheck::Records GpsCheck::TakeRecords() const
{
    Records records;
    parser.GetRmc(&records.rmc);
    parser.GetGsa(&records.gsa);
    parser.GetGga(&records.gga);
    parser.GetVtg(&records.vtg);
    parser.GetGsv(&records.gsv);
    return records;
}

void GpsCheck::WriteMeasured(JsonWriter& writer) const
{
    const auto [rmc, gsa, gga, vtg, gsv] = TakeRecords();
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    writer.BeginObject("measured");
    writer.Bool("validFix", HasValidFix(rmc, gsa));
    writer.String("rmcStatus", RecordText(rmc.status));
    writer.Integer("fixType", gsa.fixType);
    // The texts exactly as the dialog shows them.
    writer.BeginObject("display");
    writer.String("fixMode", texts.fixModeText.ToAscii());
    writer.String("date", texts.dateText.ToAscii());
    writer.String("time", texts.timeText.ToAscii());
    writer.String("latitude", texts.latitudeText.ToAscii());
    writer.String("longitude", texts.longitudeText.ToAscii());
    writer.String("altitude", texts.altitudeText.ToAscii());
    writer.String("speed", texts.speedText.ToAscii());
    writer.String("pdop", texts.pdopText.ToAscii());
    writer.String("hdop", texts.hdopText.ToAscii());
    writer.String("vdop", texts.vdopText.ToAscii());
    writer.EndObject();
    writer.Number("altitudeMetres", gga.altitude, 1);
    writer.Number("speedKmh", vtg.speedKmh, 1);
    writer.Number("pdop", gsa.pdop, 2);
    writer.Number("hdop", gsa.hdop, 2);
    writer.Number("vdop", gsa.vdop, 2);
    writer.Integer("satellitesInView", gsv.satellitesInView);
    writer.Integer("satellitesUsed", UsedCount(gsa));
    WriteSatellites(writer, gsv, gsa);
    writer.Integer("sentencesDecoded", parser.GetDecodedCount());
    writer.Integer("sentencesIgnored", parser.GetIgnoredCount());
    writer.Integer("bytesReceived", bytesReceived);
    writer.String("rateAnswer", AnswerName(rateAnswer));
    writer.EndObject();
}

std::string GpsCheck::Summary() const
{
    const auto [rmc, gsa, gga, vtg, gsv] = TakeRecords();
    const DisplayTexts texts = FormatDisplayTexts(rmc, gsa, gga, vtg, gsv);
    std::string summary = SummaryLine("device", devicePath + " at 9600 baud");
    if (!openedAt)
        return summary;
    if (firstFixAt)
        summary += SummaryLine("first fix", Format("after %.1f s", *firstFixAt - openedAt.value_or(0)));
    summary += SummaryLine("fix",
        texts.fixModeText.ToAscii() + "  " + texts.dateText.ToAscii() + " " + texts.timeText.ToAscii()
            + " UTC");
    summary += SummaryLine("latitude", texts.latitudeText.ToAscii());
    summary += SummaryLine("longitude", texts.longitudeText.ToAscii());
    summary += SummaryLine("altitude", texts.altitudeText.ToAscii() + " m");
    summary += SummaryLine("speed", texts.speedText.ToAscii() + " km/hr");
    summary += SummaryLine("DOP",
        "P " + texts.pdopText.ToAscii() + "  H " + texts.hdopText.ToAscii() + "  V "
            + texts.vdopText.ToAscii());
    summary += SummaryLine("satellites", Format("%d in view, %d used", gsv.satellitesInView, UsedCount(gsa)));
    // Each satellite's signal as a bar, one character for every two dB-Hz, used ones drawn solid as
    // the dialog draws them blue.
    for (const GsvSatellite& satellite : gsv.satellites) {
        if (satellite.prn <= 0)
            continue;
        const bool used = IsSatelliteUsed(satellite.prn, gsa);
        const int length = satellite.snr > 0 ? (satellite.snr < 100 ? satellite.snr : 100) / 2 : 0;
        summary += Format("    PRN %3d  SNR %2d  %-4s %s\n", satellite.prn, satellite.snr, used ? "used" : "",
            std::string(static_cast<std::size_t>(length), used ? '#' : '-').c_str());
    }
    summary += SummaryLine("sentences",
        Format("%u decoded, %u ignored (other talkers or types, damaged headers)", parser.GetDecodedCount(),
            parser.GetIgnoredCount()));
    if (rateSeconds)
        summary += SummaryLine("rate frame", Format("%d s, %s", *rateSeconds, AnswerName(rateAnswer)));
    summary += SummaryLine("took", Format("%.1f s", report.Elapsed()));
    return summary;
}
