#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "DocumentPlaybackFixture.h"
#include "PlaybackFakes.h"

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

using test::FakeStep;
using test::FakeStream;

class RealTimeSafetyTest : public test::DocumentPlaybackFixture {
protected:
    void SetUp() override {
        DocumentPlaybackFixture::SetUp();
        mPlayback->setEditStep(std::make_shared<FakeStep>(2, 5000));
    }

    // Allocations made by n cycles of frames frames on this thread.
    long allocationsOver(int n, FrameCount frames) {
        std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
        const long before = gAllocations;
        for (int i = 0; i < n; ++i) mOutput->pullStereo(left.data(), right.data(), frames);
        return gAllocations - before;
    }
};

TEST_F(RealTimeSafetyTest, SteadyBlockSizeDoesNotAllocateEvenAcrossLoopWraps) {
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
TEST_F(RealTimeSafetyTest, MainThreadChangesWhileTheAudioThreadRenders) {
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
