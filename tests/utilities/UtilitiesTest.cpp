#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "audiofile/KVAudioFileWriter.h"
#include "support/SoundFixtures.h"
#include "support/PlatformFixture.h"
#include "utilities/KVUtilities.h"

namespace orvex::test {
namespace {

// Samples for a time given in parts, at rate.
std::uint64_t samplesOf(int h, int m, int s, int ms, double rate) {
    return static_cast<std::uint64_t>(std::llround((((h * 60.0 + m) * 60.0 + s) + ms / 1000.0) * rate));
}

TEST(TimeFormatTest, LongAndShortForms) {
    struct Case {
        std::uint64_t samples;
        double rate;
        const char* longForm;
        const char* shortForm;
    };
    const Case cases[] = {
        {0, 44100, "00:00:00:000", "000ms"},
        {44100, 44100, "00:00:01:000", "01.000"},
        {samplesOf(0, 0, 0, 250, 1000), 1000, "00:00:00:250", "250ms"},
        {samplesOf(0, 2, 5, 7, 1000), 1000, "00:02:05:007", "02:05.007"},
        {samplesOf(3, 25, 45, 678, 1000), 1000, "03:25:45:678", "03:25:45.678"},
        {samplesOf(1, 0, 0, 0, 48000), 48000, "01:00:00:000", "01:00:00.000"},
        {44099, 44100, "00:00:00:999", "999ms"},  // truncated, not rounded
        {12345, 0, "00:00:00:000", "0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(KVUtilities::SamplesToTime(c.samples, c.rate), c.longForm) << c.samples;
        EXPECT_EQ(KVUtilities::SamplesToTimeShort(c.samples, c.rate), c.shortForm) << c.samples;
    }
}

TEST(NoteNameTest, NamesAndOctavesOfKnownPitches) {
    // MIDI note n has frequency 440 * 2^((n - 69) / 12); octave = n / 12 - 1, not below -2.
    auto hz = [](int note) { return static_cast<float>(440.0 * std::pow(2.0, (note - 69) / 12.0)); };
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(440.0f), "A 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(261.63f), "C 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(70)), "Bb 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(61)), "C# 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(21)), "A 0");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(0)), "C -1");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(127)), "G 9");
    // Slightly sharp or flat rounds to the nearest note.
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(69) * 1.02f), "A 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(69) * 1.04f), "Bb 4");
    // Below note 0 the name comes from |n| mod 12 and the octave stops at -2.
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(1.0f), "C -2");  // n = -36
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(-5)), "F -1");  // trunc(-5 / 12) - 1
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(hz(-13)), "C# -2");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(0.0f), "");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(-3.0f), "");
    // Tuned to A4 = 415.3 Hz (a semitone down), 415.3 Hz is A4 and 440 Hz Bb4.
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(415.3f, 415.3), "A 4");
    EXPECT_EQ(KVUtilities::noteNumberFromFrequency(440.0f, 415.3), "Bb 4");
    EXPECT_EQ(KVUtilities::noteName(60), "C4");
    EXPECT_EQ(KVUtilities::noteName(0), "C-1");
    EXPECT_EQ(KVUtilities::noteName(70), "Bb4");
}

class SoundTest : public PlatformFixture {};

TEST_F(SoundTest, FinishedSoundHonoursPreferencesAndPlaysOnTheMainThread) {
    KVUtilities::playFinishedSound();  // no preferences saved yet: plays
    platform().setIntegerForKey("General_PrefsVersion", 3);
    KVUtilities::playFinishedSound();  // chime switched off
    platform().setBoolForKey("General_ChimeWhenDone", true);
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        KVUtilities::playFinishedSound();
        returned = true;
    });
    worker.join();  // returns without the main thread pumping
    EXPECT_TRUE(returned);
    platform().pumpMainThread();
    EXPECT_EQ(platform().soundsPlayed(), (std::vector<std::string>{"finished-new.aiff", "finished-new.aiff"}));
}

TEST_F(SoundTest, StartupSoundUnlessSwitchedOff) {
    KVUtilities::playStartupSound();
    platform().setBoolForKey("General_PlayStartupSound", false);
    KVUtilities::playStartupSound();
    platform().setBoolForKey("General_PlayStartupSound", true);
    KVUtilities::playStartupSound();
    EXPECT_EQ(platform().soundsPlayed(), (std::vector<std::string>{"orvn.aif", "orvn.aif"}));
}

class MetadataChunksTest : public PlatformFixture {};

TEST_F(MetadataChunksTest, CopiedFromSourceIntoWrittenFileInOrderAndOnlyWhenPresent) {
    const Bytes bext = patternBytes(602, 4), ixml = patternBytes(77, 50), mext = patternBytes(9, 1);
    const std::string source = temp().file("source.wav"), copy = temp().file("copy.wav");
    writeRiffWave(source, 1, 44100, 16, {0, 100, -100}, {{"iXML", ixml}, {"bext", bext}});
    auto reader = KVAudioFileReader::initWithFileAtPath(source, 44100, 1);
    ASSERT_TRUE(reader);
    KVMetadataChunks chunks = KVUtilities::metadataChunksOfFile(*reader);
    EXPECT_EQ(chunks.bextSize, 602u);
    EXPECT_EQ(chunks.ixmlSize, 77u);
    EXPECT_EQ(chunks.mextData, nullptr);
    chunks.mextData = std::malloc(mext.size());
    std::memcpy(chunks.mextData, mext.data(), mext.size());
    chunks.mextSize = static_cast<std::uint32_t>(mext.size());

    auto writer = KVAudioFileWriter::initWithFile(copy, 44100, 1, 24, KVAudioFileWriter::kTypeWAVE);
    ASSERT_TRUE(writer);
    KVUtilities::writeMetadataChunks(chunks, *writer);
    ASSERT_EQ(writer->closeFile(), 0);
    KVUtilities::releaseMetadataChunks(chunks);
    EXPECT_EQ(chunks.bextData, nullptr);
    EXPECT_EQ(chunks.ixmlData, nullptr);
    KVUtilities::releaseMetadataChunks(chunks);  // nothing left to free

    const PythonWaveView view = readWithPython(copy);
    ASSERT_TRUE(view.ok) << view.output;
    EXPECT_EQ(view.chunkOrder, (std::vector<std::string>{"fmt", "bext", "mext", "iXML", "data"}));
    EXPECT_EQ(view.chunks.at("bext"), bext);
    EXPECT_EQ(view.chunks.at("mext"), mext);
    EXPECT_EQ(view.chunks.at("iXML"), ixml);

    // A source without them gives a copy without them (no empty chunks).
    writeRiffWave(source, 1, 44100, 16, {1, 2}, {});
    auto plain = KVAudioFileReader::initWithFileAtPath(source, 44100, 1);
    ASSERT_TRUE(plain);
    chunks = KVUtilities::metadataChunksOfFile(*plain);
    EXPECT_EQ(chunks.bextData, nullptr);
    EXPECT_EQ(chunks.bextSize, 0u);
    writer = KVAudioFileWriter::initWithFile(copy, 44100, 1, 24, KVAudioFileWriter::kTypeWAVE);
    KVUtilities::writeMetadataChunks(chunks, *writer);
    ASSERT_EQ(writer->closeFile(), 0);
    EXPECT_EQ(readWithPython(copy).chunkOrder, (std::vector<std::string>{"fmt", "data"}));
}

}  // namespace
}  // namespace orvex::test
