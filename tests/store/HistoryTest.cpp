// The selection's history of many levels: undo and redo walk the states the edits recorded,
// in one process and across reopenings; a new edit drops the redo branch; the limits drop the
// oldest levels and never an edit; a folder of the one-level format keeps its undo; a commit
// cut short after its level was written only needs its clean-up.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "store/StoreRecords.h"

namespace orvex {
namespace {

using test::fileBytes;
using test::partialsRecord;

namespace fs = std::filesystem;
const std::vector<std::string> kChunks = {"ovw", "0", "1"};

class HistoryTest : public test::FileSetFixture {
protected:
    // Frames 0..7 of every chunk hold records, written before any step.
    std::unique_ptr<KVAnalysisFileSet> openWithFrames() {
        auto set = open(2, true);
        for (int f = 0; f < 8; ++f)
            for (int c = -1; c < 2; ++c) set->writeFrameRecord(*partialsRecord(10 * (c + 2) + f), f, c);
        return set;
    }
    // Edit i rewrites two frames of every chunk with records of its own.
    static void edit(KVAnalysisFileSet& set, int i) {
        set.beginUndoStep("Edit " + std::to_string(i));
        for (int c = -1; c < 2; ++c) {
            set.writeFrameRecord(*partialsRecord(100 + i), i % 8, c);
            set.writeFrameRecord(*partialsRecord(200 + i), (3 * i + 1) % 8, c);
        }
        ASSERT_TRUE(set.commitUndoStep());
    }
    // What the selection holds: every chunk's records, grains and display records.
    std::vector<char> state() {
        std::vector<char> bytes;
        for (const auto& chunk : kChunks)
            for (const char* suffix : {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".cdx.noindex"}) {
                const std::vector<char> file = fileBytes(data(chunk, suffix));
                bytes.insert(bytes.end(), file.begin(), file.end());
            }
        return bytes;
    }
    // The copy files in the folder (their checksum files aside).
    std::set<std::string> copyFiles() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp().file("take.analysis")))
            if (entry.path().filename().string().find(".step-") != std::string::npos && entry.path().extension() != ".crc")
                names.insert(entry.path().filename().string());
        return names;
    }
    std::vector<std::string> names(const KVAnalysisFileSet& set) {
        std::vector<std::string> list;
        for (const auto& level : set.historyEntries()) list.push_back(level.name);
        return list;
    }
};

TEST_F(HistoryTest, TenEditsTenUndosAndTenRedosWalkTheRecordedStatesInOneProcessAndAcrossOpenings) {
    std::vector<std::vector<char>> states;
    {
        auto set = openWithFrames();
        states.push_back(state());
        for (int i = 1; i <= 10; ++i) {
            edit(*set, i);
            states.push_back(state());
        }
    }
    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopened at every step" : "one process");
        auto set = open(2);
        for (int i = 10; i >= 1; --i) {
            if (reopen) set = open(2);
            ASSERT_TRUE(set->undoLastStep()) << i;
            EXPECT_EQ(state(), states[std::size_t(i - 1)]) << "after undoing edit " << i;
        }
        EXPECT_FALSE(set->canUndo());
        EXPECT_EQ(set->undoLastStep().title(), "No data to undo");
        for (int i = 1; i <= 10; ++i) {
            if (reopen) set = open(2);
            ASSERT_TRUE(set->redoLastStep()) << i;
            EXPECT_EQ(state(), states[std::size_t(i)]) << "after redoing edit " << i;
        }
        EXPECT_FALSE(set->canRedo());
        EXPECT_EQ(set->redoLastStep().title(), "No data to redo");
        EXPECT_EQ(set->historyCursor(), 10u);
        EXPECT_EQ(names(*set).front(), "Edit 1");
        EXPECT_EQ(names(*set).back(), "Edit 10");
    }
    EXPECT_EQ(copyFiles().size(), 10u * kChunks.size());
}

TEST_F(HistoryTest, ANewEditAfterUndoDropsTheRedoBranchAndTheLimitsDropTheOldestLevels) {
    auto set = openWithFrames();
    for (int i = 1; i <= 3; ++i) edit(*set, i);
    ASSERT_TRUE(set->undoLastStep());
    ASSERT_TRUE(set->undoLastStep());
    EXPECT_TRUE(set->canRedo());
    edit(*set, 4);
    EXPECT_FALSE(set->canRedo());
    EXPECT_EQ(names(*set), (std::vector<std::string>{"Edit 1", "Edit 4"}));
    EXPECT_EQ(copyFiles().size(), 2u * kChunks.size());  // the redo branch's files are gone

    set->setHistoryLimits(3, 1.0);
    for (int i = 5; i <= 7; ++i) edit(*set, i);
    EXPECT_EQ(names(*set), (std::vector<std::string>{"Edit 5", "Edit 6", "Edit 7"}));
    EXPECT_EQ(set->droppedByLastCommit(), 1u);
    // No room at all for history: the edit still lands, and only it can be undone.
    set->setHistoryLimits(20, 0.0);
    const std::vector<char> beforeLast = state();
    edit(*set, 8);
    EXPECT_EQ(names(*set), (std::vector<std::string>{"Edit 8"}));
    EXPECT_EQ(copyFiles().size(), kChunks.size());
    ASSERT_TRUE(set->undoLastStep());
    EXPECT_EQ(state(), beforeLast);
}

// The one-level format: the last step's copies in the undo files and no history file.
TEST_F(HistoryTest, AFolderWithTheOneLevelUndoFileOpensWithItsUndo) {
    std::vector<char> before;
    {
        auto set = openWithFrames();
        before = state();
        edit(*set, 1);
    }
    fs::remove(temp().file("take.analysis/take_history.noindex"));
    for (const auto& chunk : kChunks)
        for (const char* checksums : {"", ".crc"})
            fs::rename(data(chunk, std::string(".step-1.noindex") + checksums),
                       data(chunk, std::string(".undo.noindex") + checksums));
    auto set = open(2);
    EXPECT_EQ(names(*set), (std::vector<std::string>{"Edit"}));
    ASSERT_TRUE(set->undoLastStep());
    EXPECT_EQ(state(), before);
    EXPECT_TRUE(set->canRedo());
}

// Killed after the history named the step and before the undo files were emptied: the step
// stays, the copies left in the undo files go, and the step can still be undone.
TEST_F(HistoryTest, ACommitCutShortAfterItsLevelWasWrittenKeepsTheStep) {
    std::vector<char> before, after;
    {
        auto set = openWithFrames();
        before = state();
        edit(*set, 1);
        after = state();
    }
    for (const auto& chunk : kChunks) fs::copy_file(data(chunk, ".step-1.noindex"), data(chunk, ".undo.noindex"),
                                                    fs::copy_options::overwrite_existing);
    std::ofstream(temp().file("take.analysis/take_open-step.noindex")) << 1;
    std::ofstream(temp().file("take.analysis/take_history.noindex.partial")) << "cut short";
    auto set = open(2);
    EXPECT_FALSE(set->rolledBackInterruptedStep());
    EXPECT_EQ(state(), after);
    for (const auto& chunk : kChunks) EXPECT_EQ(fs::file_size(data(chunk, ".undo.noindex")), 0u) << chunk;
    EXPECT_FALSE(fs::exists(temp().file("take.analysis/take_history.noindex.partial")));
    ASSERT_TRUE(set->undoLastStep());
    EXPECT_EQ(state(), before);
}

}  // namespace
}  // namespace orvex
