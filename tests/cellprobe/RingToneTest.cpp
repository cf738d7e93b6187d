#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::uint32_t Le(const std::vector<unsigned char>& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | bytes.at(at + static_cast<std::size_t>(i));
    return value;
}

std::string Tag(const std::vector<unsigned char>& bytes, std::size_t at)
{
    return std::string(
        bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + 4));
}

} // namespace

TEST(RingTone, IsAShortAudiblePcmWave)
{
    std::ifstream file(RING_TONE_PATH, std::ios::binary);
    ASSERT_TRUE(file) << "the build writes " << RING_TONE_PATH;
    const std::vector<unsigned char> bytes(
        (std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 44u);

    EXPECT_EQ(Tag(bytes, 0), "RIFF");
    EXPECT_EQ(Le(bytes, 4, 4), bytes.size() - 8);
    EXPECT_EQ(Tag(bytes, 8), "WAVE");
    ASSERT_EQ(Tag(bytes, 12), "fmt ");
    ASSERT_EQ(Le(bytes, 16, 4), 16u);
    EXPECT_EQ(Le(bytes, 20, 2), 1u) << "PCM";
    EXPECT_EQ(Le(bytes, 22, 2), 1u) << "mono";
    const std::uint32_t rate = Le(bytes, 24, 4);
    EXPECT_TRUE(rate == 8000 || rate == 16000) << rate;
    EXPECT_EQ(Le(bytes, 28, 4), rate * 2) << "byte rate";
    EXPECT_EQ(Le(bytes, 32, 2), 2u) << "block align";
    EXPECT_EQ(Le(bytes, 34, 2), 16u) << "bits per sample";
    ASSERT_EQ(Tag(bytes, 36), "data");
    const std::uint32_t dataBytes = Le(bytes, 40, 4);
    ASSERT_EQ(dataBytes, bytes.size() - 44);
    ASSERT_EQ(dataBytes % 2, 0u);

    const double seconds = static_cast<double>(dataBytes / 2) / rate;
    EXPECT_GE(seconds, 1.0);
    EXPECT_LE(seconds, 2.0);

    std::vector<int> samples;
    for (std::size_t at = 44; at < bytes.size(); at += 2)
        samples.push_back(static_cast<std::int16_t>(Le(bytes, at, 2)));
    int peak = 0;
    double energy = 0;
    int largestStep = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        peak = std::max(peak, std::abs(samples[i]));
        energy += static_cast<double>(samples[i]) * samples[i];
        if (i > 0)
            largestStep = std::max(largestStep, std::abs(samples[i] - samples[i - 1]));
    }
    const double rms = std::sqrt(energy / static_cast<double>(samples.size()));
    EXPECT_GT(peak, 8000) << "loud enough to hear";
    EXPECT_LT(peak, 32767) << "not clipped";
    EXPECT_GT(rms, 2000.0);
    // Ends faded out, and no jump bigger than the tones themselves make: no clicks.
    EXPECT_LT(std::abs(samples.front()), 200);
    EXPECT_LT(std::abs(samples.back()), 200);
    EXPECT_LT(largestStep, 8000);
}
