// Writes the ring tone cellprobe plays on an incoming call: one ring burst of the 440 + 480 Hz pair,
// two short rings and a pause, as a 16-bit mono PCM WAV. Run at build time:
//   make_ringtone <output.wav>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr std::uint32_t SampleRate = 16000;
constexpr double FirstToneHz = 440.0;
constexpr double SecondToneHz = 480.0;
// Each tone at 0.3 of full scale keeps the pair's sum well clear of clipping.
constexpr double ToneAmplitude = 0.3 * 32767.0;
// Ramps at every burst edge: a tone that starts or stops at full amplitude clicks.
constexpr double FadeSeconds = 0.015;

struct Segment {
    double seconds;
    bool sounding;
};

// A double ring: the burst is replayed on every "RING" the module sends, which comes every few
// seconds, so the pause at the end keeps consecutive bursts apart.
constexpr Segment Cadence[] = {
    { 0.4, true },
    { 0.2, false },
    { 0.4, true },
    { 0.5, false },
};

void AppendBurst(std::vector<std::int16_t>& samples, double seconds)
{
    const std::size_t count = static_cast<std::size_t>(seconds * SampleRate);
    const std::size_t fade = static_cast<std::size_t>(FadeSeconds * SampleRate);
    for (std::size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        double gain = 1.0;
        const std::size_t fromEdge = std::min(i, count - 1 - i);
        if (fromEdge < fade)
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * static_cast<double>(fromEdge) / fade);
        const double value = ToneAmplitude
            * (std::sin(2.0 * std::numbers::pi * FirstToneHz * t)
                + std::sin(2.0 * std::numbers::pi * SecondToneHz * t));
        samples.push_back(static_cast<std::int16_t>(std::lround(gain * value)));
    }
}

std::vector<std::int16_t> RingBurst()
{
    std::vector<std::int16_t> samples;
    for (const Segment& segment : Cadence) {
        if (segment.sounding)
            AppendBurst(samples, segment.seconds);
        else
            samples.insert(samples.end(), static_cast<std::size_t>(segment.seconds * SampleRate), 0);
    }
    return samples;
}

void PutLe(std::vector<unsigned char>& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void PutTag(std::vector<unsigned char>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// RIFF/WAVE with a 16-byte PCM format chunk and one data chunk, all little-endian.
std::vector<unsigned char> WaveFile(const std::vector<std::int16_t>& samples)
{
    constexpr std::uint32_t Channels = 1;
    constexpr std::uint32_t BitsPerSample = 16;
    constexpr std::uint32_t BlockAlign = Channels * BitsPerSample / 8;
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size()) * BlockAlign;

    std::vector<unsigned char> out;
    PutTag(out, "RIFF");
    PutLe(out, 4 + (8 + 16) + (8 + dataBytes), 4);
    PutTag(out, "WAVE");
    PutTag(out, "fmt ");
    PutLe(out, 16, 4);
    PutLe(out, 1, 2); // PCM
    PutLe(out, Channels, 2);
    PutLe(out, SampleRate, 4);
    PutLe(out, SampleRate * BlockAlign, 4);
    PutLe(out, BlockAlign, 2);
    PutLe(out, BitsPerSample, 2);
    PutTag(out, "data");
    PutLe(out, dataBytes, 4);
    for (const std::int16_t sample : samples)
        PutLe(out, static_cast<std::uint16_t>(sample), 2);
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.wav>\n", argc > 0 ? argv[0] : "make_ringtone");
        return 2;
    }
    const char* path = argv[1];
    const std::vector<unsigned char> bytes = WaveFile(RingBurst());
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "make_ringtone: cannot create %s: %s\n", path, std::strerror(errno));
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make_ringtone: cannot write %s: %s\n", path,
            std::strerror(written ? errno : writeError));
        std::remove(path);
        return 1;
    }
    return 0;
}
