#include <gtest/gtest.h>
#include <sndfile.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "history/KVEditHistory.h"
#include "support/ChannelBuffers.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex {
namespace {

using test::ChannelBuffers;
using test::expectSamples;
using test::slice;

class KVEditHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        mLeft = test::noise(12000, 0.5, 21);
        mRight = test::chirp(100.0, 5000.0, 44100.0, 12000);
        mPath = mTemp.file("work.wav");
        test::writeWave(mPath, {mLeft, mRight}, 44100, SF_FORMAT_FLOAT);
    }
    // Reads length frames at start from both channels and checks them against the file's
    // frames [fileStart, fileStart + length), silence where that leaves the given limit.
    void expectFileFrames(const KVEditHistory& history, FramePos start, std::int32_t length, FramePos fileStart,
                          FrameCount fileLimit, FrameCount wantResult) {
        ChannelBuffers buffers(2, length);
        EXPECT_EQ(history.readAt(start, length, buffers.data()), wantResult);
        const auto left = slice(std::vector<float>(mLeft.begin(), mLeft.begin() + fileLimit), fileStart, length);
        const auto right = slice(std::vector<float>(mRight.begin(), mRight.begin() + fileLimit), fileStart, length);
        expectSamples(buffers.channel(0), left);
        expectSamples(buffers.channel(1), right);
    }

    test::TempDir mTemp;
    std::string mPath;
    std::vector<float> mLeft, mRight;
};

// A history over a file plays it; steps stacked on it are opened once and reads go through
// every layer.
TEST_F(KVEditHistoryTest, HistoryOverAFilePlaysItAndStackedStepsReadThroughEveryLayer) {
    auto history = KVEditHistory::initWithContentsOfFile(mPath, 44100.0, false);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->sourceFilePath(), mPath);
    EXPECT_EQ(history->numberOfSteps(), 1u);
    EXPECT_EQ(history->numberOfFrames(), 12000);
    EXPECT_EQ(history->numberOfChannels(), 2);
    EXPECT_EQ(history->sampleRate(), 44100.0);
    EXPECT_EQ(history->currentStep()->info(), "Edit step from file");
    EXPECT_FALSE(history->isEditing());
    expectFileFrames(*history, 0, 12000, 0, 12000, 12000);
    expectFileFrames(*history, 11000, 3000, 11000, 12000, 1000);

    // A null channel is skipped, the other still delivered.
    ChannelBuffers part(2, 500);
    float* onlyRight[2] = {nullptr, part.data()[1]};
    EXPECT_EQ(history->readAt(1200, 500, onlyRight), 500);
    expectSamples(part.channel(1), slice(mRight, 1200, 500));
    EXPECT_EQ(part.channel(0), std::vector<float>(500, ChannelBuffers::kSentinel));

    // The first step has nothing below it to take a range from.
    history->addRangeOfPreviousStepWithInfo("ignored", 0, 10, 0, 10);
    EXPECT_EQ(history->currentStep()->entries().size(), 1u);

    history->beginEditStepWithInfo("edit");
    history->beginEditStepWithInfo("edit again");
    EXPECT_EQ(history->numberOfSteps(), 2u);
    EXPECT_TRUE(history->isEditing());
    history->addRangeOfPreviousStepWithInfo("segment", 0, 4000, 1000, 5000);
    history->endEditStep();

    // A third step swaps the two halves of the segment: frames [2000, 4000) of the segment
    // (file frames [3000, 5000)) first, then [0, 2000) (file frames [1000, 3000)).
    history->beginEditStepWithInfo("swap");
    history->addRangeOfPreviousStepWithInfo("second half", 0, 2000, 2000, 4000);
    history->addRangeOfPreviousStepWithInfo("first half", 2000, 4000, 0, 2000);
    history->endEditStep();
    history->refreshSteps();
    EXPECT_EQ(history->numberOfSteps(), 3u);
    EXPECT_EQ(history->numberOfFrames(), 4000);
    expectFileFrames(*history, 1900, 100, 4900, 12000, 100);
    expectFileFrames(*history, 2000, 100, 1000, 12000, 100);
}

TEST_F(KVEditHistoryTest, RefusesUnreadableFilesAndCompressedOnesUnlessTold) {
    std::ofstream(mTemp.file("notes.txt")) << "hello";
    EXPECT_FALSE(KVEditHistory::initWithContentsOfFile(mTemp.file("notes.txt"), 44100.0, true));
    EXPECT_FALSE(KVEditHistory::initWithContentsOfFile(mTemp.file("absent.wav"), 44100.0, false));

    // IMA ADPCM is a compressed WAVE: no bits per channel to speak of.
    test::writeWave(mTemp.file("adpcm.wav"), {test::sine(440.0, 44100.0, 4000)}, 44100, SF_FORMAT_IMA_ADPCM);
    EXPECT_FALSE(KVEditHistory::initWithContentsOfFile(mTemp.file("adpcm.wav"), 44100.0, false));
    EXPECT_TRUE(KVEditHistory::initWithContentsOfFile(mTemp.file("adpcm.wav"), 44100.0, true));

    test::writeWave(mTemp.file("pcm8.wav"), {test::sine(440.0, 44100.0, 4000)}, 44100, SF_FORMAT_PCM_U8);
    EXPECT_TRUE(KVEditHistory::initWithContentsOfFile(mTemp.file("pcm8.wav"), 44100.0, false));
}

// A segment history reads the file's frames 2000 .. 9999 from frame 0; a whole analysis block
// runs past the segment's end into silence, not into the file's frame 10000. Two threads read it
// in blocks, as the analysis runner and a playback source do, each checking against the file.
TEST_F(KVEditHistoryTest, SegmentHistoryReadsTheSegmentFromFrameZeroToConcurrentReaders) {
    auto history = KVEditHistory::initWithSegmentOfFile(mPath, 44100.0, 2000, 10000);
    ASSERT_TRUE(history);
    EXPECT_EQ(history->numberOfSteps(), 2u);
    EXPECT_FALSE(history->isEditing());
    EXPECT_EQ(history->numberOfFrames(), 8000);
    EXPECT_EQ(history->numberOfChannels(), 2);
    EXPECT_EQ(history->currentStep()->info(), "edit");
    expectFileFrames(*history, 0, 8192, 2000, 10000, 8000);
    expectFileFrames(*history, 7990, 100, 9990, 10000, 10);

    std::atomic<int> mismatches{0};
    auto reader = [&](FramePos first, std::int32_t block, bool throughStep) {
        auto step = history->currentStep();
        ChannelBuffers buffers(2, block);
        for (int round = 0; round < 10; ++round) {
            for (FramePos p = first; p < 8000; p += block) {
                if (throughStep) {
                    step->readAt(p, block, buffers.data());
                } else {
                    std::lock_guard lock(history->monitor());
                    history->readAt(p, block, buffers.data());
                }
                const auto left = buffers.channel(0);
                const auto right = buffers.channel(1);
                for (std::int32_t i = 0; i < block && p + i < 8000; ++i) {
                    if (left[i] != mLeft[2000 + p + i] || right[i] != mRight[2000 + p + i]) ++mismatches;
                }
            }
        }
    };
    std::thread runner(reader, 0, 1024, false);
    std::thread playback(reader, 300, 441, true);
    runner.join();
    playback.join();
    EXPECT_EQ(mismatches.load(), 0);
}

}  // namespace
}  // namespace orvex
