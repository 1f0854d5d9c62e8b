// The selection's history of many levels: undo and redo walk the states the edits recorded,
// in one process and across reopenings; a new edit drops the redo branch; the limits drop the
// oldest levels and never an edit; a folder of the one-level format keeps its undo; a commit
// cut short after its level was written only needs its clean-up. A whole-segment step keeps the
// files it started from as its level: its undo and redo exchange files and write no frame, a
// step of it cut short puts them back, one that changed nothing is no level, and a level missing
// a file fails without a mixture.

#include <gtest/gtest.h>
#include <sys/stat.h>

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
    // A whole-segment step that writes frames [0, frames) of every chunk, first cutting the
    // selection to nothing when cut is set (as select all does).
    static void wholeEdit(KVAnalysisFileSet& set, const std::string& name, int frames, int tag, bool cut) {
        set.beginWholeSegmentStep(name);
        if (cut) set.setFrameCount(0);
        for (int c = -1; c < 2; ++c)
            for (int f = 0; f < frames; ++f) set.writeFrameRecord(*partialsRecord(tag + f), f, c);
        ASSERT_TRUE(set.commitUndoStep());
    }
    static ino_t inode(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }
    std::set<std::string> folderFiles() {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp().file("take.analysis")))
            names.insert(entry.path().filename().string());
        return names;
    }
    static std::vector<char> recordBytes(KVAnalysisFileSet& set, int frame, int channel) {
        auto record = FrameRecord::create();
        EXPECT_EQ(set.readFrameRecord(frame, *record, channel), 0) << frame << " " << channel;
        const auto* bytes = reinterpret_cast<const char*>(record.get());
        return {bytes, bytes + sizeof(FrameRecord)};
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

TEST_F(HistoryTest, WholeSegmentLevelsKeepTheFilesAndTheirUndoAndRedoOnlyExchangeThem) {
    std::vector<std::vector<char>> states;
    ino_t beforeSustained = 0;
    {
        auto set = openWithFrames();
        states.push_back(state());
        edit(*set, 1);
        states.push_back(state());
        wholeEdit(*set, "Select All", 8, 300, true);
        states.push_back(state());
        edit(*set, 2);
        states.push_back(state());

        // Keep sustained rewrites frames 0..4: until it commits, 5..7 read from the kept files.
        beforeSustained = inode(data("ovw", ".ana.noindex"));
        const std::vector<char> frame7 = recordBytes(*set, 7, 1);
        set->beginWholeSegmentStep("Keep Sustained");
        for (int c = -1; c < 2; ++c)
            for (int f = 0; f < 5; ++f) set->writeFrameRecord(*partialsRecord(400 + f), f, c);
        EXPECT_EQ(set->frameCount(), 8);
        EXPECT_EQ(recordBytes(*set, 7, 1), frame7);
        std::vector<DisplayColumn> during(8), after(8);
        EXPECT_EQ(set->readDisplayColumns(during.data(), 0, 8, -1, DisplayColumnKind::spectral), 8);
        ASSERT_TRUE(set->commitUndoStep());
        EXPECT_EQ(set->readDisplayColumns(after.data(), 0, 8, -1, DisplayColumnKind::spectral), 8);
        EXPECT_EQ(std::memcmp(during.data(), after.data(), sizeof(DisplayColumn) * 8), 0);
        EXPECT_EQ(recordBytes(*set, 7, 1), frame7);
        EXPECT_NE(inode(data("ovw", ".ana.noindex")), beforeSustained);
        states.push_back(state());

        std::vector<bool> kinds;
        for (const auto& level : set->historyEntries()) kinds.push_back(level.keepsFiles);
        EXPECT_EQ(kinds, (std::vector<bool>{false, true, false, true}));
        EXPECT_GT(set->historyEntries().back().bytes, 0);
    }
    std::ifstream history(temp().file("take.analysis/take_history.noindex"));
    const std::string listed((std::istreambuf_iterator<char>(history)), std::istreambuf_iterator<char>());
    EXPECT_NE(listed.find("\tSelect All\tfiles\n"), std::string::npos) << listed;
    EXPECT_NE(listed.find("\tEdit 1\n"), std::string::npos) << listed;

    for (const bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopened at every step" : "one process");
        auto set = open(2);
        for (int i = 4; i >= 1; --i) {
            if (reopen) set = open(2);
            ASSERT_TRUE(set->undoLastStep()) << i;
            EXPECT_EQ(state(), states[std::size_t(i - 1)]) << "after undoing step " << i;
            // The undo of keep sustained gives back the very file it started from.
            if (i == 4) EXPECT_EQ(inode(data("ovw", ".ana.noindex")), beforeSustained);
        }
        for (int i = 1; i <= 4; ++i) {
            if (reopen) set = open(2);
            ASSERT_TRUE(set->redoLastStep()) << i;
            EXPECT_EQ(state(), states[std::size_t(i)]) << "after redoing step " << i;
        }
    }
    // A new edit after an undo drops the redo level's files with it.
    auto set = open(2);
    ASSERT_TRUE(set->undoLastStep());
    const std::string redoLevel = ".step-" + std::to_string(set->historyEntries()[set->historyCursor()].id) + ".";
    edit(*set, 3);
    for (const auto& name : folderFiles()) EXPECT_EQ(name.find(redoLevel), std::string::npos) << name;
    EXPECT_EQ(copyFiles().size(), 3u * kChunks.size() + 5u * kChunks.size());  // three of copies, one of files
}

TEST_F(HistoryTest, AWholeSegmentStepCutShortOrWithALevelFileMissingLeavesTheSelectionAsItWas) {
    std::vector<char> before;
    std::set<std::string> files;
    {
        auto set = openWithFrames();
        edit(*set, 1);
        before = state();
        files = folderFiles();
        set->beginWholeSegmentStep("Keep Sustained");
        for (int c = -1; c < 2; ++c)
            for (int f = 0; f < 3; ++f) set->writeFrameRecord(*partialsRecord(500 + f), f, c);
        // Dropped without its commit, as a kill leaves it: the record of the open step stays.
    }
    {
        auto set = open(2);
        EXPECT_TRUE(set->rolledBackInterruptedStep());
        EXPECT_EQ(state(), before);
        EXPECT_EQ(folderFiles(), files);
        // One that changes nothing (cancelled before its first write) is no level.
        set->beginWholeSegmentStep("Keep Sustained");
        ASSERT_TRUE(set->commitUndoStep());
        EXPECT_EQ(set->historyEntries().size(), 1u);
        EXPECT_EQ(state(), before);
        EXPECT_EQ(folderFiles(), files);
        wholeEdit(*set, "Keep Transients", 8, 600, false);
    }
    // A history that cannot be written fails the step, which then gets its kept files back.
    {
        auto set = open(2);
        const std::vector<char> transients = state();
        const fs::path blocked = temp().file("take.analysis/take_history.noindex.partial");
        fs::create_directory(blocked);
        set->beginWholeSegmentStep("Select All");
        set->setFrameCount(0);
        EXPECT_EQ(set->commitUndoStep().title(), "Error writing to undo file");
        fs::remove(blocked);
        EXPECT_EQ(state(), transients);
        EXPECT_EQ(set->historyEntries().size(), 2u);
    }
    const std::vector<char> edited = state();
    fs::remove(data("1", ".step-" + std::to_string(open(2)->historyEntries().back().id) + ".asp.noindex"));
    auto set = open(2);
    const Result undone = set->undoLastStep();
    EXPECT_FALSE(undone);
    EXPECT_NE(undone.text().find("asp.noindex"), std::string::npos) << undone.text();
    EXPECT_EQ(state(), edited);
    EXPECT_EQ(set->historyCursor(), 2u);
    set = open(2);
    EXPECT_EQ(state(), edited);
}

}  // namespace
}  // namespace orvex
