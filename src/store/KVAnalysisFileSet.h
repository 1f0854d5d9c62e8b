#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Result.h"
#include "store/KVAnalysisChunkFile.h"
#include "store/KVGrainCollection.h"
#include "store/KVStepHistory.h"
#include "store/WriteFailureLatch.h"

namespace orvex {

// The stored analysis of one segment: a chunk file per channel, the overview chunk file (the
// frames of the channels' mean, with display records) and a read-only grain collection per
// channel for playback. Calls are routed by channel: 0, 1, ... for the channels, any negative
// index for the overview; an index past the last channel finds nothing.
// Every chunk file of the set shares one WriteFailureLatch: the first creation, write or push
// failure since the set was opened (or the current step began) is alerted once, is what
// writeFailure() answers, and keeps the set from counting as complete, so that a writer can
// tell a store that holds its work from one that does not before it calls the work done.
// Threads: each chunk file and collection locks itself; monitor() orders the play position.
class KVAnalysisFileSet {
public:
    // Opens the file set of P (a working sound file, or D/N.analysis/N-selection.analysis):
    // reports "Incompatible Analysis File" when the folder's dictionary is of another version,
    // stamps the dictionary with the current version and opens (or creates) every chunk file.
    // A stored analysis is complete only when every chunk file is, and every channel holds at
    // least the overview's frames.
    static std::unique_ptr<KVAnalysisFileSet> initByOpeningFileAtPath(const std::string& path, double sampleRate,
                                                                      std::int64_t zeroPadding,
                                                                      std::int64_t frameSize, std::int64_t overlap,
                                                                      std::int32_t channels, bool keepsUndo,
                                                                      bool recreate);

    // Before anything reads the stored analysis of a working file: the analysis files an Apply
    // Selection cut short by a kill had kept go back under their paths (opening the analysis does
    // it too). True when there were any.
    static bool restoreInterruptedApply(const std::string& workingPath, std::int32_t channels);

    std::int32_t numberOfChannels() const { return static_cast<std::int32_t>(mChannels.size()); }
    double sampleRate() const { return mSampleRate; }
    const std::string& sourceFilePath() const { return mSourcePath; }
    std::int64_t zeroPadding() const { return mZeroPadding; }
    std::int64_t frameSize() const { return mFrameSize; }
    std::int64_t overlap() const { return mOverlap; }

    // Frames of the overview, counted now.
    FrameCount frameCount();
    FrameCount framesAvailableFromIndex(FramePos index);
    // The overview held frames when last counted.
    bool hasAudio() const { return mOverview->lastFrameCount() != 0; }

    // 0 when frame f was read whole, -1 when absent (f < 0 reads frame 0).
    Status readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel);
    // With undo copy, grain and display records. 0, or -1 for a channel that does not exist
    // and once a write of the set has failed (KVAnalysisChunkFile::writeFrameRecord).
    Status writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel);
    Status appendFrameRecord(const FrameRecord& record, std::int32_t channel);
    // Writes the appends every chunk file has gathered; the first failure of the set.
    Result flushAppends();
    // Writes the gathered appends and pushes every file to the disk: what a writer asks before
    // it calls its work done. The first failure since the set was opened or the step began.
    Result synchronize();
    // The first failure since the set was opened or the current step began, or success.
    Result writeFailure() const { return mFailures->failure(); }
    bool writeFailed() const { return mFailures->failed(); }
    // Fails the current step (and later writes) with a failure met elsewhere, as a failed write would.
    void recordFailure(const Result& failure) { mFailures->record(failure); }
    // Cuts the overview and every channel to n frames.
    void setFrameCount(FrameCount n);

    // The outermost begin clears the failure latch and records on disk that a step is open
    // (after the chunk files have emptied their undo files); the outermost commit removes that
    // record. A file set opened on a record left by a process that died mid-step puts every
    // frame back from the saved copies, so the selection is as it was before the step.
    // name is what the history calls the step ("Keep Sustained").
    void beginUndoStep(const std::string& name = "Edit");
    // The same for a step that rewrites the whole segment (keep sustained, select all): its
    // level keeps the chunk files' data files themselves instead of copies of their frames,
    // so the step copies nothing and its undo and redo only exchange files. Inside an open
    // step it is an ordinary nested begin.
    void beginWholeSegmentStep(const std::string& name);
    // A whole-segment step that rewrites the shared analysis too (Apply Selection): its level
    // keeps the analysis' data files as well, so that its undo gives back both. Without a
    // shared analysis it is an ordinary whole-segment step.
    void beginApplyStep(const std::string& name);
    // The analysis (opened before this set, and outliving its steps; not retained) whose files
    // the steps begun by beginApplyStep keep with this set's. Drops the analysis' kept files
    // that no level names.
    void shareStepsWith(KVAnalysisFileSet* analysis);
    // The outermost commit of a step whose writes failed puts every frame back from the saved
    // copies, as a reopen after a kill would, and returns the failure (already alerted): the
    // selection is then as it was before the step. When that cannot be written either, the
    // record of the open step stays, so the next open puts it back, and the failure says so.
    // A whole step becomes the newest level of the history (its copies kept under the step's
    // name, the redo levels dropped, the oldest levels dropped beyond the limits); when the
    // history cannot be written the step is put back as a failed one.
    Result commitUndoStep();
    // Undoes the newest level of the history, as a step of its own whose copies become the
    // level's redo; when there is none (or a step is open) the failure "No data to undo", for
    // the caller to show with a beep. An undo whose writes fail, or that is interrupted, leaves
    // the selection and the history as they were before it.
    Result undoLastStep();
    // Redoes the level undone last, the same way; "No data to redo" when there is none.
    Result redoLastStep();
    static Result noDataToUndo();
    static Result noDataToRedo();
    bool canUndo() const;
    bool canRedo() const;
    // The levels of the history, oldest first, and how many of them can be undone; empty for
    // a set without undo.
    std::vector<KVHistoryEntry> historyEntries() const;
    std::size_t historyCursor() const;
    // At most maxLevels levels of undo, whose copies take at most budgetShare of the space the
    // disk offers them (the free space and what they take already). Defaults 20 and 0.2.
    void setHistoryLimits(std::size_t maxLevels, double budgetShare);
    // Levels dropped by the last commit to stay within the limits (oldest first), for the user
    // to be told.
    std::size_t droppedByLastCommit() const { return mDroppedByLastCommit; }
    // True when opening rolled back a step (or completed an undo) that was interrupted.
    bool rolledBackInterruptedStep() const { return mRolledBackInterruptedStep; }

    // Marks every chunk file complete (each pushed to the disk first); the first failure of the
    // set when one of them cannot be.
    Result markComplete();
    bool isAnalysisComplete() const { return mWhole.load() && mOverview->isAnalysisComplete() && !mFailures->failed(); }

    // Display records of the overview (the channels keep none: zero-filled, 0 returned).
    FrameCount readDisplayColumns(DisplayColumn* into, FramePos index, FrameCount count, std::int32_t channel,
                                  DisplayColumnKind kind);
    FrameCount readFrameSummaries(FrameSummary* into, FramePos index, FrameCount count, std::int32_t channel);
    // Starts reading display records and summaries into the system's cache ahead of a read.
    void willReadDisplayColumns(FramePos index, FrameCount count, std::int32_t channel, DisplayColumnKind kind);

    // Streams n resynthesised samples of a channel into buffers[0]; -1 for the overview.
    Status readAudio(FrameCount n, float** buffers, std::int32_t channel);
    // The channel's read-only collection; null for the overview or a missing channel.
    KVGrainCollection* grainCollectionForChannel(std::int32_t channel);
    FrameCount numberOfGrainSamples();
    void setPlayPosition(FramePos sample);

    // The chunk file a channel index routes to; null past the last channel.
    KVAnalysisChunkFile* chunkFileForChannel(std::int32_t channel);
    std::recursive_mutex& monitor() const { return mMonitor; }

    // Use initByOpeningFileAtPath; the token keeps construction inside the class.
    struct Token {
        explicit Token() = default;
    };
    explicit KVAnalysisFileSet(Token) {}

private:
    enum class StepKind { Edit, Undo, Redo };

    void beginStep(const std::string& name, StepKind kind, bool keepsFiles, bool spansAnalysis = false);
    // The chunk files the current step changes: this set's, then the shared analysis' when the
    // step spans it.
    std::vector<KVAnalysisChunkFile*> stepChunkFiles() const;
    // The shared analysis' failure of a step that spans it, as this set's.
    void takeAnalysisFailure();
    Result replayLevel(StepKind kind, const KVHistoryEntry& level);
    bool writeCopiesBack(const KVHistoryEntry& level, bool keepCopies);
    // The files of the chunk files of path kept by an interrupted step of the history of
    // stepsPath, back under their paths.
    static bool restoreInterruptedFileStep(const std::string& path, const std::string& stepsPath,
                                           std::int32_t channels);
    void reopenPlayback();
    Result undoForGood(std::int64_t id);
    Result historyNotWritten() const;
    // The committed step into the history; false when the history could not be written.
    bool recordStep();
    std::vector<KVHistoryEntry> placeStep(const KVHistoryEntry& step);
    void dropCopies(const std::vector<KVHistoryEntry>& levels);
    void dropUnlistedCopies(const std::vector<KVAnalysisChunkFile*>& chunks);
    void emptyUndoCopies();
    std::int64_t historyBudget() const;
    std::vector<KVAnalysisChunkFile*> chunkFiles() const;
    void openHistory(bool recreate);
    bool markStepOpen();
    void markStepClosed();
    std::int64_t openStepId() const;
    void rollBackInterruptedStep();
    bool rollBackFailedStep();
    bool copiesRemain() const;
    bool channelsHoldTheOverview();

    std::vector<std::unique_ptr<KVAnalysisChunkFile>> mChannels;
    std::vector<std::unique_ptr<KVGrainCollection>> mChannelGrains;
    std::unique_ptr<KVAnalysisChunkFile> mOverview;
    std::shared_ptr<WriteFailureLatch> mFailures = std::make_shared<WriteFailureLatch>();
    std::atomic<bool> mWhole{false};  // every chunk file complete, as opened or marked
    std::string mSourcePath;
    std::int64_t mOverlap = 0, mZeroPadding = 0, mFrameSize = 0;
    double mSampleRate = 0.0;
    bool mKeepsUndo = false;
    bool mRolledBackInterruptedStep = false;
    std::int64_t mUndoNesting = 0;  // the editing thread's, like the chunk files' counts
    std::unique_ptr<KVStepHistory> mHistory;  // null without undo
    std::string mStepName;
    StepKind mStepKind = StepKind::Edit;
    bool mStepKeepsFiles = false;
    bool mStepSpansAnalysis = false;
    KVAnalysisFileSet* mSharedAnalysis = nullptr;
    std::int64_t mStepId = 0;
    std::size_t mMaxLevels = 20;
    double mBudgetShare = 0.2;
    std::size_t mDroppedByLastCommit = 0;
    std::int64_t mUnfinishedUndo = 0;  // the level of an undo without redo cut short by a failure
    mutable std::recursive_mutex mMonitor;
};

}  // namespace orvex
