#include "ui/WaveFile.h"

#include <cstring>

namespace {

std::uint32_t Read32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t Read16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

constexpr std::uint16_t PcmFormat = 1;

} // namespace

bool WaveFile::Parse(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0
        || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return false;
    int foundChannels = 0;
    int foundRate = 0;
    int foundBits = 0;
    bool haveFormat = false;
    std::size_t at = 12;
    while (bytes.size() - at >= 8) {
        const std::uint8_t* chunk = bytes.data() + at;
        const std::size_t declared = Read32(chunk + 4);
        const std::size_t available = bytes.size() - at - 8;
        const std::size_t size = declared < available ? declared : available;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || Read16(chunk + 8) != PcmFormat)
                return false;
            foundChannels = Read16(chunk + 10);
            foundRate = static_cast<int>(Read32(chunk + 12));
            foundBits = Read16(chunk + 22);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || (foundChannels != 1 && foundChannels != 2)
                || (foundBits != 8 && foundBits != 16) || foundRate <= 0)
                return false;
            const std::size_t frame = static_cast<std::size_t>(foundChannels * foundBits / 8);
            const std::size_t usable = size - size % frame;
            if (usable == 0)
                return false;
            channels = foundChannels;
            sampleRate = foundRate;
            bitsPerSample = foundBits;
            samples.assign(chunk + 8, chunk + 8 + usable);
            return true;
        }
        // Chunks are padded to an even length.
        const std::size_t advance = 8 + size + (size & 1);
        if (advance > bytes.size() - at)
            break;
        at += advance;
    }
    return false;
}
