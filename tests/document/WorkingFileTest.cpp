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
#include "support/Shell.h"
#include "platform/PropertyList.h"
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
                             std::int64_t frames, std::int64_t frameTolerance, double levelTolerance = 0.03) {
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
        EXPECT_NEAR(amplitudeAt(middle, toneHz, 44100), 1.0, levelTolerance);
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

// A header whose rate field says 1 Hz asks for a 13.23 GB copy (100 000 s, mono): refused
// before a byte is written, whether the disk or the WAVE format is the first to be too small.
// A real conversion reports its progress up to 100.
TEST_F(WorkingFileTest, AbsurdCopiesAreRefusedAndConversionReportsProgress) {
    const std::string damaged = temp().file("one-hertz.wav");
    writeRiffWave(damaged, 1, 1, 16, std::vector<std::int32_t>(100000, 1000), {});
    std::vector<int> percents;
    working.setProgressHandler([&percents](int percent) { percents.push_back(percent); });
    EXPECT_FALSE(working.workingFileForPath(damaged));
    ASSERT_FALSE(platform().alerts().empty());
    EXPECT_NE(platform().alerts().back().message.find("13.23 GB"), std::string::npos)
        << platform().alerts().back().message;
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
    // One name, three sources: the first keeps the usual copy name, the others get their own.
    // The AAC encoder's overshoot lifts the peak the copy is normalised to, so its tone comes
    // out up to 10 % below full scale.
    struct Encoding {
        const char* file;
        const char* options;
        const char* copy;
        double levelTolerance;
    };
    for (const Encoding& e : {Encoding{"tone.mp3", "-c:a libmp3lame -b:a 192k", "tone[orvx].wav", 0.03},
                              Encoding{"tone.flac", "-c:a flac", "tone.flac[orvx].wav", 0.03},
                              Encoding{"tone.m4a", "-c:a aac -b:a 192k", "tone.m4a[orvx].wav", 0.1}}) {
        const std::string encoded = temp().file(e.file);
        if (!encodeWithFfmpeg(source, encoded, e.options)) GTEST_SKIP() << "ffmpeg cannot make " << e.file;
        const auto copy = KVWorkingFile().workingFileForPath(encoded);
        ASSERT_TRUE(copy) << e.file;
        EXPECT_EQ(*copy, temp().file(e.copy));
        expectConvertedTone(*copy, 2, 660, 44100, 44100, 3000, e.levelTolerance);
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

    // A copy of this source is reused as it is, without converting again.
    const auto made = fs::last_write_time(*copy);
    KVWorkingFile again;
    EXPECT_EQ(again.workingFileForPath(source), copy);
    EXPECT_EQ(fs::last_write_time(*copy), made);
}

// Sources "take.wav" (48 kHz, 500 Hz) and "take.aiff" (48 kHz, 1500 Hz) share the usual copy name:
// the first made keeps it, the other gets "take.aiff[orvx].wav", and each copy holds its own
// tone and names its source. A file there that is no copy, or an older copy whose dictionary
// names another source, is left alone; with both names taken the source is refused.
TEST_F(WorkingFileTest, EachSourceGetsAndKeepsACopyOfItsOwnSound) {
    const std::string wav = temp().file("take.wav"), aiff = temp().file("take.aiff");
    writeWave(wav, {sine(500, 48000, 48000, 0.5)}, 48000);
    ASSERT_EQ(runCommand("sox -n -r 48000 -c 1 -b 16 '" + aiff + "' synth 1 sine 1500 vol 0.5 2>&1"), "");
    const auto first = working.workingFileForPath(wav);
    const auto second = KVWorkingFile().workingFileForPath(aiff);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*first, temp().file("take[orvx].wav"));
    EXPECT_EQ(*second, temp().file("take.aiff[orvx].wav"));
    expectConvertedTone(*first, 1, 500, 48000, 44100, 0);
    expectConvertedTone(*second, 1, 1500, 48000, 44100, 0);
    EXPECT_EQ(readWithPython(*second).chunks.at("orvx"), Bytes(aiff.end() - 9, aiff.end()));
    EXPECT_EQ(KVWorkingFile().workingFileForPath(aiff), second);
    EXPECT_EQ(KVWorkingFile().workingFileForPath(wav), first);

    // A file of the user's own under the usual name, and an older copy (no name inside) whose
    // analysis folder names another source.
    const std::string song = temp().file("song.mp3[orvx].wav"), mp3 = temp().file("song.mp3");
    writeWave(mp3, {sine(700, 48000, 48000, 0.5)}, 48000);
    writeWave(temp().file("song[orvx].wav"), {sine(100, 44100, 999, 0.5)}, 44100);
    EXPECT_EQ(KVWorkingFile().workingFileForPath(mp3), song);
    fs::remove(song);
    fs::remove(temp().file("song[orvx].wav"));
    writeWave(temp().file("song[orvx].wav"), {sine(100, 44100, 44100, 0.5)}, 44100);
    fs::create_directory(temp().file("song[orvx].analysis"));
    PropertyList dict;
    dict.setString("ORVXFileGroup_ConvertedFrom", "song.flac");
    ASSERT_TRUE(dict.writeFileAtomically(temp().file("song[orvx].analysis/song[orvx].plist")));
    EXPECT_EQ(KVWorkingFile().workingFileForPath(mp3), song);

    fs::remove(song);
    fs::create_directory(song);
    KVWorkingFile refused;
    EXPECT_FALSE(refused.workingFileForPath(mp3));
    EXPECT_NE(refused.failure().message().find("song[orvx].wav and song.mp3[orvx].wav"), std::string::npos)
        << refused.failure().message();
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
