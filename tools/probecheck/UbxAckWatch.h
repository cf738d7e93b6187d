#pragma once

#include <array>
#include <cstdint>

// Looks for the receiver's answer to the rate frame in its raw output: the binary acknowledgement
// (ACK-ACK) or refusal (ACK-NAK) that names the configuration class and the rate message. The answer
// arrives between NMEA sentences and may be split over chunks at any byte; only a frame whose
// checksum holds counts.
class UbxAckWatch {
public:
    enum class Answer { None, Acknowledged, Refused };

    // Feeds received bytes in order. Returns the answer found in them, if any.
    Answer Feed(const char* bytes, int count);

private:
    static constexpr std::size_t FrameSize = 10;
    // The last bytes seen, oldest first, so a frame split over chunks is still found.
    std::array<std::uint8_t, FrameSize> window {};
    std::size_t filled = 0;
};
