#include "skyprobe/SignalBars.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

constexpr int IntMax = std::numeric_limits<int>::max();

std::array<BarRect, SatelliteSlots> SamePlaceholder(BarRect rect)
{
    std::array<BarRect, SatelliteSlots> placeholders;
    placeholders.fill(rect);
    return placeholders;
}

} // namespace

TEST(SignalBars, LengthIsSnrUnitsOfAHundredthOfThePlaceholder)
{
    struct Case {
        const char* what;
        BarRect placeholder;
        std::int32_t snr;
        int right;
        const char* label;
    };
    const Case cases[] = {
        { "the usual bar", { 230, 21, 346, 30 }, 45, 275, " 45" },
        { "no signal, no bar", { 230, 21, 346, 30 }, 0, 230, " " },
        { "weakest labelled", { 230, 21, 346, 30 }, 1, 231, " 1" },
        { "strongest labelled", { 230, 21, 346, 30 }, 99, 329, " 99" },
        { "100 and more: unlabelled, still unit times snr", { 230, 21, 346, 30 }, 150, 380, " " },
        { "two pixels a unit", { 0, 0, 250, 9 }, 45, 90, " 45" },
        { "placeholder under 100 pixels", { 230, 21, 329, 30 }, 45, 230, " 45" },
        { "negative signal", { 230, 21, 346, 30 }, -5, 230, " " },
        { "placeholder with right left of left", { 230, 21, 10, 30 }, 45, 230, " 45" },
        { "huge signal is capped", { 230, 21, 346, 30 }, std::numeric_limits<std::int32_t>::max(),
            230 + MaxBarLength, " " },
        { "huge placeholder and signal", { -IntMax, 0, IntMax, 9 }, 99, -IntMax + MaxBarLength, " 99" },
        { "cap meets the edge of the coordinates", { IntMax - 200, 0, IntMax, 9 }, 1 << 30, IntMax, " " },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GsvRecord gsv {};
        gsv.satellites[4] = { 7, 40, 120, c.snr };
        const auto bars = ComputeSignalBars(SamePlaceholder(c.placeholder), gsv, GsaRecord {});
        const SignalBar& bar = bars[4];
        EXPECT_EQ(bar.rect.left, c.placeholder.left);
        EXPECT_EQ(bar.rect.top, c.placeholder.top);
        EXPECT_EQ(bar.rect.bottom, c.placeholder.bottom);
        EXPECT_EQ(bar.rect.right, c.right);
        EXPECT_EQ(bar.label.ToAscii(), c.label);
    }
}

TEST(SignalBars, BlueForSatellitesInTheFixRedForTheRest)
{
    GsaRecord gsa {};
    const std::int32_t inFix[] = { 13, 15, 17, 19, 20 };
    std::copy(std::begin(inFix), std::end(inFix), gsa.satelliteIds);
    GsaRecord fullFix {};
    for (int i = 0; i < SatelliteSlots; ++i)
        fullFix.satelliteIds[i] = i + 1;

    struct Case {
        std::int32_t prn;
        const GsaRecord& fix;
        BarColour colour;
    };
    const Case cases[] = {
        { 13, gsa, UsedBarColour },
        { 20, gsa, UsedBarColour },
        { 24, gsa, UnusedBarColour },
        { -13, gsa, UnusedBarColour },
        { 0, gsa, UsedBarColour }, // the fix's empty entries read 0
        { 0, fullFix, UnusedBarColour },
        { 12, fullFix, UsedBarColour },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prn);
        EXPECT_EQ(IsSatelliteUsed(c.prn, c.fix), c.colour == UsedBarColour);
        GsvRecord gsv {};
        gsv.satellites[0] = { c.prn, 0, 0, 30 };
        EXPECT_EQ(ComputeSignalBars(SamePlaceholder({ 0, 0, 100, 9 }), gsv, c.fix)[0].colour, c.colour);
    }
    EXPECT_EQ(UsedBarColour, (BarColour { 0, 0, 255 }));
    EXPECT_EQ(UnusedBarColour, (BarColour { 255, 0, 0 }));
}

TEST(SignalBars, EachSlotUsesItsOwnPlaceholderAndSatellite)
{
    std::array<BarRect, SatelliteSlots> placeholders;
    GsvRecord gsv {};
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        placeholders[static_cast<std::size_t>(slot)] = { 300, 20 + 12 * slot, 416, 29 + 12 * slot };
        gsv.satellites[slot] = { slot + 1, 0, 0, 10 + slot };
    }
    const auto bars = ComputeSignalBars(placeholders, gsv, GsaRecord {});
    for (int slot = 0; slot < SatelliteSlots; ++slot) {
        SCOPED_TRACE(slot);
        const SignalBar& bar = bars[static_cast<std::size_t>(slot)];
        EXPECT_EQ(bar.rect, (BarRect { 300, 20 + 12 * slot, 310 + slot, 29 + 12 * slot }));
        // Built by append: GCC 12 at -O3 warns falsely (-Wrestrict) on " " + std::string.
        std::string label = " ";
        label += std::to_string(10 + slot);
        EXPECT_EQ(bar.label.ToAscii(), label);
    }
}
