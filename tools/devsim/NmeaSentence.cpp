#include "tools/devsim/NmeaSentence.h"

#include "nmea/NmeaParser.h"

#include <string_view>

namespace {

constexpr char Hex[] = "0123456789ABCDEF";

}

std::string FinishNmeaSentence(std::string_view body)
{
    const std::uint8_t sum = NmeaParser::Checksum(body.data(), static_cast<int>(body.size()));
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

void SpoilChecksum(std::string* sentence)
{
    // The last checksum digit, just before CR LF, with its lowest bit flipped.
    if (sentence->size() < 3)
        return;
    char& digit = (*sentence)[sentence->size() - 3];
    const std::string_view hex(Hex);
    const std::size_t value = hex.find(digit);
    if (value != std::string_view::npos)
        digit = hex[value ^ 1];
}
