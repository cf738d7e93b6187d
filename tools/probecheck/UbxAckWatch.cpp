#include "tools/probecheck/UbxAckWatch.h"

#include <algorithm>

namespace {

// sync B5 62, class 05 (acknowledgements), id 01 (ACK) or 00 (NAK), payload length 2, then the class
// and id of the acknowledged message, 06 08 (configuration, rate), then the two checksum bytes.
constexpr std::uint8_t Sync1 = 0xB5;
constexpr std::uint8_t Sync2 = 0x62;
constexpr std::uint8_t AckClass = 0x05;
constexpr std::uint8_t AckId = 0x01;
constexpr std::uint8_t NakId = 0x00;
constexpr std::uint8_t RateClass = 0x06;
constexpr std::uint8_t RateId = 0x08;

// The receiver's 8-bit Fletcher sum over class to payload end.
bool ChecksumHolds(const std::array<std::uint8_t, 10>& frame)
{
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    for (std::size_t i = 2; i < 8; ++i) {
        a = static_cast<std::uint8_t>(a + frame[i]);
        b = static_cast<std::uint8_t>(b + a);
    }
    return frame[8] == a && frame[9] == b;
}

} // namespace

UbxAckWatch::Answer UbxAckWatch::Feed(const char* bytes, int count)
{
    Answer answer = Answer::None;
    for (int i = 0; i < count; ++i) {
        if (filled == FrameSize) {
            std::rotate(window.begin(), window.begin() + 1, window.end());
            --filled;
        }
        window[filled++] = static_cast<std::uint8_t>(bytes[i]);
        if (filled < FrameSize)
            continue;
        const bool shape = window[0] == Sync1 && window[1] == Sync2 && window[2] == AckClass
            && (window[3] == AckId || window[3] == NakId) && window[4] == 2 && window[5] == 0
            && window[6] == RateClass && window[7] == RateId;
        if (shape && ChecksumHolds(window))
            answer = window[3] == AckId ? Answer::Acknowledged : Answer::Refused;
    }
    return answer;
}
