#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <thread>

#include "support/SoundFixtures.h"
#include "audiofile/KVAudioFileReader.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {
namespace {

constexpr float kLsb24 = 1.0f / 8388608.0f;

// Owns a per-channel buffer array from the reader's helper.
struct Buffers {
    Buffers(int channels, int length) : channels(channels), data(KVAudioFileReader::allocateBuffersForChannels(channels, length)) {}
    ~Buffers() { KVAudioFileReader::freeBuffers(data, channels); }
    void fill(float value, int length) {
        for (int c = 0; c < channels; ++c) std::fill(data[c], data[c] + length, value);
    }
    int channels;
    float** data;
};

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

    Buffers b(2, 600);
    EXPECT_EQ(reader->readFrames(600, b.data), 600);
    b.fill(7.0f, 600);
    EXPECT_EQ(reader->readFrames(600, b.data), 400);
    for (int i = 0; i < 600; ++i) {
        const float wantLeft = i < 400 ? left[600 + i] : 0.0f, wantRight = i < 400 ? right[600 + i] : 0.0f;
        ASSERT_NEAR(b.data[0][i], wantLeft, kLsb24) << i;
        ASSERT_NEAR(b.data[1][i], wantRight, kLsb24) << i;
    }
    b.fill(7.0f, 600);
    EXPECT_EQ(reader->readFrames(600, b.data), 0);
    EXPECT_TRUE(std::all_of(b.data[1], b.data[1] + 600, [](float v) { return v == 0.0f; }));

    // A null channel is skipped; the other is still delivered.
    float* onlyRight[2] = {nullptr, b.data[1]};
    EXPECT_EQ(reader->readAt(10, 5, onlyRight), 5);
    EXPECT_NEAR(b.data[1][0], right[10], kLsb24);
    EXPECT_NEAR(b.data[1][4], right[14], kLsb24);
    // Seeking past the end is not a failure; it reads nothing.
    EXPECT_EQ(reader->readAt(5000, 5, b.data), 0);

    EXPECT_EQ(reader->closeFile(), 0);
    EXPECT_EQ(reader->closeFile(), 0);
    EXPECT_FALSE(reader->isOpen());
    b.fill(7.0f, 600);
    EXPECT_EQ(reader->readFrames(10, b.data), -1);
    EXPECT_EQ(reader->readAt(0, 10, b.data), -1);
    EXPECT_EQ(b.data[0][0], 7.0f);  // untouched
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

TEST_F(ReaderTest, ConvertsRateToTheTrueSine) {
    const std::string path = temp().file("tone48k.wav");
    writeWave(path, {sine(1000.0, 48000, 48000, 0.5)}, 48000);
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 1);
    ASSERT_TRUE(reader);
    EXPECT_DOUBLE_EQ(reader->rateRatio(), 0.91875);
    EXPECT_EQ(reader->length(), 44100);
    std::vector<float> out(44100 + 100);
    float* channels[1] = {out.data()};
    EXPECT_EQ(reader->readFrames(static_cast<FrameCount>(out.size()), channels), 44100);
    // Away from the edges, the converted signal is the same sine sampled at 44.1 kHz.
    const auto expected = sine(1000.0, 44100, 44100, 0.5);
    double worst = 0;
    for (int i = 2000; i < 42000; ++i) worst = std::max(worst, double(std::fabs(out[i] - expected[i])));
    EXPECT_LT(worst, 1e-3);
    out.resize(44100);
    EXPECT_NEAR(amplitudeAt(out, 1000.0, 44100), 0.5, 0.01);
}

TEST_F(ReaderTest, SeekingWithRateConversionMatchesReadingStraightThrough) {
    const std::string path = stereoFile(48000, 3 * 48000);
    auto straight = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(straight);
    const FrameCount total = 3 * 44100;
    ASSERT_EQ(straight->length(), total);
    Buffers whole(2, total);
    ASSERT_EQ(straight->readFrames(total, whole.data), total);

    auto seeking = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(seeking);
    // Uneven blocks, forwards and backwards, some contiguous (no seek needed).
    const std::vector<std::pair<FramePos, FrameCount>> reads = {
        {100000, 7001}, {12345, 999}, {13344, 20000}, {0, 1}, {131000, 1300}, {88200, 441}, {3, 44100}};
    Buffers block(2, 44100);
    for (auto [start, n] : reads) {
        ASSERT_EQ(seeking->readAt(start, n, block.data), n) << start;
        for (int c = 0; c < 2; ++c)
            for (FrameCount i = 0; i < n; ++i)
                ASSERT_NEAR(block.data[c][i], whole.data[c][start + i], 1e-7) << "start " << start << " frame " << i;
    }
}

TEST_F(ReaderTest, MapsChannels) {
    const auto mono = sine(300.0, 44100, 2000, 0.4);
    const std::string monoPath = temp().file("mono.wav");
    writeWave(monoPath, {mono}, 44100);
    auto asStereo = KVAudioFileReader::initWithFileAtPath(monoPath, 44100, 2);
    ASSERT_TRUE(asStereo);
    Buffers b(2, 2000);
    ASSERT_EQ(asStereo->readFrames(2000, b.data), 2000);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_NEAR(b.data[0][i], mono[i], kLsb24);
        ASSERT_EQ(b.data[1][i], b.data[0][i]);
    }

    const auto left = sine(300.0, 44100, 2000, 0.4), right = noise(2000, 0.4, 9);
    const std::string stereoPath = temp().file("stereo.wav");
    writeWave(stereoPath, {left, right}, 44100);
    auto asMono = KVAudioFileReader::initWithFileAtPath(stereoPath, 44100, 1);
    ASSERT_TRUE(asMono);
    ASSERT_EQ(asMono->readFrames(2000, b.data), 2000);
    for (int i = 0; i < 2000; ++i) ASSERT_NEAR(b.data[0][i], 0.5f * (left[i] + right[i]), kLsb24);
}

TEST_F(ReaderTest, ChunksReadBackExactlyIncludingOddSizes) {
    const Bytes bext = patternBytes(603, 1), ixml = patternBytes(42, 200);
    const std::string path = temp().file("chunks.wav");
    writeRiffWave(path, 1, 44100, 16, {1, -2, 3, -4}, {{"bext", bext}, {"junk", patternBytes(5, 0)}, {"iXML", ixml}});
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 1);
    ASSERT_TRUE(reader);
    std::uint32_t size = 99;
    void* data = reader->userDataWithId(fourCC("bext"), 0, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size), bext);
    std::free(data);
    data = reader->userDataWithId(fourCC("iXML"), 0, &size);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Bytes(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size), ixml);
    std::free(data);
    size = 99;
    EXPECT_EQ(reader->userDataWithId(fourCC("mext"), 0, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(reader->userDataWithId(fourCC("bext"), 1, &size), nullptr);
    // The audio is still found behind the chunks.
    Buffers b(1, 4);
    ASSERT_EQ(reader->readFrames(4, b.data), 4);
    EXPECT_FLOAT_EQ(b.data[0][3], -4.0f / 32768.0f);
}

TEST_F(ReaderTest, SharedBetweenThreadsEachReadIsConsistent) {
    const std::string path = stereoFile(48000, 48000);
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
    ASSERT_TRUE(reader);
    Buffers whole(2, 44100);
    ASSERT_EQ(reader->readAt(0, 44100, whole.data), 44100);
    auto worker = [&](FramePos first, int* mismatches) {
        Buffers b(2, 2000);
        for (FramePos start = first; start + 2000 <= 44100; start += 7919)
            if (reader->readAt(start, 2000, b.data) != 2000 || std::fabs(b.data[1][1999] - whole.data[1][start + 1999]) > 1e-6f)
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
