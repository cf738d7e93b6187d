#pragma once

#include <cstdint>
#include <span>
#include <vector>

// A PCM WAV file in memory: 8-bit unsigned or 16-bit signed little-endian samples, one or two
// channels, interleaved as stored.
class WaveFile {
public:
    // False (and *this untouched) for anything but such a file: no RIFF/WAVE header, a compressed
    // format, other sample sizes or channel counts, or no sample data. A data chunk that claims more
    // bytes than the file has is cut to what is there, as players do with truncated recordings.
    bool Parse(std::span<const std::uint8_t> bytes);

    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    std::vector<std::uint8_t> samples;

    int FrameBytes() const { return channels * bitsPerSample / 8; }
    std::size_t FrameCount() const
    {
        return FrameBytes() ? samples.size() / static_cast<std::size_t>(FrameBytes()) : 0;
    }
};
