#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "support/SoundFixtures.h"
#include "audiofile/KVAudioFileWriter.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "support/Unprivileged.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

std::int32_t as24(float x) { return static_cast<std::int32_t>(std::lrint(double(x) * 8388608.0)); }

class WriterTest : public PlatformFixture {};

TEST_F(WriterTest, IndependentReaderSeesSame24BitSamplesAndExactChunks) {
    const auto left = sine(997.0, 44100, 1001, 0.7), right = noise(1001, 0.9, 5);
    const Bytes bext = patternBytes(603, 11), ixml = patternBytes(1000, 3);
    const std::string path = temp().file("out.wav");
    auto writer = KVAudioFileWriter::initWithFile(path, 44100, 2, 24, KVAudioFileWriter::kTypeWAVE);
    ASSERT_TRUE(writer);
    writer->setUserData(bext.data(), fourCC("bext"), 0, static_cast<std::uint32_t>(bext.size()));
    writer->setUserData(ixml.data(), fourCC("iXML"), 0, static_cast<std::uint32_t>(ixml.size()));
    writer->setUserData(nullptr, fourCC("mext"), 0, 10);  // ignored
    auto l = left, r = right;
    float* buffers[2] = {l.data(), r.data()};
    ASSERT_EQ(writer->writeFrames(600, buffers), 0);
    float* rest[2] = {l.data() + 600, r.data() + 600};
    ASSERT_EQ(writer->writeFrames(401, rest), 0);
    EXPECT_EQ(writer->closeFile(), 0);
    EXPECT_EQ(writer->closeFile(), 0);

    const PythonWaveView view = readWithPython(path);
    ASSERT_TRUE(view.ok) << view.output;
    EXPECT_EQ(view.channels, 2);
    EXPECT_EQ(view.sampleWidth, 3);
    EXPECT_EQ(view.rate, 44100);
    ASSERT_EQ(view.frames, 1001);
    for (int i = 0; i < 1001; ++i) {
        ASSERT_NEAR(view.samples[2 * i], as24(left[i]), 1) << i;
        ASSERT_NEAR(view.samples[2 * i + 1], as24(right[i]), 1) << i;
    }
    EXPECT_EQ(view.chunks.at("bext"), bext);
    EXPECT_EQ(view.chunks.at("iXML"), ixml);
    EXPECT_EQ(view.chunks.count("mext"), 0u);
}

TEST_F(WriterTest, ClipsInPlaceAndWritesSilenceForNullChannels) {
    const std::string path = temp().file("clip.wav");
    auto writer = KVAudioFileWriter::initWithFile(path, 44100, 2, 24, KVAudioFileWriter::kTypeWAVE);
    ASSERT_TRUE(writer);
    std::vector<float> samples = {1.2f, -1.5f, NAN, 0.5f, 0.999f, 1.0f, -1.0f, -0.25f};
    float* buffers[2] = {samples.data(), nullptr};
    ASSERT_EQ(writer->writeFrames(8, buffers), 0);
    EXPECT_EQ(writer->clippedSamples(), 4);  // 1.2, -1.5, NaN and 1.0; 0.999 and -1.0 fit
    ASSERT_EQ(writer->closeFile(), 0);
    const std::vector<float> clipped = {0.999f, -1.0f, -1.0f, 0.5f, 0.999f, 0.999f, -1.0f, -0.25f};
    EXPECT_EQ(samples, clipped);
    const PythonWaveView view = readWithPython(path);
    ASSERT_TRUE(view.ok) << view.output;
    ASSERT_EQ(view.samples.size(), 16u);
    const std::int32_t top = as24(0.999f);
    const std::vector<std::int32_t> expected = {top, -8388608, -8388608, 4194304, top, top, -8388608, -2097152};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(view.samples[2 * i], expected[i]) << i;
        EXPECT_EQ(view.samples[2 * i + 1], 0) << i;
    }
    EXPECT_EQ(writer->writeFrames(8, buffers), -1);  // closed
}

// Full range keeps every 24-bit integer k handed in as k / 2^23, the top ones above 0.999
// included, and clips only what lies beyond the format; integerSample tells what either rule
// stores, as Python reads it back. 0.999f is 8380219.5 / 2^23, which rounds to 8380220.
TEST_F(WriterTest, FullRangeStoresEveryIntegerAndIntegerSampleTellsWhatIsStored) {
    const std::vector<std::int32_t> integers = {8388607, 8388000, 8380220, 8380219, -8388608, -1, 0, 12345};
    std::vector<float> samples;
    for (std::int32_t k : integers) samples.push_back(static_cast<float>(std::ldexp(double(k), -23)));
    samples.insert(samples.end(), {1.0f, 1.5f, -1.25f, NAN});
    for (const bool fullRange : {true, false}) {
        SCOPED_TRACE(fullRange ? "full range" : "0.999 ceiling");
        const std::string path = temp().file(fullRange ? "full.wav" : "ceiling.wav");
        auto writer = KVAudioFileWriter::initWithFile(path, 44100, 1, 24, KVAudioFileWriter::kTypeWAVE);
        ASSERT_TRUE(writer);
        writer->setFullRange(fullRange);
        std::vector<float> written = samples;
        float* buffers[1] = {written.data()};
        ASSERT_EQ(writer->writeFrames(FrameCount(written.size()), buffers), 0);
        // Beyond the format: 1.0, 1.5, -1.25 and NaN; under the ceiling also the three above 0.999.
        EXPECT_EQ(writer->clippedSamples(), fullRange ? 4 : 7);
        ASSERT_EQ(writer->closeFile(), 0);
        const PythonWaveView view = readWithPython(path);
        ASSERT_TRUE(view.ok) << view.output;
        ASSERT_EQ(view.samples.size(), samples.size());
        const std::int32_t top = fullRange ? 8388607 : 8380220;
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const std::int32_t expected = i < integers.size() ? std::min(integers[i], top)
                                          : i == integers.size() || i == integers.size() + 1 ? top
                                                                                             : -8388608;
            EXPECT_EQ(view.samples[i], expected) << i;
            EXPECT_EQ(KVAudioFileWriter::integerSample(samples[i], 24, fullRange), expected) << i;
            const bool aboveCeiling = !fullRange && i < 3;  // 8380220 / 2^23 lies just above 0.999f
            EXPECT_EQ(KVAudioFileWriter::clips(samples[i], 24, fullRange), i >= integers.size() || aboveCeiling) << i;
        }
    }
}

// One 24-bit frame is 3 data bytes: the data chunk needs a pad byte before a chunk set after
// the audio, which still reads back exactly.
TEST_F(WriterTest, RefusesBadArgumentsAndKeepsColonNamesAndLateChunks) {
    const std::string path = temp().file("take 1: left.wav");
    auto writer = KVAudioFileWriter::initWithFile(path, 44100, 1, 24, KVAudioFileWriter::kTypeWAVE);
    ASSERT_TRUE(writer);
    std::vector<float> one = {0.1f};
    float* buffers[1] = {one.data()};
    EXPECT_EQ(writer->writeFrames(0, buffers), -1);
    EXPECT_EQ(writer->writeFrames(1, nullptr), -1);
    EXPECT_EQ(writer->writeFrames(1, buffers), 0);
    const Bytes ixml = patternBytes(17, 90);
    writer->setUserData(ixml.data(), fourCC("iXML"), 0, 17);
    writer.reset();  // destruction finishes the file
    const PythonWaveView view = readWithPython(path);
    ASSERT_TRUE(view.ok) << view.output;
    EXPECT_EQ(view.frames, 1);
    EXPECT_EQ(view.chunks.at("iXML"), ixml);
    EXPECT_EQ(view.chunkOrder.back(), "iXML");

    // An existing file is replaced, not appended to.
    writer = KVAudioFileWriter::initWithFile(path, 44100, 1, 24, KVAudioFileWriter::kTypeWAVE);
    ASSERT_TRUE(writer);
    ASSERT_EQ(writer->closeFile(), 0);
    EXPECT_EQ(readWithPython(path).frames, 0);

    testing::internal::CaptureStderr();
    KVAudioFileWriter unknown;
    EXPECT_EQ(unknown.createFileAtPath(temp().file("x.aif"), 44100, 2, 24, fourCC("AIFF")), Status(fourCC("fmt?")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "AudioFileCreate FAILED! 1718449215 'fmt?'\n");
    EXPECT_FALSE(fs::exists(temp().file("x.aif")));
}

TEST_F(WriterTest, CreateInMissingOrWriteProtectedFolderFailsWithoutLeavingAFile) {
    testing::internal::CaptureStderr();
    const std::string missing = temp().file("no/such/folder/out.wav");
    EXPECT_EQ(KVAudioFileWriter::initWithFile(missing, 44100, 2, 24, KVAudioFileWriter::kTypeWAVE), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Cannot convert path\n");

    const fs::path locked = temp().path() / "locked";
    fs::create_directory(locked);
    ::chmod(temp().path().c_str(), 0755);
    ::chmod(locked.c_str(), 0555);
    const std::string target = (locked / "out.wav").string();
    const int result = runUnprivileged([&] {
        KVAudioFileWriter writer;
        const Status status = writer.createFileAtPath(target, 44100, 2, 24, KVAudioFileWriter::kTypeWAVE);
        return status == EACCES ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(target));
}

}  // namespace
}  // namespace orvex::test
