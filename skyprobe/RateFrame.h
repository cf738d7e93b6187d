#pragma once

#include <array>
#include <cstdint>

// The receiver's binary configuration frame that sets its measurement period, i.e. how often it
// computes and reports a fix. It is the only command the program ever sends to the receiver.
constexpr int RateFrameSize = 14;
using RateFrame = std::array<std::uint8_t, RateFrameSize>;

// Builds the frame for a period of seconds: sync B5 62, class 06 (configuration), id 08 (rate), payload
// length 6, then little-endian the period in milliseconds, navigation rate 1 and time reference 0 (UTC),
// then the two 8-bit Fletcher checksum bytes over class to payload end. The period is seconds * 1000
// taken in 32 bits, of which the frame holds the low 16; the caller keeps seconds within 1 to 60, where
// nothing is cut off, but any value gives a well-formed frame.
RateFrame BuildRateFrame(std::int32_t seconds);
