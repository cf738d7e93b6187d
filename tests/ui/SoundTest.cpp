#include "ui/PlaySound.h"
#include "ui/WaveFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(tag[i]));
}

struct WaveShape {
    unsigned format = 1;
    unsigned channels = 1;
    std::uint32_t rate = 8000;
    unsigned bits = 8;
    std::uint32_t dataBytes = 8;
    std::uint32_t declaredDataBytes = 8;
    bool extraChunkFirst = false;
};

std::vector<std::uint8_t> MakeWave(const WaveShape& shape)
{
    std::vector<std::uint8_t> out;
    PutTag(out, "RIFF");
    Put32(out, 0);
    PutTag(out, "WAVE");
    if (shape.extraChunkFirst) {
        PutTag(out, "LIST");
        Put32(out, 3); // odd: padded to 4
        PutTag(out, "abc");
    }
    PutTag(out, "fmt ");
    Put32(out, 16);
    Put16(out, shape.format);
    Put16(out, shape.channels);
    Put32(out, shape.rate);
    Put32(out, shape.rate * shape.channels * shape.bits / 8);
    Put16(out, shape.channels * shape.bits / 8);
    Put16(out, shape.bits);
    PutTag(out, "data");
    Put32(out, shape.declaredDataBytes);
    for (std::uint32_t i = 0; i < shape.dataBytes; ++i)
        out.push_back(static_cast<std::uint8_t>(i));
    return out;
}

} // namespace

TEST(WaveFile, AcceptsPcmOfEightAndSixteenBitsMonoAndStereo)
{
    struct Case {
        const char* name;
        WaveShape shape;
        bool accepted;
        std::size_t frames;
    };
    const Case cases[] = {
        { "8-bit mono", { 1, 1, 8000, 8, 8, 8 }, true, 8 },
        { "16-bit stereo", { 1, 2, 44100, 16, 16, 16 }, true, 4 },
        { "chunk before fmt, odd length padded", { 1, 1, 8000, 8, 8, 8, true }, true, 8 },
        { "data cut short by the end of file", { 1, 2, 8000, 16, 10, 4000 }, true, 2 },
        { "half a frame is dropped", { 1, 2, 8000, 16, 6, 6 }, true, 1 },
        { "compressed format", { 2, 1, 8000, 8, 8, 8 }, false, 0 },
        { "24-bit samples", { 1, 1, 8000, 24, 9, 9 }, false, 0 },
        { "six channels", { 1, 6, 8000, 16, 24, 24 }, false, 0 },
        { "no samples", { 1, 1, 8000, 8, 0, 0 }, false, 0 },
        { "zero sample rate", { 1, 1, 0, 8, 8, 8 }, false, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> bytes = MakeWave(c.shape);
        WaveFile wave;
        EXPECT_EQ(wave.Parse(bytes), c.accepted);
        EXPECT_EQ(wave.FrameCount(), c.frames);
        if (c.accepted) {
            EXPECT_EQ(wave.channels, static_cast<int>(c.shape.channels));
            EXPECT_EQ(wave.sampleRate, static_cast<int>(c.shape.rate));
            EXPECT_EQ(wave.samples.front(), 0);
        }
    }
    WaveFile wave;
    const std::vector<std::uint8_t> notRiff = { 'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E' };
    EXPECT_FALSE(wave.Parse(notRiff));
    EXPECT_FALSE(wave.Parse({}));
}

TEST(PlaySound, FindsTheFileAndNeverHoldsTheCallerWithoutADevice)
{
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    // Ten seconds of 8-bit silence: with a device, a synchronous play would take that long.
    WaveShape shape;
    shape.dataBytes = shape.declaredDataBytes = 80000;
    const std::vector<std::uint8_t> bytes = MakeWave(shape);
    const QString path = directory.filePath(QStringLiteral("ring.WAV"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    file.close();
    QFile junk(directory.filePath(QStringLiteral("junk.WAV")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a wave file");
    junk.close();

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(directory.path()));
    EXPECT_EQ(PlaySound(u"missing.WAV", SND_ASYNC), FALSE);
    EXPECT_EQ(PlaySound(u"junk.WAV", SND_ASYNC), FALSE);
    EXPECT_EQ(PlaySound(u"ring.WAV", SND_ASYNC), TRUE); // found in the working directory
    EXPECT_EQ(PlaySound(reinterpret_cast<const char16_t*>(path.utf16()), SND_ASYNC), TRUE);
    QDir::setCurrent(previous);

    if (QDir(QStringLiteral("/dev/snd")).exists())
        GTEST_SKIP() << "machine limit: this machine has a sound device, so the no-device case cannot be checked";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(PlaySound(reinterpret_cast<const char16_t*>(path.utf16()), SND_SYNC), TRUE);
    // Generous bound: far below the sound's ten seconds, so the missing device was noticed at once.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(PlaySound(nullptr, SND_ASYNC), TRUE);
}
