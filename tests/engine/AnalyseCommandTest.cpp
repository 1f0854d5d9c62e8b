#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "engine/KVAnalyseCommand.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVAnalysisRunner.h"
#include "engine/KVDocumentMode.h"
#include "platform/PropertyList.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "support/PlatformFixture.h"
#include "StubAnalysisView.h"

namespace orvex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A headless platform whose volume has a chosen number of free bytes.
class SmallDiskPlatform : public test::SteadyPlatform {
public:
    std::int64_t freeBytesOfVolume(const std::string&) override { return freeBytes; }
    std::int64_t freeBytes = 100'000'000;
};

class AnalyseCommandTest : public test::EngineFixture {
protected:
    void SetUp() override {
        mDisk = std::make_shared<SmallDiskPlatform>();
        mDisk->freeBytes = 1'000'000'000'000;
        installPlatform(mDisk);
        // First half silence, second half a 440 Hz tone.
        std::vector<float> signal(40000, 0.0f);
        const std::vector<float> tone = test::sine(440.0, 44100.0, 20000, 0.4);
        std::copy(tone.begin(), tone.end(), signal.begin() + 20000);
        mPath = temp().file("take.wav");
        test::writeWave(mPath, {signal}, 44100);
    }
    void TearDown() override {
        release();
        EngineFixture::TearDown();
    }

    KVAnalyseResult analyse(FramePos start, FramePos end, bool option) {
        KVAnalyseRequest request;
        request.workingFilePath = mPath;
        request.channels = 1;
        request.start = start;
        request.end = end;
        request.optionHeld = option;
        request.view = &mView;
        request.output = std::make_unique<ManualAudioBackend>();
        KVAnalyseResult result = KVAnalyseCommand::analyzeSegment(std::move(request), mCurrent);
        if (result.started) {
            EXPECT_TRUE(platform().pumpMainThreadUntil([&] { return result.controller->runner()->hasEnded(); }, 600s));
        }
        return result;
    }

    void release() {
        if (mCurrent) mCurrent->shutdown();
        mCurrent.reset();
        platform().pumpMainThread();
    }

    PropertyList dictionary() { return *PropertyList::readFile(temp().file("take.analysis/take.plist")); }

    std::shared_ptr<SmallDiskPlatform> mDisk;
    std::string mPath;
    test::StubAnalysisView mView;
    std::shared_ptr<KVAnalysisController> mCurrent;
};

TEST_F(AnalyseCommandTest, TooLittleDiskSpaceStopsWithItsReasonCountingOnlyWhatIsStillToBeWritten) {
    // Stereo, 2 s: (3 x 88 200 / 128 = 2067) records of 181 368 bytes.
    EXPECT_EQ(KVAnalyseCommand::requiredBytes(2, 88200), 2067LL * 181368LL);
    EXPECT_EQ(KVAnalyseCommand::requiredBytes(1, 63), 0);
    EXPECT_EQ(KVAnalyseCommand::requiredBytes(1, 64), 181368);
    mDisk->freeBytes = 100'000'000;
    const Result refused = KVAnalyseCommand::checkDiskSpace(mPath, 2, 88200);
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.text(), "Not enough disk space: Working with this file requires 0.37 GB of free disk space. "
                              "You have 0.10 GB of disk space left");
    EXPECT_TRUE(platform().alerts().empty());
    // A refused analysis writes nothing: shown end to end by the command-line disk space tests.
    mDisk->freeBytes = -1;  // unknown: go ahead
    EXPECT_TRUE(KVAnalyseCommand::checkDiskSpace(mPath, 2, 88200));

    // After a disk filled mid-analysis, only the frames still missing need room; a segment
    // length no dictionary could hold is refused as damage, not priced in gigabytes.
    ASSERT_TRUE(analyse(0, 40000, false).started);
    release();
    const std::string records = temp().file("take.analysis/take_ovw.ana.noindex");
    fs::resize_file(records, fs::file_size(records) / 2);
    const std::int64_t whole = KVAnalyseCommand::requiredBytes(1, 40000);
    mDisk->freeBytes = whole * 6 / 10;
    EXPECT_FALSE(KVAnalyseCommand::checkDiskSpace(mPath, 1, 40000));  // all of it, from scratch
    EXPECT_TRUE(analyse(0, 40000, false).started);
    release();

    mDisk->freeBytes = 1'000'000'000'000;
    const Result damaged = KVAnalyseCommand::checkDiskSpace(mPath, 1, 1'000'000'000'000);
    EXPECT_FALSE(damaged);
    EXPECT_EQ(damaged.title(), "Damaged analysis range");
    EXPECT_EQ(damaged.message().find("GB"), std::string::npos);
}

TEST_F(AnalyseCommandTest, TheSegmentReadsFromItsStartItsRangeIsRecordedAndReusedOnlyWhenWhole) {
    const KVAnalyseResult result = analyse(20000, 40000, false);
    ASSERT_TRUE(result.started);
    EXPECT_TRUE(result.forced);  // nothing stored yet
    EXPECT_EQ(result.segmentStartFrame, 20000);
    EXPECT_EQ(result.segmentOverviewPosition, 156);
    EXPECT_EQ(mCurrent, result.controller);
    const PropertyList dict = dictionary();
    EXPECT_EQ(dict.getInt("ORVXFileGroup_AnalysisStartFrame"), 20000);
    EXPECT_EQ(dict.getInt("ORVXFileGroup_AnalysisEndFrame"), 40000);
    EXPECT_EQ(dict.getInt("ORVXFileGroup_SelectionStartFrame"), 20000);
    EXPECT_EQ(dict.getInt("ORVXFileGroup_SelectionEndFrame"), 40000);
    EXPECT_TRUE(dict.getBool("AnalysisCompleteForSelection"));

    // The segment's frame 40 holds the tone that starts at frame 20 000 of the file.
    auto record = FrameRecord::create();
    ASSERT_EQ(result.controller->analysisStore().readFrameRecord(40, *record, -1), 0);
    EXPECT_NEAR(record->binFrequency(record->nearestPeakBin(440.0f)), 440.0f, 3.0f);
    EXPECT_EQ(result.controller->analysisStore().frameCount(), KVAnalysisRunner::expectedFrameCount(20000));
    // A new controller is in Modify mode with the multi pencil: the command's mode 0 is stored as 1.
    EXPECT_EQ(result.controller->selectionMode(), SelectionMode::Subtract);

    // A stored analysis is reused only when it is whole and of the same range.
    ASSERT_TRUE(analyse(0, 20000, false).forced);
    const std::size_t messagesAfterFirst = mView.messages().size();

    KVAnalyseResult again = analyse(0, 20000, false);
    EXPECT_FALSE(again.forced);
    // The runner found the store complete: no progress, only the cleared status line.
    EXPECT_EQ(mView.messages().size(), messagesAfterFirst + 1);
    EXPECT_EQ(mView.messages().back(), "");

    EXPECT_TRUE(analyse(0, 20000, true).forced);   // Option held
    EXPECT_TRUE(analyse(0, 24000, false).forced);  // another range

    // An interrupted analysis of the same range is analysed again, not reused.
    release();
    const fs::path records = temp().file("take.analysis/take_ovw.ana.noindex");
    fs::resize_file(records, 100 * sizeof(FrameRecord));
    EXPECT_TRUE(KVAnalyseCommand::needsFreshAnalysis(mPath, 1, 0, 24000, false));
    const KVAnalyseResult repaired = analyse(0, 24000, false);
    EXPECT_TRUE(repaired.forced);
    EXPECT_EQ(fs::file_size(records),
              std::uintmax_t(KVAnalysisRunner::analysedFrameCount(24000, 4096)) * sizeof(FrameRecord));
    EXPECT_FALSE(KVAnalyseCommand::needsFreshAnalysis(mPath, 1, 0, 24000, false));
}

}  // namespace
}  // namespace orvex
