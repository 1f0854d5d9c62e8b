#include <gtest/gtest.h>


#include "support/SoundFixtures.h"
#include "audiofile/KVAudioFileReader.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {
namespace {

struct Encoding {
    const char* name;
    const char* extension;
    const char* options;
    std::uint32_t formatID;
};

class CompressedFormatsTest : public PlatformFixture, public testing::WithParamInterface<Encoding> {};

// Each file holds a 440 Hz tone on the left and a 1500 Hz tone on the right (1 s at 44.1 kHz);
// compressed formats report 0 bits, decode to the same tones, and seek exactly.
TEST_P(CompressedFormatsTest, ReportsZeroBitsDecodesTheTonesAndSeeksExactly) {
    const Encoding& e = GetParam();
    const std::string source = temp().file("source.wav"), encoded = temp().file(std::string("tone.") + e.extension);
    writeWave(source, {sine(440.0, 44100, 44100, 0.5), sine(1500.0, 44100, 44100, 0.5)}, 44100);
    if (!encodeWithFfmpeg(source, encoded, e.options)) GTEST_SKIP() << "ffmpeg cannot make " << e.name;

    double rate = 0;
    std::int32_t channels = 0, bits = -1;
    std::uint32_t format = 0;
    std::int64_t length = 0;
    ASSERT_EQ(KVAudioFileReader::infoForFileAtPath(encoded, &rate, &channels, &bits, &format, &length), 0);
    EXPECT_EQ(bits, 0);
    EXPECT_EQ(format, e.formatID);
    EXPECT_EQ(rate, 44100.0);
    EXPECT_EQ(channels, 2);
    EXPECT_NEAR(double(length), 44100.0, 3000.0);

    auto reader = KVAudioFileReader::initWithFileAtPath(encoded, 44100, 2);
    ASSERT_TRUE(reader);
    std::vector<float> left(44100), right(44100);
    float* buffers[2] = {left.data(), right.data()};
    ASSERT_GT(reader->readFrames(44100, buffers), 40000);
    const std::vector<float> midLeft(left.begin() + 8000, left.begin() + 36000),
        midRight(right.begin() + 8000, right.begin() + 36000);
    EXPECT_NEAR(amplitudeAt(midLeft, 440.0, 44100), 0.5, 0.03);
    EXPECT_LT(amplitudeAt(midLeft, 1500.0, 44100), 0.01);
    EXPECT_NEAR(amplitudeAt(midRight, 1500.0, 44100), 0.5, 0.03);

    std::vector<float> again(1000);
    float* one[2] = {again.data(), nullptr};
    ASSERT_EQ(reader->readAt(20000, 1000, one), 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(again[i], left[20000 + i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Encodings, CompressedFormatsTest,
                         testing::Values(Encoding{"MP3", "mp3", "-c:a libmp3lame -b:a 192k", fourCC(".mp3")},
                                         Encoding{"FLAC", "flac", "-c:a flac", fourCC("flac")},
                                         Encoding{"AAC", "m4a", "-c:a aac -b:a 192k", fourCC("aac ")},
                                         Encoding{"ALAC", "m4a", "-c:a alac", fourCC("alac")},
                                         Encoding{"Vorbis", "ogg", "-c:a libvorbis -q:a 6", fourCC("vorb")}),
                         [](const testing::TestParamInfo<Encoding>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvex::test
