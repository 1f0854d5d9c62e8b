#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "playback/KVAudioEngineController.h"
#include "playback/KVDocumentPlayback.h"
#include "playback/KVPlaybackSources.h"
#include "playback/ManualAudioBackend.h"
#include "support/PlatformFixture.h"

// Every heap allocation of this test program goes through here and is counted per thread, so a test
// can tell whether a stretch of code on its thread allocated.
namespace {
thread_local long gAllocations = 0;

void* countedAllocation(std::size_t size) {
    ++gAllocations;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return countedAllocation(size); }
void* operator new[](std::size_t size) { return countedAllocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    ++gAllocations;
    return std::malloc(size ? size : 1);
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace orvex {
namespace {

// A distinct, exactly representable value for every frame and channel, so that an output sample
// tells which source frame it came from: channel c, frame k -> (k + 1) / 1024 + c.
float rampSample(std::int64_t channel, std::int64_t frame) {
    return static_cast<float>(frame + 1) / 1024.0f + static_cast<float>(channel);
}

// An in-memory edit step of ramps; reads past its end deliver fewer frames (and leave the buffer
// untouched there, so the caller must fill the gap itself).
class FakeStep : public KVPlayStep {
public:
    FakeStep(std::int64_t channels, FrameCount frames, FrameCount deliverAtMost = -1)
        : mChannels(channels), mFrames(frames), mDeliverAtMost(deliverAtMost) {}

    std::int64_t numberOfChannels() const override { return mChannels; }
    FrameCount numberOfFrames() const override { return mFrames; }
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) override {
        reads.fetch_add(1);
        FrameCount delivered = std::clamp<FrameCount>(mFrames - start, 0, length);
        if (mDeliverAtMost >= 0) delivered = std::min(delivered, mDeliverAtMost);
        for (std::int64_t c = 0; c < mChannels; ++c) {
            if (!buffers[c]) continue;
            for (FrameCount i = 0; i < delivered; ++i) buffers[c][i] = rampSample(c, start + i);
        }
        return delivered;
    }

    std::atomic<int> reads{0};

private:
    std::int64_t mChannels;
    FrameCount mFrames;
    FrameCount mDeliverAtMost;
};

// A stream source of ramps with its own read position, like the output controller's collections.
class FakeStream : public KVPlayFrameSource {
public:
    // Room for the recorded seeks is made up front, so that seeking does not allocate.
    explicit FakeStream(std::int64_t channels) : mChannels(channels) { seeks.reserve(4096); }

    std::int64_t readPlayFrames(FrameCount n, float* const* buffers) override {
        if (failReads) return -1;
        for (std::int64_t c = 0; c < mChannels; ++c) {
            if (!buffers[c]) continue;
            for (FrameCount i = 0; i < n; ++i) buffers[c][i] = rampSample(c, position + i);
        }
        position += n;
        return 0;
    }
    void setPlayPosition(FramePos frame) override {
        position = frame;
        seeks.push_back(frame);
    }

    FramePos position = 0;
    bool failReads = false;
    std::vector<FramePos> seeks;

private:
    std::int64_t mChannels;
};

// Records what reaches the document; stops are counted atomically for the threaded tests.
struct RecordingDelegate : KVPlaybackDelegate {
    void stopped() override { stoppedCount.fetch_add(1); }
    void playPositionChanged(FramePos frame) override { positions.push_back(frame); }
    std::atomic<int> stoppedCount{0};
    std::vector<FramePos> positions;  // main thread only
};

struct Stereo {
    std::vector<float> left, right;
};

// A document's playback installed in a running engine over a manual output, with the headless
// platform whose main-thread queue the test pumps. The engine's log is kept out of the test output.
class DocumentPlaybackTest : public test::PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        auto backend = std::make_unique<ManualAudioBackend>();
        mOutput = backend.get();
        testing::internal::CaptureStdout();
        mEngine = std::make_unique<KVAudioEngineController>(std::move(backend));
        testing::internal::GetCapturedStdout();
        mPlayback = std::make_unique<KVDocumentPlayback>(mMonitor, &mDelegate);
        mPlayback->setEngineController(mEngine.get());
    }
    void TearDown() override {
        testing::internal::CaptureStdout();
        mPlayback.reset();
        mEngine.reset();
        testing::internal::GetCapturedStdout();
        PlatformFixture::TearDown();
    }

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

    // Allocations made by n cycles of frames frames on this thread.
    long allocationsOver(int n, FrameCount frames) {
        std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
        const long before = gAllocations;
        for (int i = 0; i < n; ++i) mOutput->pullStereo(left.data(), right.data(), frames);
        return gAllocations - before;
    }

    std::recursive_mutex mMonitor;
    RecordingDelegate mDelegate;
    ManualAudioBackend* mOutput = nullptr;
    std::unique_ptr<KVAudioEngineController> mEngine;
    std::unique_ptr<KVDocumentPlayback> mPlayback;
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

TEST_F(DocumentPlaybackTest, LoopingWrapsSeveralTimesWithinOneRenderOnTheInputAndOutputTabs) {
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

    // The output tab plays from the edit cursor and rewinds its stream on each wrap.
    useStep(2, 1000);
    auto stream = std::make_shared<FakeStream>(2);
    mPlayback->setOutputSource(stream);
    mPlayback->setPlaySource(PlaySource::Output);
    mPlayback->setOutputRange(500, 520);
    stream->position = 500;
    ASSERT_TRUE(mPlayback->play(500));
    const Stereo output = pull(50);
    for (FrameCount i = 0; i < 50; ++i) ASSERT_EQ(output.left[i], rampSample(0, 500 + i % 20)) << i;
    EXPECT_EQ(stream->seeks, (std::vector<FramePos>{500, 500}));
    EXPECT_EQ(mPlayback->currentPlayPosition(), 510);
}

TEST_F(DocumentPlaybackTest, EndOfRangeZeroPadsReturnsToStartAndStopsOnTheMainThreadUnlessPlayedAgain) {
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

    // A play after the end, before the queued stop runs, is not stopped by that stale stop.
    ASSERT_TRUE(mPlayback->play(30));
    pull(64);
    ASSERT_TRUE(mPlayback->play(12));
    platform().pumpMainThread();
    EXPECT_TRUE(mPlayback->isPlaying());
    EXPECT_EQ(pull(8).left[0], rampSample(0, 12));
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

TEST_F(DocumentPlaybackTest, MissingFailingShortOrEmptySourcesPlaySilenceNotStaleAudio) {
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

    // Short reads of the step leave silence behind.
    useStep(2, 1000);
    mPlayback->setPlaySource(PlaySource::Input);
    ASSERT_TRUE(mPlayback->play(0));
    pull(64);
    useStep(2, 1000, 10);
    const Stereo out = pull(64);
    for (FrameCount i = 0; i < 10; ++i) ASSERT_EQ(out.left[i], rampSample(0, 64 + i));
    for (FrameCount i = 10; i < 64; ++i) ASSERT_EQ(out.left[i], 0.0f) << i;

    // An empty step stops instead of spinning.
    useStep(2, 0);
    mPlayback->setLoopEnabled(true);
    ASSERT_TRUE(mPlayback->play(0));
    EXPECT_EQ(pull(64).left, std::vector<float>(64, 0.0f));
    platform().pumpMainThread();
    EXPECT_FALSE(mPlayback->isPlaying());
}

TEST_F(DocumentPlaybackTest, PlayWithoutAnEngineBeepsAndDestroyingWhilePlayingDetachesQuietly) {
    KVDocumentPlayback orphan(mMonitor, &mDelegate);
    EXPECT_FALSE(orphan.play(5));
    EXPECT_EQ(platform().beepCount(), 1);
    EXPECT_FALSE(orphan.isPlaying());
    EXPECT_EQ(mDelegate.stoppedCount.load(), 0);

    // Destroying a playing playback detaches it without telling the document.
    useStep(2, 1000);
    ASSERT_TRUE(mPlayback->play(0));
    mPlayback.reset();
    EXPECT_EQ(mEngine->context(), nullptr);
    EXPECT_EQ(mDelegate.stoppedCount.load(), 0);
    std::vector<float> left(8, 1.0f), right(8, 1.0f);
    mOutput->pullStereo(left.data(), right.data(), 8);
    EXPECT_EQ(left, std::vector<float>(8, 0.0f));
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

// The play position reaches the delegate only when polled; a position set during the render wins.
TEST_F(DocumentPlaybackTest, PlayPositionReachesTheDelegateWhenPolledAndOneSetDuringTheRenderWins) {
    useStep(2, 1000);
    ASSERT_TRUE(mPlayback->play(0));
    pull(100);
    EXPECT_TRUE(mDelegate.positions.empty());
    EXPECT_TRUE(mPlayback->deliverPlayPosition());
    EXPECT_FALSE(mPlayback->deliverPlayPosition());
    EXPECT_EQ(mDelegate.positions, (std::vector<FramePos>{100}));

    KVDocumentPlayback* playback = mPlayback.get();
    mPlayback->setEditStep(std::make_shared<SeekingStep>(playback));
    pull(32);
    EXPECT_EQ(mPlayback->currentPlayPosition(), 700);
}

TEST_F(DocumentPlaybackTest, SteadyBlockSizeDoesNotAllocateEvenAcrossLoopWraps) {
    useStep(2, 5000);
    const long counted = gAllocations;
    auto probe = std::make_unique<int>(1);
    EXPECT_EQ(gAllocations, counted + 1);  // the counter sees the operator new replaced here
    mPlayback->setInputSelection(100, 1100);  // 1000 frames: every 4th cycle wraps with short chunks
    mPlayback->setLoopEnabled(true);
    ASSERT_TRUE(mPlayback->play(100));
    allocationsOver(1, 256);  // the first cycle sizes the scratch buffer
    EXPECT_EQ(allocationsOver(200, 256), 0);
    EXPECT_EQ(allocationsOver(50, 128), 0);  // shorter blocks fit the room already there

    auto stream = std::make_shared<FakeStream>(2);
    mPlayback->setOutputSource(stream);
    mPlayback->setPlaySource(PlaySource::Output);
    mPlayback->setOutputRange(0, 700);
    EXPECT_EQ(allocationsOver(100, 256), 0);
    EXPECT_TRUE(mPlayback->isPlaying());
}

// The main thread changes the client, gain, loop flag, source and range while another thread
// renders; run under ThreadSanitizer this shows the render path free of data races.
TEST_F(DocumentPlaybackTest, MainThreadChangesWhileTheAudioThreadRenders) {
    useStep(2, 5000);
    mPlayback->setAnalysisSource(std::make_shared<FakeStream>(2));
    mPlayback->setOutputSource(std::make_shared<FakeStream>(2));
    mPlayback->setInputSelection(0, 3000);
    std::atomic<bool> done{false};
    std::atomic<long> cycles{0};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        while (!done.load()) {
            mOutput->pullStereo(left.data(), right.data(), 256);
            // Finite and within reach of the fakes' ramps, whose values grow with the stream
            // position (how far depends on how many cycles a loaded machine renders).
            for (float v : left) ASSERT_TRUE(std::isfinite(v) && std::abs(v) < 1.0e6f) << v;
            cycles.fetch_add(1);
        }
    });
    // At least 400 changes and 300 rendered cycles, whichever takes longer.
    for (int i = 0; i < 400 || cycles.load() < 300; ++i) {
        if (i % 7 == 0) mPlayback->play(i * 10);
        if (i % 11 == 0) mPlayback->stopPlayback();
        mPlayback->setPlaybackVolume(0.1 * (i % 10));
        mPlayback->setLoopEnabled(i % 3 == 0);
        mPlayback->setPlaySource(PlaySource(i % 3));
        mPlayback->setInputSelection(i % 50, 100 + i * 7);
        mPlayback->setOutputRange(i, 2000);
        if (i % 13 == 0) mPlayback->setEditStep(std::make_shared<FakeStep>(1 + i % 2, 4000));
        if (i % 5 == 0) mPlayback->setPlayPosition(i);
        mPlayback->deliverPlayPosition();
        platform().pumpMainThread();
        std::this_thread::yield();
    }
    done = true;
    audio.join();
    platform().pumpMainThread();
    EXPECT_GT(mDelegate.stoppedCount.load(), 0);
}

}  // namespace
}  // namespace orvex
