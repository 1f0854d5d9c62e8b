// The stems of an analysed segment's edit: the selection placed at the segment in a file as
// long as the source, the rest that makes the two add up to the source on the 24-bit grid, the
// counts of what clips and of what cannot be stored, and exports that fail or are cancelled
// leaving neither file. The selection is made of hand-written grains (loud where it should
// clip), so the expectations do not depend on how an analysis renders; the files are measured
// by an independent Python reader, against the segment export of the same selection.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "AnalysedSignal.h"
#include "engine/KVSegmentExporter.h"
#include "engine/KVStemsExporter.h"
#include "history/KVEditHistory.h"
#include "store/KVGrainCollection.h"
#include "store/StoreRecords.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/StemsCheck.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr FrameCount kFileFrames = 3 * 44100;
constexpr FramePos kSegmentStart = 30080;
constexpr FrameCount kSegmentFrames = 44100;
constexpr FrameCount kGrains = 420;  // the segment and its lead-in, with some to spare
// Grain levels: quiet everywhere, far beyond full scale in two runs of grains (one each way).
constexpr FramePos kLoudUp = 100, kLoudDown = 200, kLoudGrains = 10;

float grainLevel(FramePos i, int channel) {
    if (channel == 0 && i >= kLoudUp && i < kLoudUp + kLoudGrains) return 0.1f;
    if (channel == 0 && i >= kLoudDown && i < kLoudDown + kLoudGrains) return -0.1f;
    return (channel ? -0.0005f : 0.0005f) * float(1 + i % 5);
}

class StemsExportTest : public test::PlatformFixture {
protected:
    // A source of `channels` tones, its first channel near full scale (above the writer's 0.999
    // ceiling) for a stretch before the segment, and a selection of hand-written grains.
    void prepare(int channels) {
        test::Channels tones;
        for (int c = 0; c < channels; ++c) tones.push_back(test::sine(330.0 - 110.0 * c, 44100, kFileFrames, 0.6));
        std::fill(tones[0].begin() + 1000, tones[0].begin() + 9000, 0.9999f);
        mSource = temp().file("take.wav");
        test::writeWave(mSource, tones, 44100);
        mHistory = KVEditHistory::initWithContentsOfFile(mSource, 44100, false);
        ASSERT_NE(mHistory, nullptr);
        mSelection = test::openEmptyFileSet(temp().file("take-selection.analysis"), channels);
        ASSERT_NE(mSelection, nullptr);
        for (int c = 0; c < channels; ++c) {
            auto writable = KVGrainCollection::initByOpeningFileAtPath(
                mSelection->grainCollectionForChannel(c)->sourceFilePath(), false, false);
            ASSERT_NE(writable, nullptr);
            for (FramePos i = 0; i < kGrains; ++i) writable->writeRecord(test::constantGrain(grainLevel(i, c)), i);
            writable->synchronize();
        }
    }
    KVStemsExporter exporter() { return KVStemsExporter(*mSelection, *mHistory, kSegmentStart, kSegmentFrames, mLock); }
    KVStemsExporter::Paths paths() { return KVStemsExporter::pathsFor(temp().file("out.wav")); }
    // Every file in the test's folder (temporary ones included), but the source and the selection.
    std::vector<std::string> leftFiles() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp().path()))
            if (entry.is_regular_file() && entry.path().filename() != "take.wav")
                names.push_back(entry.path().filename().string());
        return names;
    }

    std::string mSource;
    std::shared_ptr<KVEditHistory> mHistory;
    std::unique_ptr<KVAnalysisFileSet> mSelection;
    std::recursive_mutex mLock;
    std::atomic<bool> mCancel{false};
};

TEST(StemsPaths, TheOutputNameLosesItsWaveExtensionAndGainsTheStemSuffixes) {
    struct Case {
        std::string output, selection, rest;
    };
    for (const Case& c : {Case{"/a/mix.wav", "/a/mix-selection.wav", "/a/mix-rest.wav"},
                          Case{"/a/Mix.WAV", "/a/Mix-selection.wav", "/a/Mix-rest.wav"},
                          Case{"take [stems].wav", "take [stems]-selection.wav", "take [stems]-rest.wav"},
                          Case{"/a/mix", "/a/mix-selection.wav", "/a/mix-rest.wav"},
                          Case{"/a/.wav", "/a/.wav-selection.wav", "/a/.wav-rest.wav"},
                          Case{"/a/b.wav.aiff", "/a/b.wav.aiff-selection.wav", "/a/b.wav.aiff-rest.wav"}}) {
        const KVStemsExporter::Paths paths = KVStemsExporter::pathsFor(c.output);
        EXPECT_EQ(paths.selection, c.selection) << c.output;
        EXPECT_EQ(paths.rest, c.rest) << c.output;
    }
}

// The sum is exact wherever the rest can be stored, the loud top of the source before the
// segment included; the clipped selection samples are those the selection stem holds at the
// writer's limits, and only the rest samples outside the 24-bit range break the sum.
TEST_F(StemsExportTest, StemsAddUpToTheSourceAndCountWhatClipsAndWhatCannotBeStored) {
    prepare(2);
    KVStemsExporter stems = exporter();
    std::vector<int> percents;
    ASSERT_EQ(stems.exportStems(paths(), {}, mCancel, [&](int p) { percents.push_back(p); }),
              KVStemsExporter::Outcome::Written);
    ASSERT_FALSE(percents.empty());
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(stems.failedPath().empty());
    const std::string segment = temp().file("segment.wav");
    KVSegmentExporter reference(*mSelection, kSegmentFrames, mLock);
    ASSERT_EQ(reference.exportSelectionToPath(segment, {}, mCancel, {}), KVSegmentExporter::Outcome::Written);

    const test::StemsCheck check =
        test::checkStems(mSource, paths().selection, paths().rest, kSegmentStart, kSegmentFrames, segment);
    ASSERT_EQ(check.text("ok"), "1") << check.output;
    const std::string layout = std::to_string(kFileFrames) + ",2,3,44100";
    EXPECT_EQ(check.text("source"), layout);
    EXPECT_EQ(check.text("selection"), layout);
    EXPECT_EQ(check.text("rest"), layout);
    EXPECT_EQ(check.number("outside_nonzero"), 0);
    EXPECT_GT(check.number("inside_nonzero"), kSegmentFrames);
    EXPECT_EQ(check.number("segment_mismatches"), 0);
    // The loud grains clip both ways; where the selection is far below zero and the source above
    // it, the rest would need more than the 24-bit range.
    EXPECT_GT(stems.clippedSamples(), 1000);
    EXPECT_EQ(check.number("selection_at_limits"), stems.clippedSamples());
    EXPECT_EQ(stems.clippedSamples(), reference.clippedSamples());
    EXPECT_GT(stems.unstorableSamples(), 100);
    EXPECT_EQ(check.number("sum_mismatches"), stems.unstorableSamples()) << check.output;
    EXPECT_GT(check.number("sum_max_difference"), 0);
    EXPECT_EQ(leftFiles().size(), 3u);  // the two stems and the reference
}

TEST_F(StemsExportTest, AMonoSourceGivesMonoStemsThatAddUpExactly) {
    prepare(1);
    KVStemsExporter stems = exporter();
    ASSERT_EQ(stems.exportStems(paths(), {}, mCancel, {}), KVStemsExporter::Outcome::Written);
    const test::StemsCheck check = test::checkStems(mSource, paths().selection, paths().rest, kSegmentStart,
                                                    kSegmentFrames);
    ASSERT_EQ(check.text("ok"), "1") << check.output;
    EXPECT_EQ(check.text("selection"), std::to_string(kFileFrames) + ",1,3,44100");
    EXPECT_EQ(check.text("rest"), std::to_string(kFileFrames) + ",1,3,44100");
    EXPECT_EQ(check.number("sum_mismatches"), stems.unstorableSamples());
    EXPECT_EQ(check.number("outside_nonzero"), 0);
}

// A rest that cannot be written (its name is taken by a folder) after a complete selection
// stem, a folder that does not exist, and a cancel halfway: neither stem appears, no temporary
// file stays, and an older file under the selection's name is kept as it was.
TEST_F(StemsExportTest, AFailureOrACancelLeavesNeitherFile) {
    prepare(2);
    const KVStemsExporter::Paths target = paths();
    std::ofstream(target.selection) << "older";
    fs::create_directory(target.rest);
    KVStemsExporter stems = exporter();
    EXPECT_EQ(stems.exportStems(target, {}, mCancel, {}), KVStemsExporter::Outcome::CannotCreate);
    EXPECT_EQ(stems.failedPath(), target.rest);
    EXPECT_EQ(test::fileBytes(target.selection), std::vector<char>({'o', 'l', 'd', 'e', 'r'}));
    EXPECT_EQ(leftFiles(), std::vector<std::string>{"out-selection.wav"});
    fs::remove(target.rest);
    fs::remove(target.selection);

    const KVStemsExporter::Paths missing = KVStemsExporter::pathsFor(temp().file("none/out.wav"));
    EXPECT_EQ(stems.exportStems(missing, {}, mCancel, {}), KVStemsExporter::Outcome::CannotCreate);
    EXPECT_EQ(stems.failedPath(), missing.selection);
    EXPECT_FALSE(fs::exists(temp().file("none")));

    // The cancel comes from the progress report itself, in the rest's half.
    const auto cancelLate = [this](int percent) {
        if (percent >= 70) mCancel = true;
    };
    EXPECT_EQ(stems.exportStems(target, {}, mCancel, cancelLate), KVStemsExporter::Outcome::Cancelled);
    EXPECT_TRUE(leftFiles().empty());
    EXPECT_EQ(KVExportWriter::resultOf(KVStemsExporter::Outcome::Cancelled, "").ok(), true);
}

}  // namespace
}  // namespace orvex
