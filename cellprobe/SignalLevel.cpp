#include "cellprobe/SignalLevel.h"

#include "ui/WideString.h"

#include <climits>
#include <string>

namespace {

bool IsBlank(char16_t character)
{
    return character == u' ' || (character >= u'\t' && character <= u'\r');
}

bool IsDigit(char16_t character)
{
    return character >= u'0' && character <= u'9';
}

constexpr const char16_t* ReportTag = u"+CSQ:";
// The value has at most two digits (0 to 31, or 99); reading no further keeps whatever follows a
// two-character value (the comma, or a stray digit) out of it.
constexpr int QualityWidth = 2;

constexpr int UndetectableQuality = 99;

} // namespace

int WideToInt(const WideString& text)
{
    const int length = text.GetLength();
    int at = 0;
    while (at < length && IsBlank(text.GetAt(at)))
        ++at;
    bool negative = false;
    if (at < length && (text.GetAt(at) == u'+' || text.GetAt(at) == u'-')) {
        negative = text.GetAt(at) == u'-';
        ++at;
    }
    long long value = 0;
    for (; at < length && IsDigit(text.GetAt(at)); ++at) {
        if (value <= INT_MAX)
            value = value * 10 + (text.GetAt(at) - u'0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int SignalLevelFromQuality(int quality)
{
    if (quality == UndetectableQuality)
        return 0;
    // Compared as the received power with its sign dropped, so larger means weaker. Widened so that
    // an absurd value cannot overflow.
    const long long minusDbm = 113 - 2 * static_cast<long long>(quality);
    if (minusDbm > 120)
        return 0;
    if (minusDbm >= 102)
        return 1;
    if (minusDbm >= 93)
        return 2;
    if (minusDbm >= 87)
        return 3;
    if (minusDbm >= 78)
        return 4;
    return 5;
}

int SignalLevelFromReport(const WideString& chunkText)
{
    const int tag = chunkText.Find(ReportTag);
    int at = tag < 0 ? chunkText.GetLength()
                     : tag + static_cast<int>(std::char_traits<char16_t>::length(ReportTag));
    while (at < chunkText.GetLength() && IsBlank(chunkText.GetAt(at)))
        ++at;
    return SignalLevelFromQuality(WideToInt(chunkText.Mid(at, QualityWidth)));
}
