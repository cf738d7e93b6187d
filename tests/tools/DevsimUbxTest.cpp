#include "tools/common/UbxFrame.h"
#include "tools/devsim/UbxRateDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The frames the GPS program sends for 1, 5 and 60 seconds.
const Bytes OneSecond
    = { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0xE8, 0x03, 0x01, 0x00, 0x00, 0x00, 0x00, 0x37 };
const Bytes FiveSeconds
    = { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x88, 0x13, 0x01, 0x00, 0x00, 0x00, 0xB0, 0x47 };
const Bytes SixtySeconds
    = { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, 0x60, 0xEA, 0x01, 0x00, 0x00, 0x00, 0x5F, 0x8A };

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<int> Periods(const UbxRateDecoder::Requests& requests)
{
    std::vector<int> periods;
    for (const UbxRateRequest& request : requests)
        periods.push_back(request.kind == UbxRateRequest::Kind::Poll ? -1 : request.measRateMs);
    return periods;
}

Bytes ToBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

}

TEST(UbxRateDecoder, FindsRateFramesAmongAnything)
{
    Bytes badChecksum = FiveSeconds;
    badChecksum[13] ^= 0x01;
    Bytes badPayload = FiveSeconds;
    badPayload[7] = 0x14; // 5120 ms, checksum no longer fits
    Bytes otherMessage = { 0xB5, 0x62, 0x06, 0x01, 0x03, 0x00, 0xF0, 0x05, 0x01 }; // CFG-MSG, checksum below
    otherMessage.push_back(0x00);
    otherMessage.push_back(0x00);
    {
        std::uint8_t a = 0, b = 0;
        for (std::size_t i = 2; i < 9; ++i) {
            a = static_cast<std::uint8_t>(a + otherMessage[i]);
            b = static_cast<std::uint8_t>(b + a);
        }
        otherMessage[9] = a;
        otherMessage[10] = b;
    }
    const Bytes longLength = { 0xB5, 0x62, 0x06, 0x08, 0xFF, 0xFF };
    struct Case {
        const char* name;
        Bytes stream;
        std::vector<int> periods;
    };
    const Case cases[] = {
        { "one second", OneSecond, { 1000 } },
        { "five seconds", FiveSeconds, { 5000 } },
        { "sixty seconds", SixtySeconds, { 60000 } },
        { "NMEA text before", Join({ ToBytes("$GPRMC,1*00\r\n"), FiveSeconds }), { 5000 } },
        { "a lone sync byte before", Join({ { 0xB5 }, FiveSeconds }), { 5000 } },
        { "a false start before", Join({ { 0xB5, 0x62, 0x06 }, FiveSeconds }), { 5000 } },
        { "bad checksum", badChecksum, {} },
        { "payload changed under its checksum", badPayload, {} },
        { "bad frame then good frame", Join({ badChecksum, OneSecond }), { 1000 } },
        { "other configuration message", otherMessage, {} },
        { "absurd length then a frame", Join({ longLength, SixtySeconds }), { 60000 } },
        { "two frames back to back", Join({ OneSecond, SixtySeconds }), { 1000, 60000 } },
        { "poll", ToBytes(Ubx::MakeFrame(0x06, 0x08, nullptr, 0)), { -1 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UbxRateDecoder whole;
        EXPECT_EQ(Periods(whole.Feed(c.stream.data(), c.stream.size())), c.periods);
        // The same bytes one at a time, as a slow line delivers them.
        UbxRateDecoder trickle;
        std::vector<int> periods;
        for (const std::uint8_t byte : c.stream)
            for (const int period : Periods(trickle.Feed(&byte, 1)))
                periods.push_back(period);
        EXPECT_EQ(periods, c.periods);
    }
}

TEST(UbxRateDecoder, KeepsNavigationRateAndTimeReference)
{
    const std::string frame = Ubx::MakeCfgRate(250, 3, 1);
    UbxRateDecoder decoder;
    const auto requests = decoder.Feed(reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size());
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].measRateMs, 250);
    EXPECT_EQ(requests[0].navRate, 3);
    EXPECT_EQ(requests[0].timeRef, 1);
}

TEST(UbxRateDecoder, GarbageDoesNotPileUp)
{
    // A stream of false starts must not stall the decoder or hide a later frame.
    UbxRateDecoder decoder;
    Bytes noise;
    for (int i = 0; i < 5000; ++i)
        noise.insert(noise.end(), { 0xB5, 0x62, 0x06, 0x08, 0x06 });
    EXPECT_TRUE(decoder.Feed(noise.data(), noise.size()).empty());
    // The last false start takes the next bytes as its length and payload and fails its checksum; the
    // search resumes inside it, so both frames still count.
    const Bytes more = Join({ { 0x00, 0x00 }, FiveSeconds, OneSecond });
    EXPECT_EQ(Periods(decoder.Feed(more.data(), more.size())), std::vector<int>({ 5000, 1000 }));
}

TEST(UbxFrame, AcknowledgementsAreByteExact)
{
    EXPECT_EQ(ToBytes(Ubx::MakeAck(0x06, 0x08, true)),
        Bytes({ 0xB5, 0x62, 0x05, 0x01, 0x02, 0x00, 0x06, 0x08, 0x16, 0x3F }));
    EXPECT_EQ(ToBytes(Ubx::MakeAck(0x06, 0x08, false)),
        Bytes({ 0xB5, 0x62, 0x05, 0x00, 0x02, 0x00, 0x06, 0x08, 0x15, 0x3A }));
    EXPECT_EQ(ToBytes(Ubx::MakeCfgRate(5000, 1, 0)), FiveSeconds);
}
