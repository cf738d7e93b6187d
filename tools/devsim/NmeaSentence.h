#pragma once

#include <string>
#include <string_view>

// Frames a sentence body such as "GPGLL,..." as the receiver sends it: '$', the body, '*', the checksum
// as two upper-case hex digits, CR LF.
std::string FinishNmeaSentence(std::string_view body);

// Makes a framed sentence's checksum wrong, as a bit flipped on a noisy line leaves it.
void SpoilChecksum(std::string* sentence);
