#include <gtest/gtest.h>

#include "control/ControlTestSupport.h"
#include "control/FakeViews.h"
#include "control/KVSegmentController.h"
#include "control/KVSegmentRange.h"
#include "engine/KVDocumentMode.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "utilities/KVParamDictionary.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

constexpr FrameCount kSecond = 44100;

TEST(SegmentRangeTest, SelectionStaysBetweenTwoAndNineHundredSecondsOnBlockEdgesAndSteps) {
    KVSegmentRange range;
    range.setTotalFrames(1000 * kSecond);
    const auto check = [&](const char* what) {
        const FrameCount length = range.selectionEndFrame() - range.selectionStartFrame();
        EXPECT_EQ(range.selectionStartFrame() % 128, 0) << what;
        // On a block edge, or at the file's end (which keeps the file's last samples).
        EXPECT_TRUE(range.selectionEndFrame() % 128 == 0 || range.selectionEndFrame() == range.totalFrames()) << what;
        EXPECT_GE(length, 2 * kSecond) << what;
        EXPECT_LE(length, 900 * kSecond) << what;
        EXPECT_GE(range.selectionStartFrame(), 0) << what;
        EXPECT_LE(range.selectionEndFrame(), 1000 * kSecond) << what;
    };
    range.setSelectionStartFrame(10 * kSecond + 77);
    range.setSelectionEndFrame(11 * kSecond);  // too short: the start follows
    check("short end");
    EXPECT_EQ(range.selectionEndFrame(), 11 * kSecond / 128 * 128);
    range.setSelectionEndFrame(990 * kSecond);  // too long: the start follows
    check("long end");
    EXPECT_EQ(range.selectionStartFrame(), (990 - 900) * kSecond / 128 * 128);
    range.setSelectionStartFrame(5 * kSecond);  // too long again: the end follows
    check("long start");
    EXPECT_EQ(range.selectionEndFrame(), 905 * kSecond / 128 * 128);
    range.setSelectionStartFrame(2000 * kSecond);  // past the end: 2 s before it
    check("start past the end");
    EXPECT_EQ(range.selectionStartFrame(), 998 * kSecond / 128 * 128);
    EXPECT_EQ(range.selectionEndFrame(), 1000 * kSecond);
    range.setSelectionEndFrame(-5);
    check("negative end");
    EXPECT_EQ(range.selectionStartFrame(), 0);

    // Short files, neighbouring segments and the analysed range.
    KVSegmentRange shortFile;
    shortFile.setTotalFrames(kSecond);
    EXPECT_EQ(shortFile.selectionStartFrame(), 0);
    EXPECT_GE(shortFile.selectionEndFrame(), 2 * kSecond);

    range = KVSegmentRange();
    range.setTotalFrames(20 * kSecond);
    range.setSelectionEndFrame(128 * 1000);
    range.setSelectionStartFrame(0);
    range.selectNextSegment();
    EXPECT_EQ(range.selectionStartFrame(), 128 * 1000 - 4096);
    EXPECT_EQ(range.selectionEndFrame(), 2 * 128 * 1000 - 4096);
    range.selectPreviousSegment();
    EXPECT_EQ(range.selectionStartFrame(), 0);
    // At the file's end the segment stops on the last whole block and keeps its length; at the
    // start it stops at 0.
    for (int i = 0; i < 10; ++i) range.selectNextSegment();
    EXPECT_EQ(range.selectionEndFrame(), 20 * kSecond / 128 * 128);
    EXPECT_EQ(range.selectionEndFrame() - range.selectionStartFrame(), 128 * 1000);
    range.setSelectionEndFrame(20 * kSecond);
    range.setSelectionStartFrame(10 * kSecond);
    const FrameCount length = range.selectionEndFrame() - range.selectionStartFrame();
    range.selectNextSegment();
    EXPECT_EQ(range.selectionEndFrame() - range.selectionStartFrame(), length);
    EXPECT_LE(range.selectionEndFrame(), 20 * kSecond);
    for (int i = 0; i < 3; ++i) range.selectPreviousSegment();
    EXPECT_EQ(range.selectionStartFrame(), 0);
    EXPECT_EQ(range.selectionEndFrame(), length / 128 * 128);  // back on a block edge

    EXPECT_FALSE(range.selectAnalysisRange());
    range.setAnalysisStartFrame(128 * 10);
    range.setAnalysisEndFrame(128 * 900);
    EXPECT_TRUE(range.selectAnalysisRange());
    EXPECT_EQ(range.selectionStartFrame(), 128 * 10);
    EXPECT_EQ(range.selectionEndFrame(), 128 * 900);
    EXPECT_EQ(range.analysisEndBlock(), 900);
}

class SegmentControllerTest : public test::PlatformFixture {
protected:
    std::string sound() { return temp().file("take.wav"); }
    std::shared_ptr<KVEditHistory> history(const test::Channels& channels) {
        test::writeWave(sound(), channels, 44100);
        return KVEditHistory::initWithContentsOfFile(sound(), kWorkingSampleRate, false);
    }
    std::unique_ptr<KVSegmentController> open(std::shared_ptr<KVEditHistory> h, test::FakeSegmentView& view,
                                              bool highQuality = true) {
        auto controller = KVSegmentController::initWithEditHistory(std::move(h), &view, highQuality);
        EXPECT_TRUE(controller);
        controller->waitForOverview();
        EXPECT_TRUE(test::settle(platform(), [] { return true; }));
        return controller;
    }
};

// The stored segment and analysed range survive a save and a reopen; the dictionary as
// Python's plistlib reads it carries them with the version and its own path.
TEST_F(SegmentControllerTest, StoredRangesRoundTripThroughTheDictionary) {
    test::FakeSegmentView none;
    EXPECT_FALSE(KVSegmentController::initWithEditHistory(nullptr, &none, true));  // nothing without a history
    auto h = history({test::sine(440.0, 44100, 10 * kSecond)});
    FramePos start = -1, end = -1;
    EXPECT_TRUE(KVSegmentController::analysisRangeForFileAtPath(sound(), start, end));
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 0);
    test::FakeSegmentView view;
    {
        auto controller = open(h, view);
        EXPECT_EQ(view.selectionStartFrame(), 0);
        EXPECT_EQ(view.analysisEndFrame(), 0);
        view.setSelectionStartFrame(128 * 100);
        view.setSelectionEndFrame(128 * 1000);
        controller->setAnalysisStart(128 * 50, 128 * 900);
        // The range the view edits is the controller's.
        EXPECT_EQ(controller->range().selectionStartFrame(), 128 * 100);
        EXPECT_EQ(controller->range().analysisEndFrame(), 128 * 900);
        EXPECT_TRUE(controller->saveSelectionAndAnalysisRange());
    }
    // Without its controller the view keeps a copy of what it showed.
    EXPECT_EQ(view.selectionEndFrame(), 128 * 1000);
    const std::string dictPath = KVUtilities::paramDictPathForAnalysisOfFileAtPath(sound());
    EXPECT_EQ(test::plistText(dictPath), "ORVXFileGroup_AnalysisEndFrame=115200 ORVXFileGroup_AnalysisStartFrame=6400 "
                                         "ORVXFileGroup_DictionaryPath=" + dictPath +
                                             " ORVXFileGroup_SelectionEndFrame=128000 "
                                             "ORVXFileGroup_SelectionStartFrame=12800 ORVXFileGroup_Version=259\n");

    EXPECT_TRUE(KVSegmentController::analysisRangeForFileAtPath(sound(), start, end));
    EXPECT_EQ(start, 128 * 50);
    EXPECT_EQ(end, 128 * 900);
    test::FakeSegmentView reopened;
    auto controller = open(h, reopened);
    EXPECT_EQ(reopened.selectionStartFrame(), 128 * 100);
    EXPECT_EQ(reopened.selectionEndFrame(), 128 * 1000);
    EXPECT_EQ(reopened.analysisStartFrame(), 128 * 50);
    EXPECT_EQ(controller->paramDict().getString("ORVXFileGroup_DictionaryPath"), dictPath);
}

// The controller reads the dictionary when the document opens; the mode chosen and the analysis
// flags written after that must survive its saving the ranges at close.
TEST_F(SegmentControllerTest, SavingTheRangesKeepsKeysWrittenSinceTheOpen) {
    auto h = history({test::sine(440.0, 44100, 4 * kSecond, 0.5)});
    test::FakeSegmentView view;
    auto controller = open(h, view);
    ASSERT_TRUE(KVDocumentMode::recordMode(sound(), DocumentMode::Suppress));
    KVParamDictionary::change(sound(), [](PropertyList& dict) { dict.setBool("AnalysisCompleteForSelection", true); });
    view.setSelectionEndFrame(128 * 1000);
    ASSERT_TRUE(controller->saveSelectionAndAnalysisRange());
    const PropertyList stored = KVUtilities::paramDictForAnalysisOfFileAtPath(sound());
    EXPECT_EQ(stored.getInt("DocumentConfiguredForMode"), static_cast<int>(DocumentMode::Suppress) + 1);
    EXPECT_TRUE(stored.getBool("AnalysisCompleteForSelection"));
    EXPECT_EQ(stored.getInt("ORVXFileGroup_SelectionEndFrame"), 128 * 1000);
}

// Each column holds the extremes (with 0) of its frames, computed here from the source.
TEST_F(SegmentControllerTest, OverviewColumnsHoldEachChannelsExtremes) {
    auto left = test::noise(100'000, 0.8, 3);
    auto right = test::chirp(50.0, 5000.0, 44100, 100'000, 0.3);
    auto h = history({left, right});
    test::FakeSegmentView view;
    auto controller = open(h, view, false);
    EXPECT_EQ(view.mChannels, 2);
    const auto columns = view.columns();
    ASSERT_EQ(columns.size(), 512u);
    const FrameCount step = 100'000 / 512;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        float minL = 0, maxL = 0, minR = 0, maxR = 0;
        for (FrameCount f = i * step; f < static_cast<FrameCount>(i + 1) * step; ++f) {
            minL = std::min(minL, left[f]), maxL = std::max(maxL, left[f]);
            minR = std::min(minR, right[f]), maxR = std::max(maxR, right[f]);
        }
        ASSERT_NEAR(columns[i].minL, minL, 1e-6) << i;  // 24-bit file
        ASSERT_NEAR(columns[i].maxL, maxL, 1e-6) << i;
        ASSERT_NEAR(columns[i].minR, minR, 1e-6) << i;
        ASSERT_NEAR(columns[i].maxR, maxR, 1e-6) << i;
    }
    EXPECT_GT(view.mRedraws, 0);
    EXPECT_EQ(platform().soundsPlayed().size(), 1u);
}

TEST_F(SegmentControllerTest, TinyMonoFileFillsOneColumnPerFrame) {
    auto h = history({std::vector<float>{0.5f, -0.5f, 0.25f, 0, 0, 0, 0, 0, 0, 0.125f}});
    test::FakeSegmentView view;
    auto controller = open(h, view);
    const auto columns = view.columns();
    EXPECT_EQ(columns[0].maxL, 0.5f);
    EXPECT_EQ(columns[1].minL, -0.5f);
    EXPECT_EQ(columns[9].maxL, 0.125f);
    EXPECT_EQ(columns[10].maxL, 0.0f);  // read at the end: silence
    EXPECT_EQ(view.storedColumns(), 11);
    for (int i = 0; i <= 10; ++i) EXPECT_TRUE(columns[i].minR == 0 && columns[i].maxR == 0) << i;
}

}  // namespace
}  // namespace orvex
