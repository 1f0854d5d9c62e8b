// A level that spans the analysis (Apply Selection): it keeps the analysis' files with the
// selection's, so its undo and redo give back both, in one process and after reopening; one cut
// short by a kill, failed by its history or by a full disk leaves both as they were; dropping the level drops the
// analysis' kept files too.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "store/FileSizeLimit.h"
#include "store/KVAnalysisPaths.h"
#include "store/StoreRecords.h"

namespace orvex {
namespace {

using test::fileBytes;
using test::partialsRecord;

namespace fs = std::filesystem;

class ApplyLevelTest : public test::FileSetFixture {
protected:
    struct Stores {
        std::unique_ptr<KVAnalysisFileSet> analysis, selection;
    };
    // The analysis first, as the document opens them: it puts back its own files of an
    // Apply Selection cut short before the selection settles its history.
    Stores openBoth(bool recreate = false) {
        Stores stores;
        stores.analysis = open(2, recreate, false);
        stores.selection = KVAnalysisFileSet::initByOpeningFileAtPath(
            KVAnalysisPaths::selectionFileSetPath(temp().file("take.wav")), 44100.0, 4, 4096, 32, 2, true, recreate);
        stores.selection->shareStepsWith(stores.analysis.get());
        return stores;
    }
    // Analysis frames 0..7 tagged 10..17 per chunk; a selection of frames 0..5 tagged 300.
    Stores openFilled() {
        Stores stores = openBoth(true);
        for (int f = 0; f < 8; ++f)
            for (int c = -1; c < 2; ++c) stores.analysis->appendFrameRecord(*partialsRecord(10 * (c + 2) + f), c);
        stores.analysis->synchronize();
        stores.selection->beginWholeSegmentStep("Select All");
        for (int f = 0; f < 6; ++f)
            for (int c = -1; c < 2; ++c) stores.selection->writeFrameRecord(*partialsRecord(300 + 10 * c + f), f, c);
        EXPECT_TRUE(stores.selection->commitUndoStep());
        return stores;
    }
    // What applying does: the selection's frames into the emptied analysis, the selection emptied.
    // Without commit it is left open, as a kill leaves it.
    static Result apply(Stores& stores, int frames, bool commit = true) {
        stores.selection->beginApplyStep("Apply Selection");
        stores.analysis->setFrameCount(0);
        auto record = FrameRecord::create();
        for (int f = 0; f < frames; ++f)
            for (int c = -1; c < 2; ++c) {
                EXPECT_EQ(stores.selection->readFrameRecord(f, *record, c), 0);
                stores.analysis->writeFrameRecord(*record, f, c);
            }
        stores.selection->setFrameCount(0);
        return commit ? stores.selection->commitUndoStep() : Result::success();
    }
    // Every data file of the analysis and of the selection, byte for byte.
    std::vector<char> state() {
        std::vector<char> bytes;
        for (const std::string prefix : {"take.analysis/take_", "take.analysis/take-selection.analysis/take-selection_"})
            for (const char* chunk : {"ovw", "0", "1"})
                for (const char* suffix : {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".cdx.noindex"}) {
                    const std::vector<char> file = fileBytes(temp().file(prefix + chunk + suffix));
                    bytes.insert(bytes.end(), file.begin(), file.end());
                }
        return bytes;
    }
    // The analysis' kept files (its folder only; the selection's lie in a folder of their own).
    std::set<std::string> analysisKeptFiles() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp().file("take.analysis")))
            if (entry.path().filename().string().find(".step-") != std::string::npos)
                names.insert(entry.path().filename().string());
        return names;
    }
};

TEST_F(ApplyLevelTest, UndoAndRedoOfApplyGiveBackTheAnalysisWithTheSelectionInOneProcessAndReopened) {
    std::vector<char> before, after;
    {
        Stores stores = openFilled();
        before = state();
        ASSERT_TRUE(apply(stores, 6));
        after = state();
        EXPECT_NE(after, before);
        EXPECT_EQ(stores.analysis->frameCount(), 6);
        EXPECT_EQ(stores.selection->frameCount(), 0);
        EXPECT_FALSE(analysisKeptFiles().empty());
    }
    std::ifstream history(temp().file("take.analysis/take-selection.analysis/take-selection_history.noindex"));
    const std::string listed((std::istreambuf_iterator<char>(history)), std::istreambuf_iterator<char>());
    EXPECT_NE(listed.find("\tApply Selection\tfiles+analysis\n"), std::string::npos) << listed;

    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopened before each" : "one process");
        Stores stores = openBoth();
        ASSERT_TRUE(stores.selection->undoLastStep());
        EXPECT_EQ(state(), before);
        EXPECT_EQ(stores.analysis->frameCount(), 8);
        if (reopen) stores = openBoth();
        ASSERT_TRUE(stores.selection->redoLastStep());
        EXPECT_EQ(state(), after);
    }
    // A new step after the undo drops the redo level, and with it the analysis' kept files.
    Stores stores = openBoth();
    ASSERT_TRUE(stores.selection->undoLastStep());
    stores.selection->beginWholeSegmentStep("Select All");
    stores.selection->writeFrameRecord(*partialsRecord(900), 0, 0);
    ASSERT_TRUE(stores.selection->commitUndoStep());
    EXPECT_TRUE(analysisKeptFiles().empty());
}

TEST_F(ApplyLevelTest, AnApplyCutShortFailedByItsHistoryOrByAFullDiskLeavesAnalysisAndSelectionAsTheyWere) {
    std::vector<char> before;
    {
        Stores stores = openFilled();
        before = state();
        apply(stores, 3, false);  // dropped open: the record of the open step stays
    }
    {
        Stores stores = openBoth();
        EXPECT_TRUE(stores.analysis->rolledBackInterruptedStep());
        EXPECT_EQ(state(), before);
        EXPECT_TRUE(analysisKeptFiles().empty());

        const fs::path blocked = temp().file("take.analysis/take-selection.analysis/take-selection_history.noindex.partial");
        fs::create_directory(blocked);
        EXPECT_EQ(apply(stores, 6).title(), "Error writing to undo file");
        fs::remove(blocked);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(stores.analysis->frameCount(), 8);
        EXPECT_TRUE(analysisKeptFiles().empty());
        EXPECT_EQ(stores.selection->historyEntries().size(), 1u);
    }
    Stores stores = openBoth();
    EXPECT_EQ(state(), before);

    // The analysis' frames beyond the third do not fit: its failure, alerted once, fails the step.
    {
        test::FileSizeLimit limit(3 * sizeof(FrameRecord));
        EXPECT_EQ(apply(stores, 6).title(), "Error writing to data file");
    }
    EXPECT_EQ(failures().size(), 1u);
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(analysisKeptFiles().empty());
    stores = openBoth();
    EXPECT_EQ(stores.analysis->frameCount(), 8);
    EXPECT_TRUE(stores.analysis->isAnalysisComplete());
}

}  // namespace
}  // namespace orvex
