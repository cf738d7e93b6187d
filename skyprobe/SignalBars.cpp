#include "skyprobe/SignalBars.h"

#include <algorithm>
#include <limits>

namespace {

int BarRight(const BarRect& placeholder, std::int32_t snr)
{
    // 64-bit throughout: a placeholder with a wild width or a snr near the int32 limit must not wrap.
    const std::int64_t width
        = std::max<std::int64_t>(0, std::int64_t { placeholder.right } - placeholder.left);
    const std::int64_t unit = width / 100;
    const std::int64_t length = std::clamp<std::int64_t>(unit * snr, 0, MaxBarLength);
    const std::int64_t right = placeholder.left + length;
    return static_cast<int>(std::min<std::int64_t>(right, std::numeric_limits<int>::max()));
}

WideString BarLabel(std::int32_t snr)
{
    WideString label;
    if (snr >= 1 && snr <= 99)
        label.Format(u" %d", snr);
    else
        label = u" ";
    return label;
}

} // namespace

bool IsSatelliteUsed(std::int32_t prn, const GsaRecord& gsa)
{
    return std::find(std::begin(gsa.satelliteIds), std::end(gsa.satelliteIds), prn)
        != std::end(gsa.satelliteIds);
}

std::array<SignalBar, SatelliteSlots> ComputeSignalBars(
    const std::array<BarRect, SatelliteSlots>& placeholders, const GsvRecord& gsv, const GsaRecord& gsa)
{
    std::array<SignalBar, SatelliteSlots> bars;
    for (std::size_t slot = 0; slot < bars.size(); ++slot) {
        const GsvSatellite& satellite = gsv.satellites[slot];
        const BarRect& placeholder = placeholders[slot];
        SignalBar& bar = bars[slot];
        bar.rect = placeholder;
        bar.rect.right = BarRight(placeholder, satellite.snr);
        bar.colour = IsSatelliteUsed(satellite.prn, gsa) ? UsedBarColour : UnusedBarColour;
        bar.label = BarLabel(satellite.snr);
    }
    return bars;
}
