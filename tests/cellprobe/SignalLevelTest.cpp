#include "cellprobe/SignalLevel.h"

#include "ui/WideString.h"

#include <gtest/gtest.h>

#include <climits>

TEST(SignalLevel, ConvertsLikeTheWideCLibrary)
{
    struct Case {
        const char* text;
        int value;
    };
    const Case cases[] = {
        { "17", 17 },
        { "5,", 5 },
        { "", 0 },
        { " 7", 7 },
        { "\t 9x", 9 },
        { "-3", -3 },
        { "+8", 8 },
        { "ab", 0 },
        { "- 3", 0 },
        { "+C", 0 },
        { "  ", 0 },
        { "99999999999", INT_MAX },
        { "-99999999999", INT_MIN },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(WideToInt(WideString::FromAscii(c.text)), c.value);
    }
}

TEST(SignalLevel, StepsOfTheQualityValue)
{
    struct Case {
        int quality;
        int level;
    };
    const Case cases[] = {
        { INT_MIN, 0 },
        { -50, 0 },
        { -4, 0 },
        { -3, 1 },
        { 0, 1 },
        { 5, 1 },
        { 6, 2 },
        { 10, 2 },
        { 11, 3 },
        { 13, 3 },
        { 14, 4 },
        { 17, 4 },
        { 18, 5 },
        { 31, 5 },
        { 98, 5 },
        { 99, 0 },
        { 100, 5 },
        { INT_MAX, 5 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.quality);
        EXPECT_EQ(SignalLevelFromQuality(c.quality), c.level);
    }
}

TEST(SignalLevel, ReadsTheValueAfterTheFirstReport)
{
    struct Case {
        const char* text;
        int level;
    };
    const Case cases[] = {
        { "+CSQ: 17,99OK", 4 },
        { "+CSQ: 9", 2 },
        { "x+CSQ: 17,99", 4 },
        { "+CREG: 1+CSQ:99,99", 0 },
        { "+CSQ:   18", 5 },
        // Two characters at most, so an out-of-range "100" reads as 10.
        { "+CSQ: 100,99", 2 },
        { "+CSQ: 5,99+CSQ: 31,99", 1 },
        { "+CSQ:", 1 },
        { "+CSQ", 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(SignalLevelFromReport(WideString::FromAscii(c.text)), c.level);
    }
}
