#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// XOR of every character between '$' and '*', the value a receiver writes after the '*'.
std::uint8_t NmeaChecksum(std::string_view body);

// Frames a sentence body such as "GPGLL,..." as the receiver sends it: '$', the body, '*', the checksum
// as two upper-case hex digits, CR LF.
std::string FinishNmeaSentence(std::string_view body);
