#pragma once

#include "nmea/NmeaRecords.h"
#include "ui/WideString.h"

#include <array>
#include <cstdint>
#include <iterator>

constexpr int SatelliteSlots = 12;
static_assert(
    std::size(GsvRecord {}.satellites) == SatelliteSlots, "one slot per satellite the record holds");

// Everything the fix area of the dialog shows, formatted from copies of the decoder's records. The
// members carry the names of the dialog fields they fill, so refreshing the dialog is a plain copy.
struct DisplayTexts {
    WideString dateText;
    WideString timeText;
    WideString longitudeText;
    WideString latitudeText;
    WideString altitudeText;
    WideString speedText;
    WideString pdopText;
    WideString hdopText;
    WideString vdopText;
    WideString fixModeText;
    std::array<WideString, SatelliteSlots> satelliteLabels;
    // True for the slots that hold a satellite (prn above 0): their bar areas are to be repainted.
    // Empty slots are left alone, so a bar painted there earlier stays until something else repaints.
    std::array<bool, SatelliteSlots> barNeedsRepaint {};
};

// Formats the records as the dialog shows them on each refresh. The fix fields show the no-fix texts
// exactly when the RMC record has no latitude hemisphere; the receiver's status letter is not looked
// at, so a void fix that still carries a position is shown. gsa, gga and vtg are read only when there
// is a position. Text fields of the records end at their first zero byte.
DisplayTexts FormatDisplayTexts(const RmcRecord& rmc, const GsaRecord& gsa, const GgaRecord& gga,
    const VtgRecord& vtg, const GsvRecord& gsv);

// "20yy-mm-dd" from the record's ddmmyy date; "20" and nothing more while the date is empty.
WideString FormatDate(const RmcRecord& rmc);
// "hh:mm:ss" from the record's hhmmss.sss time; empty while the time is empty.
WideString FormatTime(const RmcRecord& rmc);

// "H dd.. m' ss.s''" for an NMEA angle held as degrees and minutes run together (ddmm.mmmm): 4916.45
// with 'N' gives "N 49d 16' 27.0''". The seconds are rounded to one decimal with no carry into the
// minutes, so 59.95 and more show as 60.0. A value outside the 32-bit integer range is shown as the
// nearest value inside it and NaN as 0, so garbage from the receiver gives bounded text.
WideString FormatDegrees(char hemisphere, double value);
