#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "DocumentPlaybackFixture.h"
#include "PlaybackFakes.h"

namespace orvex {
namespace {

using test::FakeStep;
using test::FakeStream;
using test::rampSample;

struct Stereo {
    std::vector<float> left, right;
};

class DocumentPlaybackTest : public test::DocumentPlaybackFixture {
protected:
    std::shared_ptr<FakeStep> useStep(std::int64_t channels, FrameCount frames, FrameCount deliverAtMost = -1) {
        auto step = std::make_shared<FakeStep>(channels, frames, deliverAtMost);
        mPlayback->setEditStep(step);
        return step;
    }

    // One cycle of n frames through the engine; the outputs start as garbage the engine must clear.
    Stereo pull(FrameCount n) {
        Stereo out{std::vector<float>(n, -9.0f), std::vector<float>(n, -9.0f)};
        EXPECT_EQ(mOutput->pullStereo(out.left.data(), out.right.data(), n), std::optional<Status>(0));
        return out;
    }
};

// Where play starts: a range shorter than two frames plays the whole step from the position; a
// position past the range's end (or before frame 0) restarts at its start.
TEST_F(DocumentPlaybackTest, WherePlayStartsFollowsTheRange) {
    useStep(2, 100);
    const struct {
        FramePos start, end, position, first;
    } cases[] = {{40, 41, 0, 0}, {40, 40, 0, 0}, {0, 0, 0, 0}, {50, 20, 0, 0}, {10, 40, 41, 10}, {10, 40, 1000, 10},
                 {10, 40, -5, 10}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.end << " at " << c.position);
        mPlayback->setInputSelection(c.start, c.end);
        ASSERT_TRUE(mPlayback->play(c.position));
        const Stereo out = pull(8);
        for (FrameCount i = 0; i < 8; ++i) {
            ASSERT_EQ(out.left[i], rampSample(0, c.first + i));
            ASSERT_EQ(out.right[i], rampSample(1, c.first + i));
        }
        EXPECT_EQ(mPlayback->currentPlayPosition(), c.first + 8);
    }
    // The analysis tab has no range of its own either.
    mPlayback->setPlaySource(PlaySource::Analysis);
    mPlayback->setAnalysisSource(std::make_shared<FakeStream>(2));
    mPlayback->setLoopEnabled(true);
    ASSERT_TRUE(mPlayback->play(90));
    pull(30);
    EXPECT_EQ(mPlayback->currentPlayPosition(), 20);
}

// Each channel reaches its own output, scaled in double precision; a mono step feeds both.
TEST_F(DocumentPlaybackTest, GainIsFormedInDoublePrecisionOnEveryChannel) {
    for (const std::int64_t channels : {2, 1}) {
        useStep(channels, 1000);
        mPlayback->setInputSelection(0, 1000);
        for (double gain : {0.5, std::pow(10.0, -3.3 * 0.05), 0.0}) {
            SCOPED_TRACE(testing::Message() << channels << " channels, gain " << gain);
            mPlayback->setPlaybackVolume(gain);
            ASSERT_TRUE(mPlayback->play(200));
            const Stereo out = pull(128);
            for (FrameCount i = 0; i < 128; ++i) {
                const auto scaled = [&](std::int64_t c) { return float(double(rampSample(c, 200 + i)) * gain); };
                ASSERT_EQ(out.left[i], scaled(0));
                ASSERT_EQ(out.right[i], scaled(channels - 1));
            }
        }
    }
}

TEST_F(DocumentPlaybackTest, LoopingWrapsSeveralTimesWithinOneRender) {
    useStep(2, 100);
    mPlayback->setInputSelection(10, 17);
    mPlayback->setLoopEnabled(true);
    ASSERT_TRUE(mPlayback->play(12));
    const Stereo out = pull(50);
    // Frames 12..16, then 10..16 over and over: 50 frames end at 10 + (2 + 50) mod 7.
    for (FrameCount i = 0; i < 50; ++i) {
        const FramePos expected = 10 + (2 + i) % 7;
        ASSERT_EQ(out.left[i], rampSample(0, expected)) << i;
        ASSERT_EQ(out.right[i], rampSample(1, expected)) << i;
    }
    EXPECT_EQ(mPlayback->currentPlayPosition(), 10 + (2 + 50) % 7);
    EXPECT_EQ(platform().pumpMainThread(), 0);
    EXPECT_TRUE(mPlayback->isPlaying());
}

TEST_F(DocumentPlaybackTest, EndOfRangeZeroPadsReturnsToStartAndStopsOnTheMainThread) {
    auto step = useStep(2, 100);
    mPlayback->setInputSelection(10, 40);
    ASSERT_TRUE(mPlayback->play(30));
    const Stereo out = pull(64);
    for (FrameCount i = 0; i < 10; ++i) ASSERT_EQ(out.left[i], rampSample(0, 30 + i));
    for (FrameCount i = 10; i < 64; ++i) {
        ASSERT_EQ(out.left[i], 0.0f);
        ASSERT_EQ(out.right[i], 0.0f);
    }
    EXPECT_EQ(mPlayback->currentPlayPosition(), 10);
    EXPECT_EQ(mDelegate.stoppedCount.load(), 0);  // nothing reaches the document on the audio thread

    // Until the main thread has detached the callback, further cycles are silent.
    const int reads = step->reads.load();
    const Stereo after = pull(16);
    EXPECT_EQ(after.left, std::vector<float>(16, 0.0f));
    EXPECT_EQ(step->reads.load(), reads);

    EXPECT_EQ(platform().pumpMainThread(), 1);
    EXPECT_EQ(mDelegate.stoppedCount.load(), 1);
    EXPECT_FALSE(mPlayback->isPlaying());
    ASSERT_FALSE(mDelegate.positions.empty());
    EXPECT_EQ(mDelegate.positions.back(), 10);
    EXPECT_EQ(mEngine->context(), nullptr);
}

TEST_F(DocumentPlaybackTest, APlayAfterTheEndIsNotStoppedByTheStaleStop) {
    useStep(1, 100);
    mPlayback->setInputSelection(0, 20);
    ASSERT_TRUE(mPlayback->play(10));
    pull(32);
    ASSERT_TRUE(mPlayback->play(0));  // the user plays again before the queued stop runs
    platform().pumpMainThread();
    EXPECT_TRUE(mPlayback->isPlaying());
    const Stereo out = pull(8);
    EXPECT_EQ(out.left[0], rampSample(0, 0));
}

TEST_F(DocumentPlaybackTest, OutputTabPlaysFromTheEditCursorAndRewindsItsStreamOnWrap) {
    useStep(2, 1000);
    auto stream = std::make_shared<FakeStream>(2);
    mPlayback->setOutputSource(stream);
    mPlayback->setPlaySource(PlaySource::Output);
    mPlayback->setOutputRange(500, 520);
    mPlayback->setLoopEnabled(true);
    stream->position = 500;
    ASSERT_TRUE(mPlayback->play(500));
    const Stereo out = pull(50);
    for (FrameCount i = 0; i < 50; ++i) ASSERT_EQ(out.left[i], rampSample(0, 500 + i % 20)) << i;
    EXPECT_EQ(stream->seeks, (std::vector<FramePos>{500, 500}));
    EXPECT_EQ(mPlayback->currentPlayPosition(), 510);
}

// A seek while playing moves the playing tab's stream (rewind and forward), so that the next
// cycle is heard from there; the input tab reads the step at the position and has no stream.
TEST_F(DocumentPlaybackTest, SeekingMovesTheStreamOfThePlayingTab) {
    useStep(2, 100000);
    auto analysis = std::make_shared<FakeStream>(2), master = std::make_shared<FakeStream>(2);
    mPlayback->setAnalysisSource(analysis);
    mPlayback->setOutputSource(master);
    const struct {
        PlaySource tab;
        std::vector<FramePos> analysisSeeks, masterSeeks;
    } cases[] = {{PlaySource::Analysis, {30000}, {}}, {PlaySource::Output, {}, {30000}}, {PlaySource::Input, {}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.tab));
        analysis->seeks.clear();
        master->seeks.clear();
        mPlayback->setPlaySource(c.tab);
        mPlayback->setOutputRange(0, 100000);
        ASSERT_TRUE(mPlayback->play(40000));
        analysis->position = master->position = 40000;
        pull(64);
        mPlayback->seek(30000);
        EXPECT_EQ(pull(8).left[0], rampSample(0, 30000));
        EXPECT_EQ(analysis->seeks, c.analysisSeeks);
        EXPECT_EQ(master->seeks, c.masterSeeks);
        mPlayback->stopPlayback();
    }
    EXPECT_EQ(mDelegate.stoppedCount.load(), 3);  // once per stop
}

TEST_F(DocumentPlaybackTest, MissingOrFailingSourcesPlaySilenceNotStaleAudio) {
    useStep(2, 1000);
    auto stream = std::make_shared<FakeStream>(2);
    mPlayback->setOutputSource(stream);
    mPlayback->setPlaySource(PlaySource::Output);
    ASSERT_TRUE(mPlayback->play(0));
    EXPECT_NE(pull(32).left[5], 0.0f);  // the scratch buffer now holds audio

    // The analysis tab without an analysis source.
    mPlayback->setPlaySource(PlaySource::Analysis);
    EXPECT_EQ(pull(32).left, std::vector<float>(32, 0.0f));

    // A failing read stops playback and leaves the cycle silent.
    mPlayback->setPlaySource(PlaySource::Output);
    stream->failReads = true;
    const FramePos before = mPlayback->currentPlayPosition();
    EXPECT_EQ(pull(32).left, std::vector<float>(32, 0.0f));
    EXPECT_EQ(mPlayback->currentPlayPosition(), before);
    platform().pumpMainThread();
    EXPECT_FALSE(mPlayback->isPlaying());
}

TEST_F(DocumentPlaybackTest, ShortReadsOfTheStepLeaveSilenceBehind) {
    useStep(2, 1000);
    ASSERT_TRUE(mPlayback->play(0));
    pull(64);
    auto step = useStep(2, 1000, 10);
    const Stereo out = pull(64);
    for (FrameCount i = 0; i < 10; ++i) ASSERT_EQ(out.left[i], rampSample(0, 64 + i));
    for (FrameCount i = 10; i < 64; ++i) ASSERT_EQ(out.left[i], 0.0f) << i;
}

TEST_F(DocumentPlaybackTest, AnEmptyStepStopsInsteadOfSpinning) {
    useStep(2, 0);
    mPlayback->setLoopEnabled(true);
    ASSERT_TRUE(mPlayback->play(0));
    EXPECT_EQ(pull(64).left, std::vector<float>(64, 0.0f));
    platform().pumpMainThread();
    EXPECT_FALSE(mPlayback->isPlaying());
}

TEST_F(DocumentPlaybackTest, PlayWithoutAnEngineBeepsAndStaysStopped) {
    KVDocumentPlayback orphan(mMonitor, &mDelegate);
    EXPECT_FALSE(orphan.play(5));
    EXPECT_EQ(platform().beepCount(), 1);
    EXPECT_FALSE(orphan.isPlaying());
    EXPECT_EQ(mDelegate.stoppedCount.load(), 0);
}

// Reads the step and, in the middle of the render, moves the play position as the main thread would.
class SeekingStep : public FakeStep {
public:
    SeekingStep(KVDocumentPlayback*& playback) : FakeStep(2, 1000), mPlayback(playback) {}
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) override {
        mPlayback->setPlayPosition(700);
        return FakeStep::readAt(start, length, buffers);
    }

private:
    KVDocumentPlayback*& mPlayback;
};

TEST_F(DocumentPlaybackTest, APositionSetDuringTheRenderWins) {
    KVDocumentPlayback* playback = mPlayback.get();
    mPlayback->setEditStep(std::make_shared<SeekingStep>(playback));
    ASSERT_TRUE(mPlayback->play(0));
    pull(32);
    EXPECT_EQ(mPlayback->currentPlayPosition(), 700);
}

TEST_F(DocumentPlaybackTest, PlayPositionReachesTheDelegateOnlyWhenPolled) {
    useStep(2, 1000);
    ASSERT_TRUE(mPlayback->play(0));
    pull(100);
    EXPECT_TRUE(mDelegate.positions.empty());
    EXPECT_TRUE(mPlayback->deliverPlayPosition());
    EXPECT_FALSE(mPlayback->deliverPlayPosition());
    EXPECT_EQ(mDelegate.positions, (std::vector<FramePos>{100}));
}

TEST_F(DocumentPlaybackTest, DestroyingWhilePlayingDetachesWithoutTellingTheDocument) {
    useStep(2, 1000);
    ASSERT_TRUE(mPlayback->play(0));
    mPlayback.reset();
    EXPECT_EQ(mEngine->context(), nullptr);
    EXPECT_EQ(mDelegate.stoppedCount.load(), 0);
    std::vector<float> left(8, 1.0f), right(8, 1.0f);
    mOutput->pullStereo(left.data(), right.data(), 8);
    EXPECT_EQ(left, std::vector<float>(8, 0.0f));
}

}  // namespace
}  // namespace orvex
