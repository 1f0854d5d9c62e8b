#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <mutex>

#include "AnalysedSignal.h"
#include "engine/KVMasterCommit.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "store/KVMixdownStore.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

using Range = std::pair<FramePos, FramePos>;

TEST(RenderCommitRange, SkipsOneFrameAtEachEndExceptAtTheFileStartAndKeepsShortSegmentsWhole) {
    // Hand-worked cases: N grains at overview position P.
    EXPECT_EQ(KVMasterCommit::blockRange(100, 50), Range(32, 68));
    EXPECT_EQ(KVMasterCommit::blockRange(100, 31), Range(0, 68));   // starts within the first 32 blocks
    EXPECT_EQ(KVMasterCommit::blockRange(100, 32), Range(32, 68));
    EXPECT_EQ(KVMasterCommit::blockRange(64, 50), Range(0, 64));    // 64 blocks: written whole
    EXPECT_EQ(KVMasterCommit::blockRange(65, 50), Range(32, 33));
    EXPECT_EQ(KVMasterCommit::blockRange(32, 0), Range(0, 32));     // at the file start: 32 blocks whole
    EXPECT_EQ(KVMasterCommit::blockRange(33, 0), Range(0, 1));
    EXPECT_EQ(KVMasterCommit::blockRange(0, 50), Range(0, 0));
}

// Grain i of a channel holds the constant level(i): distinct for every index and channel, so a
// record read back tells where it came from.
float selectionLevel(FramePos i, int channel) { return (channel ? -1.0f : 1.0f) * float(i + 1) / 1000.0f; }
constexpr float kMasterLevel = 0.75f;

KVEncodedGrain constantGrain(float level) {
    std::vector<float> samples(KVEncodedGrain::kSampleCount, level);
    KVEncodedGrain grain{};
    grain.encode(samples.data());
    return grain;
}

float levelOf(KVGrainCollection& collection, FramePos index) {
    KVEncodedGrain grain{};
    if (collection.readRecords(&grain, index, 1) != 1) return -99.0f;
    std::array<float, KVEncodedGrain::kSampleCount> samples{};
    grain.decode(samples.data());
    return samples[100];
}

class RenderCommitTest : public test::PlatformFixture {
protected:
    static constexpr FrameCount kMasterRecords = 400;

    // A selection of `grains` grains per channel and a master whose every record is kMasterLevel.
    void prepare(int channels, FrameCount grains) {
        mSelection = test::openEmptyFileSet(temp().file("take.analysis-selection.analysis"), channels);
        ASSERT_NE(mSelection, nullptr);
        for (int c = 0; c < channels; ++c) {
            auto writable = KVGrainCollection::initByOpeningFileAtPath(
                mSelection->grainCollectionForChannel(c)->sourceFilePath(), false, false);
            ASSERT_NE(writable, nullptr);
            for (FramePos i = 0; i < grains; ++i) writable->writeRecord(constantGrain(selectionLevel(i, c)), i);
            writable->synchronize();
        }
        mMaster = KVMixdownStore::openMixdownForFileAtPath(temp().file("take.wav"), kMasterRecords);
        ASSERT_NE(mMaster.left, nullptr);
        const KVEncodedGrain original = constantGrain(kMasterLevel);
        for (FramePos r = 0; r < kMasterRecords; ++r) {
            mMaster.left->writeRecord(original, r);
            mMaster.right->writeRecord(original, r);
        }
    }

    // Every master record: the selection's grain r - position inside written, else untouched.
    void expectMaster(FramePos position, Range written, bool mono) {
        for (FramePos r = 0; r < kMasterRecords; ++r) {
            const FramePos i = r - position;
            const bool inside = i >= written.first && i < written.second;
            const float left = inside ? selectionLevel(i, 0) : kMasterLevel;
            const float right = inside ? selectionLevel(i, mono ? 0 : 1) : kMasterLevel;
            ASSERT_NEAR(levelOf(*mMaster.left, r), left, 1e-4f) << "left record " << r;
            ASSERT_NEAR(levelOf(*mMaster.right, r), right, 1e-4f) << "right record " << r;
        }
    }

    std::unique_ptr<KVAnalysisFileSet> mSelection;
    KVMixdownStore::Collections mMaster;
    std::recursive_mutex mLock;
};

TEST_F(RenderCommitTest, StereoSelectionLandsAtTheSegmentPositionAndNothingElseChanges) {
    prepare(2, 120);
    const FramePos position = 150;
    EXPECT_EQ(KVMasterCommit::commitEditToMaster(*mSelection, position, 120 * 128, *mMaster.left, *mMaster.right,
                                                 mLock),
              120 - 64);
    expectMaster(position, {32, 88}, false);
}

TEST_F(RenderCommitTest, SegmentAtTheFileStartIsWrittenFromItsFirstGrainAndMonoFillsBothChannels) {
    prepare(1, 100);
    EXPECT_EQ(KVMasterCommit::commitEditToMaster(*mSelection, 10, 100 * 128, *mMaster.left, *mMaster.right, mLock),
              68);
    expectMaster(10, {0, 68}, true);
}

TEST_F(RenderCommitTest, GrainsAnalysedPastTheSegmentEndNeverReplaceTheMasterAfterIt) {
    // The analysis runs in whole blocks, so the selection holds grains past the segment's 100.
    prepare(2, 164);
    EXPECT_EQ(KVMasterCommit::commitEditToMaster(*mSelection, 200, 100 * 128, *mMaster.left, *mMaster.right, mLock),
              36);
    expectMaster(200, {32, 68}, false);
}

TEST_F(RenderCommitTest, EmptySelectionWritesNothing) {
    prepare(2, 0);
    EXPECT_EQ(KVMasterCommit::commitEditToMaster(*mSelection, 40, 100 * 128, *mMaster.left, *mMaster.right, mLock), 0);
    expectMaster(40, {0, 0}, false);
}

}  // namespace
}  // namespace orvex
