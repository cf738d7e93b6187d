#pragma once

#include "nmea/NmeaRecords.h"
#include "skyprobe/DisplayTexts.h"
#include "ui/WideString.h"

#include <array>
#include <cstdint>

// A rectangle in the dialog's client pixels; right and bottom are exclusive, so width = right - left.
struct BarRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const BarRect&) const = default;
};

struct BarColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const BarColour&) const = default;
};

constexpr BarColour UsedBarColour { 0, 0, 255 };
constexpr BarColour UnusedBarColour { 255, 0, 0 };
// Labels are drawn in white on the bar's colour, top-left aligned and clipped to the bar.
constexpr BarColour BarLabelColour { 255, 255, 255 };

// No bar is longer than this many pixels, whatever signal strength the receiver claims: far beyond any
// screen, and small enough that no coordinate arithmetic on the rectangle can overflow.
constexpr int MaxBarLength = 32767;

struct SignalBar {
    BarRect rect;
    BarColour colour;
    WideString label;
};

// True when prn is one of the twelve satellite numbers of the fix. An empty entry of the GSA sentence
// reads as 0, so a prn of 0 counts as used whenever the fix lists fewer than twelve satellites.
bool IsSatelliteUsed(std::int32_t prn, const GsaRecord& gsa);

// The twelve signal bars, one per satellite slot, drawn at their placeholders. A bar keeps its
// placeholder's left, top and bottom; it is snr units long, a unit being a hundredth of the placeholder's
// width rounded down (none when the placeholder is narrower than 100 pixels). A signal of 0 or below
// gives no bar; a length beyond MaxBarLength is cut to it. The label is " <snr>" for 1 to 99 and a
// single space otherwise; the colour is UsedBarColour for satellites in the fix, else UnusedBarColour.
std::array<SignalBar, SatelliteSlots> ComputeSignalBars(
    const std::array<BarRect, SatelliteSlots>& placeholders, const GsvRecord& gsv, const GsaRecord& gsa);
