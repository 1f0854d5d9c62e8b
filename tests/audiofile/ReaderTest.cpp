#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "audiofile/KVAudioFileReader.h"
#include "support/ChannelBuffers.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"

namespace orvex::test {
namespace {

constexpr float kLsb24 = 1.0f / 8388608.0f;

class ReaderTest : public PlatformFixture {
protected:
    std::string stereoFile(int rate, std::int64_t frames) {
        const std::string path = temp().file("stereo" + std::to_string(rate) + ".wav");
        auto left = sine(1000.0, rate, frames, 0.5);
        auto right = noise(frames, 0.3, 7);
        mixInto(right, sine(440.0, rate, frames, 0.2));
        writeWave(path, {left, right}, rate);
        return path;
    }
};

TEST_F(ReaderTest, ReadsNearAndPastTheEndWithZeroFill) {
    const auto left = sine(441.0, 44100, 1000, 0.5), right = noise(1000, 0.5, 3);
    const std::string path = temp().file("short.wav");
    writeWave(path, {left, right}, 44100);
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->length(), 1000);
    EXPECT_DOUBLE_EQ(reader->rateRatio(), 1.0);

    ChannelBuffers first(2, 600), rest(2, 600), after(2, 600), closed(2, 10);
    EXPECT_EQ(reader->readFrames(600, first.data()), 600);
    EXPECT_EQ(reader->readFrames(600, rest.data()), 400);
    expectSamples(rest.channel(0), slice(left, 600, 600), kLsb24);
    expectSamples(rest.channel(1), slice(right, 600, 600), kLsb24);
    EXPECT_EQ(reader->readFrames(600, after.data()), 0);
    expectSamples(after.channel(1), std::vector<float>(600, 0.0f));

    // A null channel is skipped; the other is still delivered.
    float* onlyRight[2] = {nullptr, after.data()[1]};
    EXPECT_EQ(reader->readAt(10, 5, onlyRight), 5);
    expectSamples(slice(after.channel(1), 0, 5), slice(right, 10, 5), kLsb24);
    // Seeking past the end is not a failure; it reads nothing.
    EXPECT_EQ(reader->readAt(5000, 5, after.data()), 0);

    EXPECT_EQ(reader->closeFile(), 0);
    EXPECT_EQ(reader->closeFile(), 0);
    EXPECT_FALSE(reader->isOpen());
    EXPECT_EQ(reader->readFrames(10, closed.data()), -1);
    EXPECT_EQ(reader->readAt(0, 10, closed.data()), -1);
    EXPECT_EQ(closed.channel(0)[0], ChannelBuffers::kSentinel);  // untouched
}

TEST_F(ReaderTest, InfoReportsFormatAndRefusesWhatIsNotSound) {
    const std::string pcm = temp().file("pcm16.wav");
    writeWave(pcm, {sine(100, 48000, 480), sine(200, 48000, 480)}, 48000, SF_FORMAT_PCM_16);
    double rate = 0;
    std::int32_t channels = 0, bits = -1;
    std::uint32_t format = 0;
    std::int64_t length = 0;
    ASSERT_EQ(KVAudioFileReader::infoForFileAtPath(pcm, &rate, &channels, &bits, &format, &length), 0);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(format, fourCC("lpcm"));
    EXPECT_EQ(length, 480);
    EXPECT_EQ(KVAudioFileReader::infoForFileAtPath(pcm, nullptr, nullptr, nullptr, nullptr, nullptr), 0);

    const std::string floats = temp().file("float.wav");
    writeWave(floats, {sine(100, 44100, 100)}, 44100, SF_FORMAT_FLOAT);
    ASSERT_EQ(KVAudioFileReader::infoForFileAtPath(floats, nullptr, &channels, &bits, nullptr, nullptr), 0);
    EXPECT_EQ(bits, 32);
    EXPECT_EQ(channels, 1);

    // An empty sound file answers the query but is not readable.
    const std::string empty = temp().file("empty.wav");
    writeRiffWave(empty, 2, 44100, 24, {}, {});
    ASSERT_EQ(KVAudioFileReader::infoForFileAtPath(empty, nullptr, nullptr, nullptr, nullptr, &length), 0);
    EXPECT_EQ(length, 0);
    EXPECT_FALSE(KVAudioFileReader::isReadableAudioFileAtPath(empty));
    EXPECT_TRUE(KVAudioFileReader::isReadableAudioFileAtPath(pcm));

    // Text, a truncated header and a missing file: non-zero status, out-values untouched.
    const std::string text = temp().file("notes.txt");
    std::ofstream(text) << "These are not the sounds you are looking for.\n";
    const std::string truncated = temp().file("truncated.wav");
    std::ofstream(truncated, std::ios::binary) << "RIFF\x10\0\0\0WAVEfmt ";
    const std::string noRate = temp().file("norate.wav");
    writeRiffWave(noRate, 1, 0, 16, {1, 2, 3}, {});
    for (const std::string& bad : {text, truncated, noRate, temp().file("missing.wav"), std::string()}) {
        rate = -5;
        EXPECT_NE(KVAudioFileReader::infoForFileAtPath(bad, &rate, nullptr, nullptr, nullptr, nullptr), 0) << bad;
        EXPECT_EQ(rate, -5);
        EXPECT_FALSE(KVAudioFileReader::isReadableAudioFileAtPath(bad));
        EXPECT_EQ(KVAudioFileReader::initWithFileAtPath(bad, 44100, 2), nullptr);
        KVAudioFileReader reader;
        EXPECT_NE(reader.openFileAtPath(bad, 44100, 2), 0);
        EXPECT_FALSE(reader.isOpen());
    }
}

// A 48 kHz file read at 44.1 kHz: away from the edges the left channel is the same 1 kHz sine
// on the 44.1 kHz grid, and reads anywhere give the frames of reading straight through.
TEST_F(ReaderTest, ConvertsRateToTheTrueSineAndSeeksLikeReadingStraightThrough) {
    const std::string path = stereoFile(48000, 3 * 48000);
    auto straight = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(straight);
    EXPECT_DOUBLE_EQ(straight->rateRatio(), 0.91875);
    const FrameCount total = 3 * 44100;
    ASSERT_EQ(straight->length(), total);
    ChannelBuffers whole(2, total + 100);
    ASSERT_EQ(straight->readFrames(total + 100, whole.data()), total);
    expectSamples(slice(whole.channel(0), 2000, total - 4000),
                  slice(sine(1000.0, 44100, total, 0.5), 2000, total - 4000), 1e-3f);

    auto seeking = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(seeking);
    // Uneven blocks, forwards and backwards, some contiguous (no seek needed).
    const std::vector<std::pair<FramePos, FrameCount>> reads = {
        {100000, 7001}, {12345, 999}, {13344, 20000}, {0, 1}, {131000, 1300}, {88200, 441}, {3, 44100}};
    ChannelBuffers block(2, 44100);
    for (auto [start, n] : reads) {
        SCOPED_TRACE(start);
        ASSERT_EQ(seeking->readAt(start, n, block.data()), n);
        for (int c = 0; c < 2; ++c)
            expectSamples(slice(block.channel(c), 0, n), slice(whole.channel(c), start, n), 1e-7f);
    }
}

TEST_F(ReaderTest, MapsChannels) {
    const auto mono = sine(300.0, 44100, 2000, 0.4);
    const std::string monoPath = temp().file("mono.wav");
    writeWave(monoPath, {mono}, 44100);
    auto asStereo = KVAudioFileReader::initWithFileAtPath(monoPath, 44100, 2);
    ASSERT_TRUE(asStereo);
    ChannelBuffers b(2, 2000);
    ASSERT_EQ(asStereo->readFrames(2000, b.data()), 2000);
    expectSamples(b.channel(0), mono, kLsb24);
    EXPECT_EQ(b.channel(1), b.channel(0));

    const auto left = sine(300.0, 44100, 2000, 0.4), right = noise(2000, 0.4, 9);
    const std::string stereoPath = temp().file("stereo.wav");
    writeWave(stereoPath, {left, right}, 44100);
    auto asMono = KVAudioFileReader::initWithFileAtPath(stereoPath, 44100, 1);
    ASSERT_TRUE(asMono);
    ASSERT_EQ(asMono->readFrames(2000, b.data()), 2000);
    for (int i = 0; i < 2000; ++i) ASSERT_NEAR(b.data()[0][i], 0.5f * (left[i] + right[i]), kLsb24);
}

// An odd-sized chunk and an unknown one ahead of the audio (MetadataChunksTest reads bext and
// iXML back byte for byte through a written copy).
TEST_F(ReaderTest, ChunksReadBackExactlyIncludingOddSizes) {
    const Bytes bext = patternBytes(603, 1);
    const std::string path = temp().file("chunks.wav");
    writeRiffWave(path, 1, 44100, 16, {1, -2, 3, -4}, {{"bext", bext}, {"junk", patternBytes(5, 0)}});
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 1);
    ASSERT_TRUE(reader);
    std::uint32_t size = 99;
    void* data = reader->userDataWithId(fourCC("bext"), 0, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size), bext);
    std::free(data);
    size = 99;
    EXPECT_EQ(reader->userDataWithId(fourCC("mext"), 0, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(reader->userDataWithId(fourCC("bext"), 1, &size), nullptr);
    // The audio is still found behind the chunks.
    ChannelBuffers b(1, 4);
    ASSERT_EQ(reader->readFrames(4, b.data()), 4);
    EXPECT_FLOAT_EQ(b.channel(0)[3], -4.0f / 32768.0f);
}

TEST_F(ReaderTest, SharedBetweenThreadsEachReadIsConsistent) {
    const std::string path = stereoFile(48000, 48000);
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(reader);
    ChannelBuffers whole(2, 44100);
    ASSERT_EQ(reader->readAt(0, 44100, whole.data()), 44100);
    auto worker = [&](FramePos first, int* mismatches) {
        ChannelBuffers b(2, 2000);
        for (FramePos start = first; start + 2000 <= 44100; start += 7919)
            if (reader->readAt(start, 2000, b.data()) != 2000 ||
                std::fabs(b.data()[1][1999] - whole.data()[1][start + 1999]) > 1e-6f)
                ++*mismatches;
    };
    int bad1 = 0, bad2 = 0;
    std::thread t1(worker, 0, &bad1), t2(worker, 3000, &bad2);
    t1.join();
    t2.join();
    EXPECT_EQ(bad1 + bad2, 0);
}

}  // namespace
}  // namespace orvex::test
