#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/SoundFixtures.h"
#include "document/KVWorkingFile.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "support/Unprivileged.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::int32_t> toInt24(const Channels& channels) {
    std::vector<std::int32_t> out;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& channel : channels) out.push_back(static_cast<std::int32_t>(std::lrint(channel[i] * 8388607.0)));
    return out;
}

std::vector<float> channelOf(const PythonWaveView& view, int channel) {
    std::vector<float> out;
    for (std::size_t i = channel; i < view.samples.size(); i += view.channels) out.push_back(view.samples[i] / 8388608.0f);
    return out;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class WorkingFileTest : public PlatformFixture {
protected:
    // A converted copy: 24-bit, 44.1 kHz, the expected length, peak at full scale, and the
    // tone at its true frequency (not where an unconverted rate would put it).
    void expectConvertedTone(const std::string& copy, int channels, double toneHz, double sourceRate,
                             std::int64_t frames, std::int64_t frameTolerance) {
        const PythonWaveView view = readWithPython(copy);
        ASSERT_TRUE(view.ok) << view.output;
        EXPECT_EQ(view.sampleWidth, 3);
        EXPECT_EQ(view.rate, 44100);
        EXPECT_EQ(view.channels, channels);
        EXPECT_NEAR(double(view.frames), double(frames), double(frameTolerance));
        std::int32_t peak = 0;
        for (std::int32_t s : view.samples) peak = std::max(peak, std::abs(s));
        EXPECT_GE(peak, 8380000);
        const std::vector<float> left = channelOf(view, 0);
        const std::vector<float> middle(left.begin() + left.size() / 4, left.begin() + 3 * left.size() / 4);
        EXPECT_NEAR(amplitudeAt(middle, toneHz, 44100), 1.0, 0.03);
        if (sourceRate != 44100) {
            EXPECT_LT(amplitudeAt(middle, toneHz * sourceRate / 44100, 44100), 0.05);
        }
    }

    KVWorkingFile working;
};

TEST_F(WorkingFileTest, ConvertsOtherRatesWithChunksCopiedExactly) {
    const Bytes bext = patternBytes(603, 9), ixml = patternBytes(120, 77);
    const std::string source = temp().file("take.48k.wav");
    writeRiffWave(source, 2, 48000, 24,
                  toInt24({sine(1000, 48000, 48000, 0.25), sine(1000, 48000, 48000, 0.1)}),
                  {{"bext", bext}, {"iXML", ixml}});
    const auto copy = working.workingFileForPath(source);
    ASSERT_TRUE(copy);
    EXPECT_EQ(*copy, temp().file("take.48k[orvx].wav"));
    EXPECT_EQ(working.temporaryOutFilePath(), *copy);
    expectConvertedTone(*copy, 2, 1000, 48000, 44100, 0);
    const PythonWaveView view = readWithPython(*copy);
    EXPECT_EQ(view.chunks.at("bext"), bext);
    EXPECT_EQ(view.chunks.at("iXML"), ixml);
    // The right channel keeps its level relative to the left.
    EXPECT_NEAR(amplitudeAt(channelOf(view, 1), 1000, 44100), 0.4, 0.02);
    EXPECT_TRUE(platform().alerts().empty());

    const std::string high = temp().file("high.wav");
    writeWave(high, {sine(3000, 96000, 96000, 0.5)}, 96000);
    const auto highCopy = working.workingFileForPath(high);
    ASSERT_TRUE(highCopy);
    expectConvertedTone(*highCopy, 1, 3000, 96000, 44100, 0);

    working.removeTemporaryOutFile();
    EXPECT_FALSE(fs::exists(*highCopy));
    EXPECT_TRUE(fs::exists(*copy));
}

// A header whose rate field says 1 Hz asks for a copy of more than a day: refused before a
// byte is written. A real conversion reports its progress up to 100.
TEST_F(WorkingFileTest, AbsurdCopiesAreRefusedAndConversionReportsProgress) {
    const std::string damaged = temp().file("one-hertz.wav");
    writeRiffWave(damaged, 1, 1, 16, std::vector<std::int32_t>(100000, 1000), {});
    std::vector<int> percents;
    working.setProgressHandler([&percents](int percent) { percents.push_back(percent); });
    EXPECT_FALSE(working.workingFileForPath(damaged));
    ASSERT_FALSE(platform().alerts().empty());
    EXPECT_NE(platform().alerts().back().title.find("File too long"), std::string::npos);
    EXPECT_EQ(filesIn(temp().path()), std::vector<std::string>{"one-hertz.wav"});
    EXPECT_TRUE(percents.empty());

    const std::string source = temp().file("take.48k.wav");
    writeWave(source, {sine(1000, 48000, 48000 * 25, 0.25)}, 48000);
    ASSERT_TRUE(working.workingFileForPath(source));
    ASSERT_GE(percents.size(), 4u);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
}

TEST_F(WorkingFileTest, ConvertsCompressedFilesAt44100) {
    const std::string source = temp().file("source.wav");
    writeWave(source, {sine(660, 44100, 44100, 0.5), sine(660, 44100, 44100, 0.5)}, 44100);
    struct Encoding {
        const char* file;
        const char* options;
    };
    for (const Encoding& e : {Encoding{"tone.mp3", "-c:a libmp3lame -b:a 192k"}, Encoding{"tone.flac", "-c:a flac"},
                              Encoding{"tone.m4a", "-c:a aac -b:a 192k"}}) {
        const std::string encoded = temp().file(e.file);
        if (!encodeWithFfmpeg(source, encoded, e.options)) GTEST_SKIP() << "ffmpeg cannot make " << e.file;
        const auto copy = working.workingFileForPath(encoded);
        ASSERT_TRUE(copy) << e.file;
        EXPECT_EQ(*copy, temp().file(fs::path(e.file).stem().string() + "[orvx].wav"));
        expectConvertedTone(*copy, 2, 660, 44100, 44100, 3000);
    }
}

// Linear PCM at 44.1 kHz is its own working file; an existing copy is reused.
TEST_F(WorkingFileTest, NoNewCopyOfLinearPcmAt44100OrOfAConvertedFileAndSilenceUnscaled) {
    const std::string pcm24 = temp().file("a.wav"), pcm16 = temp().file("b.wav"), floats = temp().file("c.wav");
    writeWave(pcm24, {sine(100, 44100, 500), sine(150, 44100, 500)}, 44100);
    writeWave(pcm16, {sine(100, 44100, 500)}, 44100, 0x0002 /* PCM_16 */);
    writeWave(floats, {sine(100, 44100, 500)}, 44100, 0x0006 /* FLOAT */);
    for (const std::string& path : {pcm24, pcm16, floats}) {
        EXPECT_EQ(working.workingFileForPath(path), path);
        EXPECT_EQ(working.temporaryOutFilePath(), "");
    }
    EXPECT_EQ(filesIn(temp().path()), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));

    const std::string source = temp().file("quiet.wav");
    writeWave(source, {std::vector<float>(4800, 0.0f)}, 48000);
    const auto copy = working.workingFileForPath(source);
    ASSERT_TRUE(copy);
    const PythonWaveView view = readWithPython(*copy);
    ASSERT_TRUE(view.ok) << view.output;
    EXPECT_EQ(view.frames, 4410);
    EXPECT_TRUE(std::all_of(view.samples.begin(), view.samples.end(), [](std::int32_t s) { return s == 0; }));

    std::ofstream(*copy, std::ios::trunc) << "placeholder";
    KVWorkingFile again;
    EXPECT_EQ(again.workingFileForPath(source), copy);
    std::ifstream in(*copy);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "placeholder");
}

TEST_F(WorkingFileTest, FailedConversionLeavesNoCopyBehind) {
    const std::string text = temp().file("words.aif");
    std::ofstream(text) << "not audio";
    EXPECT_FALSE(working.workingFileForPath(text));
    ASSERT_EQ(platform().alerts().size(), 1u);
    EXPECT_EQ(platform().alerts()[0].title, "Unsupported File Format / File Unreadable");
    EXPECT_EQ(platform().alerts()[0].buttons, std::vector<std::string>{"Okay"});

    // Write-protected folder: the copy cannot even be started.
    const fs::path locked = temp().path() / "locked";
    fs::create_directory(locked);
    const std::string source = (locked / "tone.wav").string();
    writeWave(source, {sine(500, 48000, 4800)}, 48000);
    ::chmod(temp().path().c_str(), 0755);
    ::chmod(locked.c_str(), 0555);
    const int unprivileged = runUnprivileged([&] {
        KVWorkingFile file;
        return file.workingFileForPath(source) ? 1 : 0;
    });
    EXPECT_EQ(unprivileged, 0);
    EXPECT_EQ(filesIn(locked), std::vector<std::string>{"tone.wav"});

    // The disk fills up halfway through the copy: nothing is left under the working name.
    const std::string big = temp().file("long.wav");
    writeWave(big, {noise(96000, 0.5), noise(96000, 0.5, 2)}, 48000);
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200000, 200000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        KVWorkingFile file;
        std::_Exit(file.workingFileForPath(big) ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (const std::string& name : filesIn(temp().path())) EXPECT_EQ(name.find("long["), std::string::npos) << name;
}

}  // namespace
}  // namespace orvex::test
