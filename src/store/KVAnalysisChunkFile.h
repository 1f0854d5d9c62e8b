#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Types.h"
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"
#include "store/AppendBlock.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "store/KVRecordFile.h"
#include "store/KeptStepFiles.h"
#include "store/WriteFailureLatch.h"

namespace orvex {

// The stored frames of one channel (or of the overview) of an analysed segment: for base path
// P and B = P without extension, B.ana.noindex holds one FrameRecord per frame, B.asp.noindex
// its resynthesised grain, B.dsp/.trk.noindex its two display columns and B.cdx.noindex its
// summary (display files only for the overview), B.undo.noindex the records as they were
// before the writes of the current undo step. Records lie back to back, frame i at i x size.
// Creation, write and push failures go to the store's WriteFailureLatch (shared by the chunk
// files of a file set), which alerts the first. Until the latch is cleared (a new undo step)
// the chunk file no longer counts as complete and refuses every write (-1) but the replay of
// its undo copies: later writes that succeed (space freed meanwhile) would otherwise leave
// files of matching lengths around a gap of empty frames, which would pass for a whole analysis.
// Threads: every read, write, truncation, flush and undo runs under monitor(); the analysis
// runner appends on its worker while other threads read and write.
class KVAnalysisChunkFile {
public:
    // Parameters of the synthesis that turns each written record into its grain.
    static constexpr std::int64_t kSynthesisFrameSize = KVEncodedGrain::kSampleCount;
    static constexpr std::int64_t kSynthesisOverlap = 32;
    static constexpr std::int64_t kSynthesisZeroPadding = 4;

    // Opens (or, with recreate or when a data file is missing, creates) the files of P.
    // Stored records of another version are discarded; stored records whose grains or display
    // records do not match them in number (an interrupted or failed write) are kept but not
    // complete. Failures go to failures (a latch of its own when none is given); the object is
    // always returned and stays usable.
    static std::unique_ptr<KVAnalysisChunkFile> initByOpeningFileAtPath(
        const std::string& path, double sampleRate, std::int64_t zeroPadding, std::int64_t frameSize,
        std::int64_t overlap, bool keepsUndo, bool recreate, bool hasDisplayFiles,
        std::shared_ptr<WriteFailureLatch> failures = nullptr);
    ~KVAnalysisChunkFile();
    KVAnalysisChunkFile(const KVAnalysisChunkFile&) = delete;
    KVAnalysisChunkFile& operator=(const KVAnalysisChunkFile&) = delete;

    // Reads frame f (a negative f reads frame 0) into the caller's record: 0 when read whole,
    // -1 when the file ends first or the record read does not match its checksum (the damage
    // then goes to the latch).
    Status readFrameRecord(FramePos frame, FrameRecord& into);
    // Stores the record at frame f with its grain and display records, keeping an undo copy
    // of what was there; a frame whose undo copy cannot be saved is left as it is. The record's
    // sample range is that of its synthesised grain. Inside an undo step consecutive frames are
    // written a block at a time (undo copies first); the step's end and every other access
    // write the rest. 0, or -1 when the frame could not be stored whole, when it is refused
    // (the latch holds a failure) or, for a write that is only gathered, when its gathering
    // block could not be written.
    Status writeFrameRecord(const FrameRecord& record, FramePos frame);
    // Writes at the append index (0 when opened) and advances it; the result as for
    // writeFrameRecord. A file without undo gathers consecutive appends into blocks written
    // whole (records before display records, as frame by frame); every other access,
    // flushAppends and closing write them first.
    Status appendFrameRecord(const FrameRecord& record);
    // Writes the gathered appends and writes now; false when the block was not stored whole.
    bool flushAppends();
    // Cuts the records, grains and display records to n frames (the undo file stays); false
    // when a file could not be cut.
    bool setFrameCount(FrameCount n);
    // Frames in the data file now.
    FrameCount frameCount();
    // Frames found at the last count or reached by a write since (no file access).
    FrameCount lastFrameCount() const { return mFrameCount.load(); }

    // Undo steps nest; the outermost begin empties the undo file.
    void beginUndoStep();
    void commitUndoStep();
    // Puts every frame saved since the outermost begin back to its oldest saved state (its
    // grain and display records are made anew) and empties the undo file. The copies are kept
    // on disk, so a step saved before the files were last opened can be undone too. False
    // when nothing is saved or a step is open. When a frame cannot be written back the copies
    // stay (replaying them again gives the same frames) and the failure is in the latch.
    bool undoLastStep();
    FrameCount undoCount() const;
    // Takes back a step whose writes failed (called after its outermost commit): its frames
    // written back from their copies, the files cut to their lengths at the step's begin and the
    // previous step's copies back for undo. False when that could not be written either.
    bool rollBackFailedStep();
    // After opening (and rolling back a step cut short): an empty undo file gets back the
    // previous step's copies kept aside by a begin whose step never committed.
    void settleKeptUndo();

    // The copies of the step just committed, kept under path (a second name for the same
    // data, so nothing is copied) for the history; nothing is kept when the step saved no
    // copy. False, with the failure in the latch, when the name cannot be made.
    bool keepUndoCopiesAs(const std::string& path);
    // Empties the undo file once its copies are kept elsewhere (or of no use).
    void emptyUndoCopies();
    // Inside a step: writes every frame a copy file at path holds back to its copy (the first
    // copy of a frame saved more than once), in frame order, so that the step's own undo copies
    // hold what the frames held before; without keepCopies the frames are written in place with
    // no copy (an undo that gives up its redo). A missing file holds nothing. False, with the
    // failure in the latch, when the file cannot be read whole or a frame cannot be written.
    bool writeCopiesFrom(const std::string& path, bool keepCopies = true);
    // The copy file of history step id: B.step-<id>.noindex.
    std::string stepCopyPath(std::int64_t id) const;
    // Removes a copy file and its checksums.
    static void dropCopyFile(const std::string& path);

    // A step that rewrites the whole segment keeps the files themselves as its undo state:
    // inside a step, every data file (records, grains, display records) gets a second name of
    // step id (B.step-<id>.ana.noindex, ...) and the paths then name fresh files for the step
    // to write. Until the step commits, every frame it has not written reads from the kept
    // files; the commit copies those in. Nothing else is copied. False, with the failure in the
    // latch, when a file cannot be kept; the rollback puts back those that were.
    bool keepFilesAs(std::int64_t id);
    // Inside a step whose files are kept: the files kept by step id become the chunk file's
    // own, with no copy (the undo or redo of a whole-segment step). Their names stay until
    // the level is dropped. False, with the failure in the latch, when one cannot be taken.
    bool takeFilesOf(std::int64_t id);
    // Inside a step whose files are kept: whether it has written and cut none of the frames.
    bool keptFilesUntouched() const;
    // Before the commit of a step that changed nothing: its kept files go back under their
    // paths, so that it leaves no level.
    bool giveBackKeptFiles();
    // Whether the current (or last) step keeps files as its level.
    bool keepsFilesOfStep() const;
    // The bytes the files kept by step id take on the disk.
    std::int64_t keptFileBytes(std::int64_t id) const;
    // Before the files of base are opened: the files kept by step id (a step interrupted by a
    // kill) back under their paths. True when there were any.
    static bool restoreFilesOf(const std::string& basePath, std::int64_t id);
    // Removes the copy file and the kept files of step id.
    static void dropStepFiles(const std::string& basePath, std::int64_t id);

    // count display records of a kind, or frame summaries, from index; a failed read
    // zero-fills, the end of the file stops quietly. Returns the records read whole.
    FrameCount readDisplayColumns(DisplayColumn* into, FramePos index, FrameCount count, DisplayColumnKind kind);
    FrameCount readFrameSummaries(FrameSummary* into, FramePos index, FrameCount count);
    // Starts reading count display records of a kind and their summaries from index into the
    // system's cache, for a read soon after (a view scrolling towards them).
    void willReadDisplayColumns(FramePos index, FrameCount count, DisplayColumnKind kind);

    // Pushes every file to the disk and marks the stored analysis complete, unless a creation,
    // write or push failed since the latch was last cleared. False when it is not complete.
    bool markComplete();
    bool isAnalysisComplete() const { return mIsComplete.load() && !mFailures->failed(); }
    // Writes the gathered frames and pushes every file to the disk; false when the system
    // reports that written data was lost.
    bool synchronize();
    // The first failure of the chunk file's store since the latch was last cleared, or success.
    Result writeFailure() const { return mFailures->failure(); }
    void closeFile();

    KVGrainCollection& grainCollection() { return *mGrains; }
    bool hasDisplayFiles() const { return mHasDisplayFiles; }
    bool keepsUndo() const { return mKeepsUndo; }
    bool isDirty() const { return mDirty.load(); }
    const std::string& sourceFilePath() const { return mSourcePath; }
    std::recursive_mutex& monitor() const { return mMonitor; }

    // Use initByOpeningFileAtPath; the token keeps construction inside the class.
    struct Token {
        explicit Token() = default;
    };
    KVAnalysisChunkFile(Token, const std::string& path, double sampleRate, std::int64_t zeroPadding,
                        std::int64_t frameSize, std::int64_t overlap, bool keepsUndo, bool hasDisplayFiles,
                        std::shared_ptr<WriteFailureLatch> failures);

private:
    enum FileIndex { kRecords, kSpectral, kHarmonic, kSummaries, kUndo, kFileCount };

    void createFiles();
    bool anyFileMissing() const;
    void openFiles();
    void checkStoredVersion();
    void checkFilesAgree();
    void countStoredUndoCopies();
    std::string keptUndoPath() const;
    void dropKeptUndo();
    bool restoreKeptUndo();
    bool replayCopies(FramePos below);
    Status gatheredStatus() const { return mFailures->failed() ? -1 : 0; }
    bool writeFrame(const FrameRecord& record, FramePos frame, bool saveUndo);
    void gatherWrite(const FrameRecord& record, FramePos frame, bool saveUndo);
    bool writeBlock(FramePos start, FrameCount count);
    bool synthesizeGrain(FramePos frame);
    bool saveUndoCopy(FramePos frame);
    bool saveUndoCopies(FramePos start, FrameCount count);
    void dropUndoCopiesFrom(FramePos index);
    bool writeDisplayRecords(FramePos frame);
    bool writeOrAlert(FileIndex file, const void* data, FramePos index, FrameCount count = 1);
    static std::vector<std::string> ownFilePaths(const std::string& basePath);
    static std::vector<std::string> keptFilePaths(const std::string& basePath, std::int64_t id);
    static std::vector<std::string> keptFilePaths(const std::string& basePath, const std::string& infix);
    bool changeEachFile(const std::vector<std::string>& paths, bool (KVRecordFile::*change)(const std::string&),
                        bool skipMissing);
    bool copyUnwrittenFrames();
    bool copyKeptRecords(std::size_t file, FramePos start, FrameCount count);
    bool putBackKeptFiles();
    FrameCount readThrough(FileIndex file, char* into, FramePos index, FrameCount count);
    // Writes mWriteRecord at frame over the stored record held in mScratchRecord.
    bool writeChangedOrAlert(FramePos frame);
    bool writeBlockRecords(FramePos start, FrameCount count);
    void recordFailure(FileIndex file);
    // After a failed read: when a record read does not match its checksum, the damage goes to
    // the latch (so the store stops writing) and true is returned.
    bool recordDamage(FileIndex file);
    FrameCount readDisplayFile(FileIndex file, void* into, FramePos index, FrameCount count);

    std::atomic<bool> mIsComplete{false};
    std::int64_t mZeroPadding, mFrameSize, mOverlap;
    std::atomic<FrameCount> mFrameCount{0};
    std::string mSourcePath;
    double mSampleRate;
    KVEncodedGrain mGrain{};
    std::array<float, KVEncodedGrain::kSampleCount> mGrainSamples{};
    SpectralProcessor mSynthesis;
    std::array<std::unique_ptr<KVRecordFile>, kFileCount> mFiles;
    std::unique_ptr<KVGrainCollection> mGrains;
    std::unique_ptr<FrameRecord> mScratchRecord;  // undo copies
    bool mStoredInScratch = false;                // mScratchRecord holds frame's whole stored record
    FrameCount mStoredCopies = 0;                 // leading undo copies of the block that are whole stored records
    std::vector<std::int32_t> mStoredIndices;     // their frame index fields as stored
    std::unique_ptr<FrameRecord> mWriteRecord;    // the record being written
    std::unique_ptr<AppendBlock> mAppends;        // made at the first gathered append
    std::shared_ptr<WriteFailureLatch> mFailures;
    bool mKeepsUndo;
    bool mHasDisplayFiles;
    FrameCount mUndoCount = 0;
    std::array<FrameCount, kFileCount> mCountsAtStep{};  // records of each file at the outermost begin
    FrameCount mGrainsAtStep = 0;
    FramePos mAppendIndex = 0;
    std::atomic<bool> mDirty{true};
    std::int64_t mUndoNesting = 0;
    std::int64_t mKeptStep = 0;             // the step whose files are kept, until the next begins
    std::unique_ptr<KeptStepFiles> mKept;  // read by the step until it commits
    mutable std::recursive_mutex mMonitor;
};

}  // namespace orvex
