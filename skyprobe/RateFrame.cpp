#include "skyprobe/RateFrame.h"

namespace {

constexpr int ChecksumFirst = 2;
constexpr int ChecksumA = 12;
constexpr int ChecksumB = 13;

} // namespace

RateFrame BuildRateFrame(std::int32_t seconds)
{
    // Unsigned arithmetic wraps the way a 32-bit multiply does, without the overflow a signed product
    // of a stray value would be.
    const std::uint32_t periodMs = static_cast<std::uint32_t>(seconds) * 1000u;
    RateFrame frame { 0xB5, 0x62, 0x06, 0x08, 0x06, 0x00, static_cast<std::uint8_t>(periodMs & 0xFF),
        static_cast<std::uint8_t>((periodMs >> 8) & 0xFF), 0x01, 0x00, 0x00, 0x00, 0x00, 0x00 };
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (int i = ChecksumFirst; i < ChecksumA; ++i) {
        a = static_cast<std::uint8_t>(a + frame[static_cast<std::size_t>(i)]);
        b = static_cast<std::uint8_t>(b + a);
    }
    frame[ChecksumA] = a;
    frame[ChecksumB] = b;
    return frame;
}
