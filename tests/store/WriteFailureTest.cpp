// A disk that fills up under the store's writes: the writer hears of it, one alert is raised, the
// analysis does not count as complete, and a failed edit or undo leaves the selection as it was
// before (at once when space comes back, else on the next open). The files are compared with
// their own bytes from before, read straight from the disk.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "store/AppendBlock.h"
#include "store/FileSizeLimit.h"
#include "store/StoreRecords.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::FileSizeLimit;
using test::fileBytes;
using test::partialsRecord;

constexpr std::uint64_t kRecord = sizeof(FrameRecord);
const char* const kOverviewFiles[] = {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".trk.noindex", ".cdx.noindex"};
// The frames a step rewrites: their undo copies fit below 16 records, the records themselves
// lie beyond, so a limit there fails the records and nothing else.
constexpr int kFirstEdited = 20, kEdited = 16;
constexpr std::uint64_t kCopiesLimit = kEdited * kRecord;

class WriteFailureTest : public test::FileSetFixture {
protected:
    // A mono selection set whose overview holds 40 frames, with no undo step to take back.
    std::unique_ptr<KVAnalysisFileSet> openSelection(bool recreate) {
        auto set = open(1, recreate);
        if (!recreate) return set;
        for (int f = 0; f < 40; ++f) EXPECT_EQ(set->writeFrameRecord(*partialsRecord(f), f, -1), 0);
        set->beginUndoStep();
        EXPECT_TRUE(set->commitUndoStep());
        return set;
    }
    std::map<std::string, std::vector<char>> overviewBytes() {
        std::map<std::string, std::vector<char>> bytes;
        for (const char* suffix : kOverviewFiles) bytes[suffix] = fileBytes(data("ovw", suffix));
        return bytes;
    }
    // Writes the edited frames inside the open step; the statuses the writes return.
    static std::vector<Status> writeEdit(KVAnalysisFileSet& set) {
        std::vector<Status> statuses;
        for (int f = kFirstEdited; f < kFirstEdited + kEdited; ++f)
            statuses.push_back(set.writeFrameRecord(*partialsRecord(500 + f), f, -1));
        return statuses;
    }
    bool stepRecorded() { return fs::exists(temp().file("take.analysis/take_open-step.noindex")); }
};

// The lanes append a block at a time: the first block that meets the full disk fails, every
// append after it is refused, and the alert comes once for the whole set. Reopened, the files
// the failure cut short make the stored analysis incomplete, so it is analysed again.
TEST_F(WriteFailureTest, AnAnalysisThatFillsTheDiskIsNotCompleteAndSaysSoOnce) {
    auto set = open(1, true, false);
    ASSERT_TRUE(set->markComplete());  // as the runner does before its first append
    std::vector<Status> statuses;
    {
        FileSizeLimit limit(5 * kRecord);
        for (int f = 0; f < 40; ++f)
            for (int c = -1; c < 1; ++c) statuses.push_back(set->appendFrameRecord(*partialsRecord(f), c));
        EXPECT_FALSE(set->flushAppends());
        EXPECT_FALSE(set->synchronize());
    }
    // The overview's block is written by its 16th append, the first of the set's appends to fail.
    const std::size_t firstFailure = 2 * (AppendBlock::kCapacity - 1);
    for (std::size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], i < firstFailure ? 0 : -1) << i;
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_EQ(failures()[0].title(), "Error writing to data file");
    EXPECT_EQ(failures()[0].message(), "There was a problem writing data to file:\nFile too large");
    EXPECT_EQ(set->writeFailure().text(), failures()[0].text());
    EXPECT_FALSE(set->isAnalysisComplete());
    EXPECT_FALSE(set->markComplete());
    EXPECT_FALSE(set->isAnalysisComplete());
    set.reset();
    EXPECT_EQ(fs::file_size(data("ovw", ".ana.noindex")), 5 * kRecord);
    EXPECT_EQ(fs::file_size(data("ovw", ".asp.noindex")), AppendBlock::kCapacity * sizeof(KVEncodedGrain));
    EXPECT_FALSE(open(1)->isAnalysisComplete());
    EXPECT_EQ(failures().size(), 1u);
}

// The step's grains and display records reach the disk, its records do not: committed, the step
// is put back from its copies, at once when there is room again, or else on the next open.
TEST_F(WriteFailureTest, AFailedStepIsPutBackAsItWas) {
    for (const bool roomAgain : {true, false}) {
        SCOPED_TRACE(roomAgain ? "room again before the commit" : "still full at the commit");
        auto set = openSelection(true);
        const auto before = overviewBytes();
        mFailures.clear();
        set->beginUndoStep();
        FileSizeLimit limit(kCopiesLimit);
        const std::vector<Status> statuses = writeEdit(*set);
        EXPECT_EQ(statuses.back(), -1);  // the write that filled the block
        if (roomAgain) limit.lift();
        const Result committed = set->commitUndoStep();
        limit.lift();
        EXPECT_EQ(committed.title(), "Error writing to data file");
        EXPECT_EQ(committed.message().find("opened again") != std::string::npos, !roomAgain) << committed.message();
        EXPECT_EQ(stepRecorded(), !roomAgain);
        EXPECT_EQ(failures().size(), 1u);
        if (roomAgain) {
            EXPECT_EQ(overviewBytes(), before);
            EXPECT_FALSE(set->canUndo());
        }
        set.reset();
        auto reopened = open(1);
        EXPECT_EQ(reopened->rolledBackInterruptedStep(), !roomAgain);
        EXPECT_FALSE(stepRecorded());
        EXPECT_EQ(overviewBytes(), before);
    }
}

// A whole-segment step writes fresh files: one that fills the disk gets the files it kept back
// under their paths, and leaves no level and no kept file behind.
TEST_F(WriteFailureTest, AWholeSegmentStepThatFillsTheDiskGetsItsKeptFilesBack) {
    auto set = openSelection(true);
    const auto before = overviewBytes();
    mFailures.clear();
    set->beginWholeSegmentStep("Keep Sustained");
    {
        FileSizeLimit limit(10 * kRecord);
        for (int f = 0; f < 40; ++f) set->writeFrameRecord(*partialsRecord(700 + f), f, -1);
        EXPECT_FALSE(set->flushAppends());
    }
    const Result committed = set->commitUndoStep();
    EXPECT_EQ(committed.title(), "Error writing to data file");
    EXPECT_EQ(failures().size(), 1u);
    EXPECT_FALSE(set->canUndo());
    EXPECT_FALSE(stepRecorded());
    EXPECT_EQ(overviewBytes(), before);
    for (const auto& entry : fs::directory_iterator(temp().file("take.analysis")))
        EXPECT_EQ(entry.path().filename().string().find(".step-"), std::string::npos) << entry.path();
    set.reset();
    EXPECT_EQ(overviewBytes(), before);
    EXPECT_FALSE(open(1)->rolledBackInterruptedStep());
}

// An undo that meets the full disk says why and keeps what it needs; once there is room the same
// undo puts the frames back.
TEST_F(WriteFailureTest, AnUndoThatCannotWriteKeepsItsCopiesForAnotherTry) {
    auto set = openSelection(true);
    const auto before = overviewBytes();
    set->beginUndoStep();
    for (const Status status : writeEdit(*set)) EXPECT_EQ(status, 0);
    ASSERT_TRUE(set->commitUndoStep());
    const auto edited = overviewBytes();
    {
        FileSizeLimit limit(kCopiesLimit);
        const Result undone = set->undoLastStep();
        EXPECT_EQ(undone.title(), "Error writing to data file");
    }
    EXPECT_TRUE(set->canUndo());
    EXPECT_TRUE(stepRecorded());
    EXPECT_NE(overviewBytes(), edited);  // partly undone: grains and display records
    EXPECT_TRUE(set->undoLastStep());
    EXPECT_FALSE(stepRecorded());
    EXPECT_FALSE(set->canUndo());
    EXPECT_EQ(overviewBytes(), before);
    EXPECT_EQ(failures().size(), 1u);
}

// Outside a step each write saves its copy first: a copy the disk has no room for leaves its
// frame untouched and no torn copy behind.
TEST_F(WriteFailureTest, AFrameWhoseUndoCopyCannotBeSavedIsLeftAsItWas) {
    auto set = openSelection(true);
    std::vector<Status> statuses;
    {
        // Room for two copies; frames 0 and 1 lie below the limit in every file.
        FileSizeLimit limit(2 * kRecord + kRecord / 2);
        for (const auto& [frame, tag] : {std::pair{0, 700}, {1, 701}, {0, 702}})
            statuses.push_back(set->writeFrameRecord(*partialsRecord(tag), frame, -1));
    }
    EXPECT_EQ(statuses, (std::vector<Status>{0, 0, -1}));
    EXPECT_EQ(fs::file_size(data("ovw", ".undo.noindex")), 2 * kRecord);
    auto read = FrameRecord::create();
    ASSERT_EQ(set->readFrameRecord(0, *read, -1), 0);
    EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(700)));  // not 702
    ASSERT_EQ(set->readFrameRecord(1, *read, -1), 0);
    EXPECT_TRUE(test::sameApartFromSampleRange(*read, *partialsRecord(701)));
    EXPECT_EQ(set->writeFrameRecord(*partialsRecord(704), 4, -1), -1);  // refused until the next step
    EXPECT_EQ(countFailures("Error writing to undo file"), 1);
}

// Each chunk file of the set is whole in itself, but channel 1 holds fewer frames than the
// overview: its missing frames would play and render as silence. (Its side files go too, as for
// a store written before they existed; with them the channel itself is not complete.)
TEST_F(WriteFailureTest, AChannelShorterThanTheOverviewIsNotComplete) {
    {
        auto set = open(2, true, false);
        ASSERT_TRUE(set->markComplete());
        for (int f = 0; f < 4; ++f)
            for (int c = -1; c < 2; ++c) ASSERT_EQ(set->appendFrameRecord(*partialsRecord(f), c), 0);
    }
    EXPECT_TRUE(open(2, false, false)->isAnalysisComplete());
    fs::resize_file(data("1", ".ana.noindex"), 2 * kRecord);
    fs::resize_file(data("1", ".asp.noindex"), 2 * sizeof(KVEncodedGrain));
    for (const char* suffix : {".ana.noindex", ".asp.noindex", ".undo.noindex"})
        fs::remove(RecordChecksums::pathFor(data("1", suffix)));
    auto set = open(2, false, false);
    EXPECT_TRUE(set->chunkFileForChannel(1)->isAnalysisComplete());
    EXPECT_FALSE(set->isAnalysisComplete());
    EXPECT_TRUE(failures().empty());
}

}  // namespace
}  // namespace orvex
