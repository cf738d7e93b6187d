#include "skyprobe/DisplayTexts.h"

#include <cmath>
#include <limits>

namespace {

constexpr char16_t DegreesFormat[] = u"%c %dd %d' %.1f''";
constexpr char16_t OneDecimal[] = u"%.1f";

// Record text is 8-bit; widen it the way received bytes are widened everywhere else.
int Character(char byte)
{
    return static_cast<std::int16_t>(static_cast<signed char>(byte));
}

WideString Formatted(const char16_t* format, auto... arguments)
{
    WideString text;
    text.Format(format, arguments...);
    return text;
}

// Truncation toward zero, saturating at the int32 bounds instead of the undefined behaviour a plain
// conversion has for values that do not fit.
double SaturateToInt32Range(double value)
{
    if (std::isnan(value))
        return 0.0;
    constexpr double Lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double Highest = std::numeric_limits<std::int32_t>::max();
    if (value < Lowest)
        return Lowest;
    if (value > Highest)
        return Highest;
    return value;
}

const char16_t* FixModeText(std::int32_t fixType)
{
    switch (fixType) {
    case 2:
        return u"2D";
    case 3:
        return u"3D";
    default:
        return u"Auto";
    }
}

void FormatNoFix(DisplayTexts& texts)
{
    texts.fixModeText = u"No Fix";
    texts.longitudeText = Formatted(DegreesFormat, Character(' '), 0, 0, 0.0);
    texts.latitudeText = texts.longitudeText;
    texts.altitudeText = Formatted(OneDecimal, 0.0);
    texts.speedText = texts.altitudeText;
    texts.pdopText = Formatted(u"%d", 0);
    texts.hdopText = texts.pdopText;
    texts.vdopText = texts.pdopText;
}

void FormatFix(DisplayTexts& texts, const RmcRecord& rmc, const GsaRecord& gsa, const GgaRecord& gga,
    const VtgRecord& vtg)
{
    texts.latitudeText = FormatDegrees(rmc.latitudeHemisphere[0], rmc.latitude);
    texts.longitudeText = FormatDegrees(rmc.longitudeHemisphere[0], rmc.longitude);
    texts.fixModeText = FixModeText(gsa.fixType);
    texts.pdopText = Formatted(OneDecimal, gsa.pdop);
    texts.hdopText = Formatted(OneDecimal, gsa.hdop);
    texts.vdopText = Formatted(OneDecimal, gsa.vdop);
    texts.altitudeText = Formatted(OneDecimal, gga.altitude);
    // Shown in km/h as the receiver reports it; the unit label is part of the dialog.
    texts.speedText = Formatted(OneDecimal, vtg.speedKmh);
}

} // namespace

WideString FormatDate(const RmcRecord& rmc)
{
    const char* d = rmc.date;
    return Formatted(u"20%c%c-%c%c-%c%c", Character(d[4]), Character(d[5]), Character(d[2]), Character(d[3]),
        Character(d[0]), Character(d[1]));
}

WideString FormatTime(const RmcRecord& rmc)
{
    const char* t = rmc.utcTime;
    return Formatted(u"%c%c:%c%c:%c%c", Character(t[0]), Character(t[1]), Character(t[2]), Character(t[3]),
        Character(t[4]), Character(t[5]));
}

WideString FormatDegrees(char hemisphere, double value)
{
    const double v = SaturateToInt32Range(value);
    const auto whole = static_cast<std::int32_t>(v);
    const std::int32_t degrees = whole / 100;
    const std::int32_t minutes = whole - degrees * 100;
    const double seconds = ((v - degrees * 100.0) - minutes) * 60.0;
    return Formatted(DegreesFormat, Character(hemisphere), degrees, minutes, seconds);
}

DisplayTexts FormatDisplayTexts(const RmcRecord& rmc, const GsaRecord& gsa, const GgaRecord& gga,
    const VtgRecord& vtg, const GsvRecord& gsv)
{
    DisplayTexts texts;
    texts.dateText = FormatDate(rmc);
    texts.timeText = FormatTime(rmc);
    if (rmc.latitudeHemisphere[0] == 0)
        FormatNoFix(texts);
    else
        FormatFix(texts, rmc, gsa, gga, vtg);
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        const std::int32_t prn = gsv.satellites[slot].prn;
        const bool occupied = prn > 0;
        texts.satelliteLabels[static_cast<std::size_t>(slot)]
            = occupied ? Formatted(u"%d", prn) : WideString(u"-");
        texts.barNeedsRepaint[static_cast<std::size_t>(slot)] = occupied;
    }
    return texts;
}
