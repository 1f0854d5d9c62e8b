#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>
#include <random>

#include "history/KVEditStep.h"
#include "support/ChannelBuffers.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex {
namespace {

using test::ChannelBuffers;
using test::expectSamples;
using test::slice;

class KVEditStepTest : public ::testing::Test {
protected:
    // A mono 32-bit float WAVE of noise (exact round trip); each start value gives other samples.
    std::vector<float> writeNoise(const std::string& name, std::int64_t frames, std::uint32_t startValue) {
        auto samples = test::noise(frames, 0.5, startValue);
        test::writeWave(mTemp.file(name), {samples}, 44100, SF_FORMAT_FLOAT);
        return samples;
    }
    // Reads length frames at start of a mono step; returns the samples and the result.
    std::vector<float> readMono(const KVEditStep& step, FramePos start, std::int32_t length,
                                FrameCount* result = nullptr) {
        ChannelBuffers buffers(1, length);
        const FrameCount got = step.readAt(start, length, buffers.data());
        if (result) *result = got;
        return buffers.channel(0);
    }

    test::TempDir mTemp;
};

TEST_F(KVEditStepTest, FileAt48kHzIsMeasuredAndReadAtTheWorkingRate) {
    test::writeWave(mTemp.file("48k.wav"), {test::sine(1000.0, 48000.0, 96000)}, 48000, SF_FORMAT_FLOAT);
    auto step = KVEditStep::initWithFile(mTemp.file("48k.wav"), "x", 44100.0);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->numberOfFrames(), 88200);
    EXPECT_EQ(step->stepInfo().fragmentSampleRate, 48000.0);
    EXPECT_EQ(step->stepInfo().fragmentNumFrames, 88200);
    EXPECT_EQ(step->workingSampleRate(), 44100.0);
    // Away from the edges the resampled signal is the same 1 kHz sine on the 44.1 kHz grid.
    expectSamples(readMono(*step, 40000, 2000), slice(test::sine(1000.0, 44100.0, 42000), 40000, 2000), 2e-3f);
}

TEST_F(KVEditStepTest, NothingIsMadeOfWhatIsNotSound) {
    std::ofstream(mTemp.file("text.wav")) << "not a sound file at all";
    test::writeWave(mTemp.file("empty.wav"), {std::vector<float>{}}, 44100);
    EXPECT_FALSE(KVEditStep::initWithFile(mTemp.file("text.wav"), "x", 44100.0));
    EXPECT_FALSE(KVEditStep::initWithFile(mTemp.file("empty.wav"), "x", 44100.0));
    EXPECT_FALSE(KVEditStep::initWithFile(mTemp.file("missing.wav"), "x", 44100.0));
    EXPECT_FALSE(KVEditStep::initWithStep(nullptr, "x"));
}

// Builds random steps of file and previous-step entries (empty, covered and overlapping ones
// among them, and entries of f3.wav, which does not exist) and compares every read with a
// frame-by-frame model: the last entry added that covers a frame supplies it, at its own source
// alignment; uncovered frames and the missing file play as silence.
TEST_F(KVEditStepTest, RandomOverlapsReadLikeTheLastEntryCoveringEachFrame) {
    const std::vector<std::vector<float>> files = {writeNoise("f0.wav", 1000, 5), writeNoise("f1.wav", 1000, 6),
                                                   writeNoise("f2.wav", 1000, 7), std::vector<float>(1000, 0.0f)};
    std::mt19937 generator(1234);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(generator); };
    for (int round = 0; round < 20; ++round) {
        struct Added {
            int file;
            FramePos play0, play1, source0;
        };
        std::vector<Added> added;
        auto base = KVEditStep::initWithFile(mTemp.file("f0.wav"), "base", 44100.0);
        auto step = KVEditStep::initWithStep(base, "edit");
        step->beginEditing();
        FramePos end = 0;
        for (int k = pick(1, 6); k > 0; --k) {
            const Added e{pick(-1, 3), pick(0, 300), 0, pick(-20, 950)};
            const FramePos play1 = e.play0 + pick(0, 120);
            added.push_back({e.file, e.play0, play1, e.source0});
            const FramePos source1 = e.source0 + (play1 - e.play0);
            if (e.file < 0) {
                step->addEntryWithInfo("prev", "", base, e.source0, source1, e.play0, play1);
            } else {
                const auto path = mTemp.file("f" + std::to_string(e.file) + ".wav");
                step->addEntryWithInfo("file", path, nullptr, e.source0, source1, e.play0, play1);
            }
            if (play1 > e.play0) end = std::max(end, play1);
        }
        step->endEditingWithNumFrames(-1);
        ASSERT_EQ(step->numberOfFrames(), end);

        const FramePos start = -10;
        const std::int32_t length = std::int32_t(end + 40);
        std::vector<float> want(std::size_t(length), 0.0f);
        for (std::int32_t i = 0; i < length; ++i) {
            const FramePos t = start + i;
            for (auto e = added.rbegin(); e != added.rend(); ++e) {
                if (e->play0 <= t && t < e->play1) {
                    want[i] = slice(files[std::size_t(std::max(e->file, 0))], e->source0 + t - e->play0, 1)[0];
                    break;
                }
            }
        }
        FrameCount result = 0;
        expectSamples(readMono(*step, start, length, &result), want);
        EXPECT_EQ(result, end - start);
        expectSamples(readMono(*step, end + 5, 10, &result), std::vector<float>(10, 0.0f));
        EXPECT_EQ(result, 0);
        // The same frames read in small pieces, crossing entry boundaries anywhere.
        std::vector<float> pieces;
        for (FramePos p = start; p < start + length;) {
            const std::int32_t n = std::min<std::int32_t>(pick(1, 37), std::int32_t(start + length - p));
            const auto got = readMono(*step, p, n);
            pieces.insert(pieces.end(), got.begin(), got.end());
            p += n;
        }
        expectSamples(pieces, want);
    }
}

TEST_F(KVEditStepTest, EntriesAreTakenOnlyWhileEditingAndNeverFromItself) {
    writeNoise("a.wav", 1000, 4);
    auto base = KVEditStep::initWithFile(mTemp.file("a.wav"), "x", 44100.0);
    auto step = KVEditStep::initWithStep(base, "edit");
    EXPECT_EQ(step->numberOfFrames(), 0);
    EXPECT_EQ(step->stepInfo().fragmentNumFrames, 1000);
    EXPECT_NE(step->stepInfo().fragmentUndoGroupId, base->stepInfo().fragmentUndoGroupId);

    step->addEntryWithInfo("closed", "", base, 0, 10, 0, 10);
    step->beginEditing();
    step->addEntryWithInfo("self", "", step, 0, 10, 0, 10);
    auto above = KVEditStep::initWithStep(step, "above");
    step->addEntryWithInfo("loop", "", above, 0, 10, 0, 10);
    step->endEditingWithNumFrames(-1);
    EXPECT_TRUE(step->entries().empty());
    EXPECT_EQ(step->numberOfFrames(), 0);
    EXPECT_EQ(step->stepInfo().fragmentNumFrames, 0);
}

// A step may read a step of another channel count: channels the source lacks are silence and
// channels the step lacks are never written.
TEST_F(KVEditStepTest, StepsOfOtherChannelCountsMeetSafely) {
    const auto mono = writeNoise("mono.wav", 500, 8);
    const auto left = test::noise(500, 0.5, 9);
    const auto right = test::noise(500, 0.5, 10);
    test::writeWave(mTemp.file("stereo.wav"), {left, right}, 44100, SF_FORMAT_FLOAT);
    auto monoStep = KVEditStep::initWithFile(mTemp.file("mono.wav"), "m", 44100.0);
    auto stereoStep = KVEditStep::initWithFile(mTemp.file("stereo.wav"), "s", 44100.0);

    auto wide = KVEditStep::initWithStep(stereoStep, "wide");
    wide->beginEditing();
    wide->addEntryWithInfo("mono", "", monoStep, 100, 200, 0, 100);
    wide->endEditingWithNumFrames(-1);
    ChannelBuffers both(2, 100);
    EXPECT_EQ(wide->readAt(0, 100, both.data()), 100);
    expectSamples(both.channel(0), slice(mono, 100, 100));
    expectSamples(both.channel(1), std::vector<float>(100, 0.0f));

    auto narrow = KVEditStep::initWithStep(monoStep, "narrow");
    narrow->beginEditing();
    narrow->addEntryWithInfo("stereo", "", stereoStep, 300, 400, 0, 100);
    narrow->endEditingWithNumFrames(-1);
    expectSamples(readMono(*narrow, 0, 100), slice(left, 300, 100));
}

}  // namespace
}  // namespace orvex
