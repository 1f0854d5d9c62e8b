// The per-channel lanes of the isolation operations: chained lanes see their predecessor's step
// first, a cancelled run stops every lane after the same step, and operations run on two
// threads store exactly the bytes that one thread stores.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "AnalysedSignal.h"
#include "engine/KVIsolationLanes.h"
#include "engine/KVIsolationOperations.h"

namespace orvex {
namespace {

constexpr std::int64_t kFrames = 22050;

// Every record of every channel, the overview's display records and each channel's audio.
void expectSameStoredBytes(KVAnalysisFileSet& a, KVAnalysisFileSet& b) {
    const FrameCount frames = a.frameCount();
    ASSERT_EQ(frames, b.frameCount());
    auto ra = FrameRecord::create(), rb = FrameRecord::create();
    for (std::int32_t c = -1; c < 2; ++c)
        for (FramePos f = 0; f < frames; ++f) {
            ASSERT_EQ(a.readFrameRecord(f, *ra, c), 0);
            ASSERT_EQ(b.readFrameRecord(f, *rb, c), 0);
            ASSERT_EQ(std::memcmp(ra.get(), rb.get(), sizeof(FrameRecord)), 0) << "frame " << f << " channel " << c;
        }
    for (const auto kind : {DisplayColumnKind(0), DisplayColumnKind(1)}) {
        std::vector<DisplayColumn> ca(frames), cb(frames);
        a.readDisplayColumns(ca.data(), 0, frames, -1, kind);
        b.readDisplayColumns(cb.data(), 0, frames, -1, kind);
        EXPECT_EQ(std::memcmp(ca.data(), cb.data(), ca.size() * sizeof(DisplayColumn)), 0);
    }
    for (std::int32_t c = 0; c < 2; ++c) EXPECT_EQ(test::renderChannel(a, c, kFrames), test::renderChannel(b, c, kFrames));
}

class IsolationLanesTest : public test::SharedAnalysisTest {};

TEST_F(IsolationLanesTest, TwoThreadsStoreTheBytesOfOneChainedLanesRunInOrderAndStopTogether) {
    openSelection(kFrames);
    auto serialSelection = test::openEmptyFileSet(temp().file("serial-selection.analysis"), 2);
    ASSERT_NE(serialSelection, nullptr);
    KVIsolationOperations serial(analysis(), *serialSelection, mCancel);
    serial.setThreadCount(1);
    // Snapping moves the fundamental channel by channel, so the pencil's lanes depend on each other.
    KVPencilSettings settings;
    settings.documentMode = DocumentMode::Extract;
    settings.snapToGrid = true;
    const std::vector<KVPathPoint> path{{10, 340}, {60, 344}, {120, 342}, {160, 342}};
    for (auto [ops, selection] : {std::pair{mOps.get(), mSelection.get()}, std::pair{&serial, serialSelection.get()}}) {
        selection->beginUndoStep();
        ops->isolateStochastic();
        ops->pencilPath(path, settings);
        selection->commitUndoStep();
    }
    expectSameStoredBytes(*mSelection, *serialSelection);

    // Chained lanes run in order, and a cancel stops every lane after the same step.
    constexpr std::size_t kLanes = 3;
    constexpr FrameCount kSteps = 200;
    std::atomic<bool> cancel{false};
    std::mutex mutex;
    std::vector<std::vector<FramePos>> seen(kLanes);
    bool ordered = true;
    auto step = [&](std::size_t lane, FramePos s) {
        std::lock_guard lock(mutex);
        if (lane > 0 && FramePos(seen[lane - 1].size()) <= s) ordered = false;  // predecessor not there yet
        seen[lane].push_back(s);
    };
    KVIsolationLanes chained(kLanes, kSteps, cancel);
    chained.setChained(true);
    std::vector<FrameCount> progress;
    EXPECT_EQ(chained.run(step, [&](FrameCount done) { progress.push_back(done); }), kSteps);
    EXPECT_TRUE(ordered);
    for (const auto& lane : seen) {
        ASSERT_EQ(FrameCount(lane.size()), kSteps);
        for (FramePos s = 0; s < kSteps; ++s) ASSERT_EQ(lane[s], s);
    }
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), kSteps);

    for (auto& lane : seen) lane.clear();
    KVIsolationLanes cancelled(kLanes, kSteps, cancel);
    const FrameCount stopped = cancelled.run(step, [&](FrameCount done) {
        if (done >= 50) cancel = true;
    });
    EXPECT_GE(stopped, 50);
    EXPECT_LT(stopped, kSteps);
    for (const auto& lane : seen) EXPECT_EQ(FrameCount(lane.size()), stopped);
}

}  // namespace
}  // namespace orvex
