#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// One level of the edit history: the step's id (which names its copy files), what the user
// did ("Keep Sustained") and the bytes its copies take on the disk. A level that keeps files
// holds whole data files of the chunk files (a whole-segment step) instead of frame copies;
// one that also spans the analysis (Apply Selection) holds the analysis' data files too.
struct KVHistoryEntry {
    std::int64_t id = 0;
    std::string name;
    std::int64_t bytes = 0;
    bool keepsFiles = false;
    bool spansAnalysis = false;
};

// The levels of undo and redo of a file set, kept in a small text file beside its chunk files.
// Entries before the cursor are steps that can be undone, oldest first; their copy files hold
// the frames as they were before the step. Entries from the cursor on are steps that were
// undone and can be redone, the next redo first; their copy files hold the frames as the step
// left them. The file is replaced whole (written, synced, renamed): a step belongs to the
// history exactly when the file that names it reached the disk. A level that keeps whole files
// ends in a fourth field "files", one that keeps the analysis' files as well in "files+analysis".
//
//   orvex-history 1
//   next 19
//   cursor 2
//   15<TAB>1043963904<TAB>Keep Sustained<TAB>files
//   16<TAB>98304<TAB>Box
//   17<TAB>4202496<TAB>Select All
//   18<TAB>2781839360<TAB>Apply Selection<TAB>files+analysis
//
// Not synchronised: the file set calls it from its editing thread.
class KVStepHistory {
public:
    explicit KVStepHistory(std::string path);

    // Reads the file (removing what a save cut short left beside it); false when there is
    // none. A file that cannot be read as a history
    // (foreign or cut short) reads as an empty history and damaged() says so.
    bool load();
    // Writes the file whole; false when it could not be put in place (the old one then stays).
    bool save() const;
    // Removes the file (a new analysis starts without history).
    void remove() const;
    bool damaged() const { return mDamaged; }
    const std::string& path() const { return mPath; }

    const std::vector<KVHistoryEntry>& entries() const { return mEntries; }
    std::size_t cursor() const { return mCursor; }
    bool canUndo() const { return mCursor > 0; }
    bool canRedo() const { return mCursor < mEntries.size(); }
    const KVHistoryEntry* nextUndo() const { return canUndo() ? &mEntries[mCursor - 1] : nullptr; }
    const KVHistoryEntry* nextRedo() const { return canRedo() ? &mEntries[mCursor] : nullptr; }
    bool contains(std::int64_t id) const;
    // The id the next step takes; ids only grow.
    std::int64_t takeId() { return mNextId++; }

    // A new step after the cursor; the redo entries go. Returns them, for their files to go.
    std::vector<KVHistoryEntry> pushStep(KVHistoryEntry entry);
    // The step before the cursor was undone: its entry becomes the redo entry `redo` (the
    // copies of what it had left), the cursor moves back. Returns the entry replaced.
    KVHistoryEntry undoneAs(KVHistoryEntry redo);
    // The step at the cursor was redone: its entry becomes the undo entry `undo`, the cursor
    // moves on. Returns the entry replaced.
    KVHistoryEntry redoneAs(KVHistoryEntry undo);
    // The step before the cursor was undone without keeping copies for its redo: its entry
    // and the redo entries go. Returns them.
    std::vector<KVHistoryEntry> undoneForGood();
    // Drops the oldest undo entries until at most maxLevels remain and all entries together
    // take at most maxBytes (the newest undo entry always stays). Returns the entries dropped.
    std::vector<KVHistoryEntry> prune(std::size_t maxLevels, std::int64_t maxBytes);
    void clear();

private:
    // Removes the entries from first on and returns them.
    std::vector<KVHistoryEntry> dropFrom(std::size_t first);

    std::string mPath;
    std::vector<KVHistoryEntry> mEntries;
    std::size_t mCursor = 0;
    std::int64_t mNextId = 1;
    bool mDamaged = false;
};

}  // namespace orvex
