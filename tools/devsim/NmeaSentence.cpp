#include "tools/devsim/NmeaSentence.h"

std::uint8_t NmeaChecksum(std::string_view body)
{
    std::uint8_t sum = 0;
    for (const char c : body)
        sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

std::string FinishNmeaSentence(std::string_view body)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const std::uint8_t sum = NmeaChecksum(body);
    std::string sentence;
    sentence.reserve(body.size() + 6);
    sentence += '$';
    sentence += body;
    sentence += '*';
    sentence += Hex[sum >> 4];
    sentence += Hex[sum & 0x0F];
    sentence += "\r\n";
    return sentence;
}
