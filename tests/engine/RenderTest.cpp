// The rendered selection: exported as a segment, played, and committed to the master.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <memory>
#include <mutex>

#include "AnalysedSignal.h"
#include "engine/KVMasterCommit.h"
#include "engine/KVSegmentExporter.h"
#include "engine/KVSelectionPlaySource.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "store/KVMixdownStore.h"
#include "store/StoreRecords.h"
#include "support/Signals.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 44100;

// Normalised cross-correlation of a and b at lag (b delayed by lag against a).
double correlationAt(const std::vector<float>& a, const std::vector<float>& b, int lag) {
    double sum = 0.0, ea = 0.0, eb = 0.0;
    for (std::size_t i = 8192; i + 8192 < a.size(); ++i) {
        const std::int64_t j = std::int64_t(i) + lag;
        if (j < 0 || j >= std::int64_t(b.size())) continue;
        sum += double(a[i]) * b[std::size_t(j)];
        ea += double(a[i]) * a[i];
        eb += double(b[std::size_t(j)]) * b[std::size_t(j)];
    }
    return sum / std::sqrt(ea * eb + 1e-30);
}

class RenderExportTest : public test::SharedAnalysisTest {
protected:
    void SetUp() override {
        SharedAnalysisTest::SetUp();
        openSelection(kFrames);
        mOps->selectAll();
    }
    std::recursive_mutex mLock;
    std::atomic<bool> mStop{false};
};

TEST_F(RenderExportTest, UneditedSelectionExportsTheSegmentSampleAlignedAndNoLongerOrNothing) {
    const std::string out = temp().file("segment.wav");
    KVSegmentExporter exporter(*mSelection, kFrames, mLock);
    int lastPercent = -1;
    ASSERT_EQ(exporter.exportSelectionToPath(out, {}, mStop, [&](int p) { lastPercent = p; }),
              KVSegmentExporter::Outcome::Written);
    EXPECT_EQ(lastPercent, 100);
    int rate = 0;
    const test::Channels exported = test::readSound(out, &rate);
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(rate, 44100);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& source = mShared->signal.mix[std::size_t(c)];
        ASSERT_EQ(std::int64_t(exported[std::size_t(c)].size()), kFrames);
        int best = 0;
        double bestValue = -2.0;
        for (int lag = -300; lag <= 300; ++lag) {
            const double value = correlationAt(source, exported[std::size_t(c)], lag);
            if (value > bestValue) bestValue = value, best = lag;
        }
        EXPECT_EQ(best, 0) << "channel " << c;
        EXPECT_GT(bestValue, 0.95) << "channel " << c;
    }
    EXPECT_FALSE(fs::exists(temp().file(".segment.wav.partial-" + std::to_string(::getpid()))));

    // A target that cannot be created leaves no file and no folder.
    EXPECT_EQ(exporter.exportSelectionToPath(temp().file("missing/segment.wav"), {}, mStop, {}),
              KVSegmentExporter::Outcome::CannotCreate);
    EXPECT_FALSE(fs::exists(temp().file("missing")));
    EXPECT_EQ(KVExportWriter::resultOf(KVSegmentExporter::Outcome::CannotCreate, "x").title(), "Error creating file");
}

TEST_F(RenderExportTest, PlaySourceFollowsSelectionAudioAndPlayOriginal) {
    std::atomic<bool> playOriginal{false};
    auto empty = test::openEmptyFileSet(temp().file("other-selection.analysis"), 2);
    KVSelectionPlaySource withoutSelection(analysis(), empty.get(), playOriginal);
    EXPECT_EQ(&withoutSelection.source(), &analysis());
    KVSelectionPlaySource source(analysis(), mSelection.get(), playOriginal);
    mSelection->frameCount();
    EXPECT_EQ(&source.source(), mSelection.get());
    playOriginal = true;
    EXPECT_EQ(&source.source(), &analysis());
    playOriginal = false;
    // The selected audio played from the start follows the signal (one grain of lead-in).
    std::vector<float> left(kFrames), right(kFrames);
    source.setPlayPosition(0);
    for (std::int64_t at = 0; at + 512 <= kFrames; at += 512) {
        float* block[2] = {left.data() + at, right.data() + at};
        source.readPlayFrames(512, block);
    }
    const std::vector<float>& tone = mShared->signal.mix[1];
    EXPECT_GT(correlationAt(tone, right, 4096), 0.9);
}

using Range = std::pair<FramePos, FramePos>;
using test::constantGrain;

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
    void prepare(int channels, FrameCount grains, const std::string& name) {
        mSelection = test::openEmptyFileSet(temp().file(name + ".analysis-selection.analysis"), channels);
        ASSERT_NE(mSelection, nullptr);
        for (int c = 0; c < channels; ++c) {
            auto writable = KVGrainCollection::initByOpeningFileAtPath(
                mSelection->grainCollectionForChannel(c)->sourceFilePath(), false, false);
            ASSERT_NE(writable, nullptr);
            for (FramePos i = 0; i < grains; ++i) writable->writeRecord(constantGrain(selectionLevel(i, c)), i);
            writable->synchronize();
        }
        mMaster = KVMixdownStore::openMixdownForFileAtPath(temp().file(name + ".wav"), kMasterRecords);
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

// The selection's grains land at the segment position, one block in from each end except at
// the file start; a mono selection fills both channels; grains analysed past the segment end
// (the analysis runs in whole blocks) never replace the master after it; nothing else changes.
TEST_F(RenderCommitTest, SelectionLandsAtTheSegmentPositionAndNothingElseChanges) {
    struct Case {
        std::string name;
        int channels;
        FrameCount grains, segmentGrains;
        FramePos position;
        Range written;
    };
    for (const Case& c : {Case{"stereo", 2, 120, 120, 150, {32, 88}}, Case{"start", 1, 100, 100, 10, {0, 68}},
                          Case{"past", 2, 164, 100, 200, {32, 68}}, Case{"empty", 2, 0, 100, 40, {0, 0}}}) {
        SCOPED_TRACE(c.name);
        prepare(c.channels, c.grains, c.name);
        EXPECT_EQ(KVMasterCommit::commitEditToMaster(*mSelection, c.position, c.segmentGrains * 128, *mMaster.left,
                                                     *mMaster.right, mLock),
                  c.written.second - c.written.first);
        expectMaster(c.position, c.written, c.channels == 1);
    }
}

}  // namespace
}  // namespace orvex
