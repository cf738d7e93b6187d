#include "skyprobe/RateFrame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(RateFrame, MatchesTheReceiverFramesByteForByte)
{
    struct Case {
        std::int32_t seconds;
        RateFrame frame;
    };
    const Case cases[] = {
        { 1, { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0xE8, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x37 } },
        { 5, { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x88, 0x13, 0x01, 0x00, 0x00, 0x00, 0xB0, 0x47 } },
        { 60, { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x60, 0xEA, 0x01, 0x00, 0x00, 0x00, 0x5F, 0x8A } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(BuildRateFrame(c.seconds), c.frame);
    }
}

// Values outside 1..60 never reach the builder from the dialog, but a stray one must still give the
// low 16 bits of the 32-bit period and no arithmetic overflow (the sanitizer build traps on that).
TEST(RateFrame, KeepsTheLow16BitsOfAnyPeriod)
{
    struct Case {
        std::int32_t seconds;
        std::uint8_t low;
        std::uint8_t high;
    };
    const Case cases[] = {
        { 61, 0x48, 0xEE },
        { 66, 0xD0, 0x01 },
        { 0, 0x00, 0x00 },
        { -1, 0x18, 0xFC },
        { std::numeric_limits<std::int32_t>::max(), 0x18, 0xFC },
        { std::numeric_limits<std::int32_t>::min(), 0x00, 0x00 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        const RateFrame frame = BuildRateFrame(c.seconds);
        EXPECT_EQ(frame[6], c.low);
        EXPECT_EQ(frame[7], c.high);
        EXPECT_EQ(frame[4], 6);
        EXPECT_EQ(frame[8], 1);
    }
}
