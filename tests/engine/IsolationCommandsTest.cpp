// Whole-segment commands on small hand-made analyses: which frames they fill, move or keep,
// cancellation, the continuous copy of a growing analysis and the drag ceiling.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "AnalysedSignal.h"
#include "engine/KVIsolationOperations.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

constexpr int kFrames = 12;

class IsolationCommandsTest : public test::PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        mAnalysis = KVAnalysisFileSet::initByOpeningFileAtPath(sound(), 44100.0, 4, 4096, 32, 1, false, true);
        mSelection = test::openEmptyFileSet(temp().file("take.analysis/take-selection.analysis"), 1);
        ASSERT_TRUE(mAnalysis && mSelection);
        mOps = std::make_unique<KVIsolationOperations>(*mAnalysis, *mSelection, mCancel);
    }
    std::string sound() { return temp().file("take.wav"); }
    void appendAnalysis(int frames, int tagBase = 0) {
        for (int f = 0; f < frames; ++f)
            for (std::int32_t c = -1; c < 1; ++c) mAnalysis->appendFrameRecord(*test::partialsRecord(tagBase + f), c);
    }
    std::unique_ptr<FrameRecord> read(KVAnalysisFileSet& set, FramePos f, std::int32_t c = 0) {
        auto record = FrameRecord::create();
        if (set.readFrameRecord(f, *record, c) != 0) return nullptr;
        return record;
    }

    std::unique_ptr<KVAnalysisFileSet> mAnalysis, mSelection;
    std::atomic<bool> mCancel{false};
    std::unique_ptr<KVIsolationOperations> mOps;
};

TEST_F(IsolationCommandsTest, FillGapsFillsOnlyUnselectedFramesByDocumentMode) {
    appendAnalysis(kFrames);
    auto mine = test::partialsRecord(77);
    for (std::int32_t c = -1; c < 1; ++c) mSelection->writeFrameRecord(*mine, 5, c);  // frames 0-4 empty, 5 selected

    mOps->fillGaps(1);
    ASSERT_EQ(mSelection->frameCount(), kFrames);
    for (FramePos f = 0; f < kFrames; ++f) {
        auto got = read(*mSelection, f);
        auto expected = f == 5 ? test::partialsRecord(77) : read(*mAnalysis, f);
        EXPECT_TRUE(test::sameApartFromSampleRange(*got, *expected)) << f;
    }

    // Extract mode: the analysis with its strongest peak removed and steady bins damped.
    mSelection->setFrameCount(0);
    mOps->fillGaps(0);
    for (FramePos f = 0; f < kFrames; ++f) {
        auto got = read(*mSelection, f);
        auto source = read(*mAnalysis, f);
        ASSERT_TRUE(got && got->valid);
        const std::vector<float> in = source->decodeMagnitudes(), out = got->decodeMagnitudes();
        const int strongest = int(std::max_element(in.begin(), in.end()) - in.begin());
        EXPECT_EQ(out[strongest], 0.0f) << f;
        for (int k = 0; k < 8192; ++k) ASSERT_LE(out[k], in[k] * 1.0001f + 1e-4f) << f << " " << k;
        EXPECT_EQ(std::memcmp(got->peakBins, source->peakBins, sizeof got->peakBins), 0);
        for (int k = 0; k < 8192; ++k) ASSERT_EQ(got->bins[k].phase, source->bins[k].phase);
    }
}

TEST_F(IsolationCommandsTest, ApplySelectionMovesTheSelectionIntoTheAnalysisAndItsUndoGivesBothBack) {
    appendAnalysis(kFrames);
    // Applying an empty selection changes nothing.
    mOps->applySelection();
    EXPECT_EQ(mAnalysis->frameCount(), kFrames);

    for (FramePos f = 0; f < 7; ++f)
        for (std::int32_t c = -1; c < 1; ++c) mSelection->writeFrameRecord(*test::partialsRecord(200 + int(f)), f, c);
    mSelection->shareStepsWith(mAnalysis.get());
    const auto applied = [&] {
        EXPECT_EQ(mSelection->frameCount(), 0);
        ASSERT_EQ(mAnalysis->frameCount(), 7);
        for (FramePos f = 0; f < 7; ++f)
            for (std::int32_t c = -1; c < 1; ++c)
                EXPECT_TRUE(test::sameApartFromSampleRange(*read(*mAnalysis, f, c), *test::partialsRecord(200 + int(f))));
    };
    mSelection->beginApplyStep("Apply Selection");
    mOps->applySelection();
    ASSERT_TRUE(mSelection->commitUndoStep());
    applied();
    EXPECT_TRUE(mSelection->historyEntries().back().spansAnalysis);

    // Its undo brings back the selection and the analysis it replaced; its redo applies again.
    ASSERT_TRUE(mSelection->undoLastStep());
    ASSERT_EQ(mAnalysis->frameCount(), kFrames);
    for (FramePos f = 0; f < kFrames; ++f)
        for (std::int32_t c = -1; c < 1; ++c) {
            EXPECT_TRUE(test::sameApartFromSampleRange(*read(*mAnalysis, f, c), *test::partialsRecord(int(f))));
            if (f < 7) EXPECT_TRUE(test::sameApartFromSampleRange(*read(*mSelection, f, c), *test::partialsRecord(200 + int(f))));
        }
    ASSERT_TRUE(mSelection->redoLastStep());
    applied();
}

// The lanes may run 16 claims ahead of the slowest, so the copy is long enough that a cancel at
// 40 % always leaves frames uncopied, however the threads are scheduled.
TEST_F(IsolationCommandsTest, CancelStopsBetweenFramesAndClearEmpties) {
    constexpr int kLongFrames = 200;
    appendAnalysis(kLongFrames);
    mCancel = true;
    mOps->isolateDeterministic();
    EXPECT_EQ(mSelection->frameCount(), 0);
    mCancel = false;
    mOps->setProgressHandler([&](int percent) {
        if (percent >= 40) mCancel = true;
    });
    mOps->selectAll();
    const FrameCount copied = mSelection->frameCount();
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, kLongFrames);
    mCancel = false;
    mOps->setProgressHandler(nullptr);
    mOps->applySelection();
    EXPECT_EQ(mSelection->frameCount(), 0);
    EXPECT_EQ(mAnalysis->frameCount(), copied);
    mOps->selectAll();
    mOps->clearSelection();
    EXPECT_EQ(mSelection->frameCount(), 0);
}

TEST_F(IsolationCommandsTest, ContinuousCopyFollowsAGrowingAnalysisAndMarksTheDictionary) {
    std::atomic<bool> finished{false};
    std::thread runner([&] {
        for (int block = 0; block < 4; ++block) {
            appendAnalysis(30, 30 * block);
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        }
        finished = true;
    });
    int relayouts = 0;
    mOps->setPollInterval(std::chrono::milliseconds(5));
    mOps->selectAllContinuously([&] { return finished.load(); }, [&] { ++relayouts; }, sound());
    runner.join();
    ASSERT_EQ(mSelection->frameCount(), 120);
    for (FramePos f : {0, 63, 119})
        for (std::int32_t c = -1; c < 1; ++c)
            EXPECT_TRUE(test::sameApartFromSampleRange(*read(*mSelection, f, c), *test::partialsRecord(int(f))));
    EXPECT_GE(relayouts, 3);
    EXPECT_TRUE(KVUtilities::paramDictForAnalysisOfFileAtPath(sound()).getBool("AnalysisDataSelected"));
    // Once the dictionary says so, the copy is not made again.
    mSelection->setFrameCount(0);
    mOps->selectAllContinuously([] { return true; }, nullptr, sound());
    EXPECT_EQ(mSelection->frameCount(), 0);
}

TEST_F(IsolationCommandsTest, DragCeilingLimitsFramesToTheStartFrame) {
    appendAnalysis(kFrames);
    mOps->selectAll();
    mSelection->setFrameCount(5);  // the ceiling makes the frame counts equal again
    mOps->dragCeiling(9, 2);
    ASSERT_EQ(mSelection->frameCount(), kFrames);
    const std::vector<float> ceiling = read(*mAnalysis, 9)->decodeMagnitudes();
    for (FramePos f = 2; f < 5; ++f) {
        const std::vector<float> got = read(*mSelection, f)->decodeMagnitudes();
        const std::vector<float> was = read(*mAnalysis, f)->decodeMagnitudes();
        for (int k = 0; k < 8192; ++k)
            ASSERT_NEAR(got[k], std::min(was[k], ceiling[k]), 1e-4f * std::max(1.0f, was[k])) << f << " " << k;
    }
    EXPECT_TRUE(test::sameApartFromSampleRange(*read(*mSelection, 1), *read(*mAnalysis, 1)));
    EXPECT_EQ(read(*mSelection, 9)->valid, 0);  // past the old end, the end frame is not touched
}

}  // namespace
}  // namespace orvex
