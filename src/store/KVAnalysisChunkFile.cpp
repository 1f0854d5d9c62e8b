#include "store/KVAnalysisChunkFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <map>

#include "common/AnalysisConstants.h"
#include "store/KVAnalysisPaths.h"
#include "store/StoreFailures.h"

namespace orvex {

namespace {

constexpr double kSynthesisSampleRate = kWorkingSampleRate;
constexpr float kSynthesisWarpLimit = 1.1f;
constexpr std::int64_t kSynthesisWarpSteps = 11;

// Suffix, record size and write-alert title of each data file, in creation order.
struct DataFileKind {
    const char* suffix;
    std::size_t recordSize;
    const char* writeAlert;
};
constexpr DataFileKind kDataFiles[] = {
    {".ana.noindex", sizeof(FrameRecord), "Error writing to data file"},
    {".dsp.noindex", sizeof(DisplayColumn), "Error writing to display file"},
    {".trk.noindex", sizeof(DisplayColumn), "Error writing to display file"},
    {".cdx.noindex", sizeof(FrameSummary), "Error writing to info file"},
    {".undo.noindex", sizeof(FrameRecord), "Error writing to undo file"},
};

// The data files a whole-segment step keeps (records and display records), then the grains.
constexpr std::size_t kKeptDataFiles = 4;
constexpr const char* kGrainSuffix = ".asp.noindex";

// A saved copy holds a record of this format, or the zeros of a frame never written (a hole
// in the data file), tagged with a frame index; anything else is damage and is not replayed.
bool isUndoCopy(const FrameRecord& copy) {
    const bool record = copy.size == kFrameRecordSize && copy.version == kFrameRecordVersion;
    const bool hole = copy.size == 0 && copy.version == 0 && copy.valid == 0;
    return (record || hole) && copy.frameIndex >= 0;
}

// The part of a record's header the version check looks at.
constexpr std::size_t kHeaderPeek = offsetof(FrameRecord, valid) + sizeof(std::uint16_t);

}  // namespace

KVAnalysisChunkFile::KVAnalysisChunkFile(Token, const std::string& path, double sampleRate, std::int64_t zeroPadding,
                                         std::int64_t frameSize, std::int64_t overlap, bool keepsUndo,
                                         bool hasDisplayFiles, std::shared_ptr<WriteFailureLatch> failures)
    : mZeroPadding(zeroPadding),
      mFrameSize(frameSize),
      mOverlap(overlap),
      mSourcePath(path),
      mSampleRate(sampleRate),
      mSynthesis(kSynthesisFrameSize, kSynthesisOverlap, kSynthesisZeroPadding, kSynthesisSampleRate,
                 kSynthesisWarpLimit, kSynthesisWarpSteps),
      mScratchRecord(FrameRecord::create()),
      mWriteRecord(FrameRecord::create()),
      mFailures(failures ? std::move(failures) : std::make_shared<WriteFailureLatch>()),
      mKeepsUndo(keepsUndo),
      mHasDisplayFiles(hasDisplayFiles) {
    // An analysis is pushed to the disk when it is done; the selection's edits are not, so
    // their writes are left to the system.
    for (int i = 0; i < kFileCount; ++i) {
        mFiles[i] = std::make_unique<KVRecordFile>(KVAnalysisPaths::dataFilePath(path, kDataFiles[i].suffix),
                                                   kDataFiles[i].recordSize);
        mFiles[i]->setWritesBackEarly(!keepsUndo);
    }
}

std::unique_ptr<KVAnalysisChunkFile> KVAnalysisChunkFile::initByOpeningFileAtPath(
    const std::string& path, double sampleRate, std::int64_t zeroPadding, std::int64_t frameSize,
    std::int64_t overlap, bool keepsUndo, bool recreate, bool hasDisplayFiles,
    std::shared_ptr<WriteFailureLatch> failures) {
    auto chunk = std::make_unique<KVAnalysisChunkFile>(Token(), path, sampleRate, zeroPadding, frameSize, overlap,
                                                       keepsUndo, hasDisplayFiles, std::move(failures));
    std::lock_guard<std::recursive_mutex> guard(chunk->mMonitor);
    if (recreate || chunk->anyFileMissing()) {
        chunk->createFiles();  // the grain file too
        return chunk;
    }
    chunk->mGrains = KVGrainCollection::initByOpeningFileAtPath(path, false, false, chunk->mFailures);
    chunk->mGrains->setWritesBackEarly(!keepsUndo);
    chunk->openFiles();
    chunk->checkStoredVersion();
    chunk->checkFilesAgree();
    chunk->countStoredUndoCopies();
    return chunk;
}

KVAnalysisChunkFile::~KVAnalysisChunkFile() { closeFile(); }

bool KVAnalysisChunkFile::anyFileMissing() const {
    return std::any_of(mFiles.begin(), mFiles.end(), [](const auto& file) { return !file->exists(); });
}

void KVAnalysisChunkFile::createFiles() {
    for (auto& file : mFiles)
        if (!file->create()) mFailures->record(StoreFailures::cannotCreateFile(file->path()));
    mGrains = KVGrainCollection::initByOpeningFileAtPath(mSourcePath, false, true, mFailures);
    mGrains->setWritesBackEarly(!mKeepsUndo);
    mFrameCount = 0;
}

void KVAnalysisChunkFile::openFiles() {
    for (auto& file : mFiles) file->open(false);
    frameCount();
}

// The first record that holds analysis data tells the version of the whole file: records of
// another version are discarded; a file without valid records stays as it is, incomplete.
void KVAnalysisChunkFile::checkStoredVersion() {
    KVRecordFile& records = *mFiles[kRecords];
    const FrameCount frames = records.recordCount();
    FrameRecord& header = *mScratchRecord;
    for (FramePos i = 0; i < frames; ++i) {
        if (records.readPart(&header, i, 0, kHeaderPeek) != static_cast<std::int64_t>(kHeaderPeek)) return;
        if (header.valid == 0) continue;
        if (header.version == kFrameRecordVersion) {
            mIsComplete = true;
        } else {
            for (auto& file : mFiles) file->close();
            createFiles();
        }
        return;
    }
}

// Every frame of a complete analysis has its grain and, with display files, its display
// records: files of other lengths were cut short (a full disk, a kill between the writes of a
// block), so the stored analysis is not complete and gets analysed again.
// A file that holds fewer records than its side file knows of lost them behind the store's back.
void KVAnalysisChunkFile::checkFilesAgree() {
    if (!mIsComplete) return;
    const FrameCount frames = mFiles[kRecords]->recordCount();
    bool agree = mGrains->frameCount() == frames && StoreFailures::lostRecords(mGrains->filePath(), sizeof(KVEncodedGrain)).empty();
    for (FileIndex file : {kRecords, kSpectral, kHarmonic, kSummaries}) {
        if (file != kRecords && !mHasDisplayFiles) continue;
        agree = agree && mFiles[file]->recordCount() == frames && mFiles[file]->knownRecords() <= frames;
    }
    mIsComplete = agree;
}

// The last step's copies outlive the object that saved them, so a later open can still undo
// it. Only whole records count: a tail torn by an interrupted write is ignored (and the next
// copy overwrites it).
void KVAnalysisChunkFile::countStoredUndoCopies() {
    mUndoCount = mKeepsUndo ? mFiles[kUndo]->recordCount() : 0;
}

Status KVAnalysisChunkFile::readFrameRecord(FramePos frame, FrameRecord& into) {
    frame = std::max<FramePos>(frame, 0);
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    if (mKept && mKept->readsFrame(frame)) return readThrough(kRecords, reinterpret_cast<char*>(&into), frame, 1) == 1 ? 0 : -1;
    KVRecordFile& records = *mFiles[kRecords];
    // A record cut short (a truncated file) counts as absent: nothing of it is handed out.
    if (frame >= records.recordCount()) return -1;
    if (records.read(&into, frame) == static_cast<std::int64_t>(sizeof(FrameRecord))) return 0;
    recordDamage(kRecords);
    return -1;
}

// Inside an undo step consecutive frames are gathered like appends; the end of the step, like
// every other access, writes them.
Status KVAnalysisChunkFile::writeFrameRecord(const FrameRecord& record, FramePos frame) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mFailures->failed()) return -1;
    if (mKeepsUndo && mUndoNesting > 0) {
        gatherWrite(record, frame, mKeptStep == 0);  // a step that keeps the files keeps no copies
        return gatheredStatus();
    }
    const bool flushed = flushAppends();
    return writeFrame(record, frame, true) && flushed ? 0 : -1;
}

Status KVAnalysisChunkFile::appendFrameRecord(const FrameRecord& record) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mFailures->failed()) {
        ++mAppendIndex;  // the frames after it keep their places
        return -1;
    }
    if (mKeepsUndo) return writeFrame(record, mAppendIndex++, true) ? 0 : -1;
    gatherWrite(record, mAppendIndex++, false);
    return gatheredStatus();
}

// Caller holds the monitor. The same grain and display records as writeFrame makes, kept
// until the block is full or another access needs the files. An undo copy's place in the undo
// file is taken now, so undoCount() counts the gathered frames.
void KVAnalysisChunkFile::gatherWrite(const FrameRecord& record, FramePos frame, bool saveUndo) {
    if (frame < 0) return;
    if (!mAppends) mAppends = std::make_unique<AppendBlock>();
    if (!mAppends->empty() && (frame != mAppends->end() || saveUndo != mAppends->keepsUndo())) flushAppends();
    if (saveUndo) {
        if (mAppends->empty()) mAppends->keepUndoFrom(mUndoCount);
        ++mUndoCount;
    }
    FrameRecord& stored = mAppends->nextRecord();
    FrameRecord::copy(record, stored);
    mSynthesis.synthesizeFrame(&stored, mGrainSamples.data());
    KVGrainCollection::encodeForStream(mGrainSamples.data(), mAppends->nextGrain());
    if (mHasDisplayFiles) {
        mAppends->nextSpectral() = *spectralColumn(stored);
        mAppends->nextHarmonic() = *harmonicColumn(stored);
        mAppends->nextSummary() = frameSummary(stored);
    }
    mAppends->take(frame);
    if (mAppends->full()) flushAppends();
}

// Every file gets the block in one write: the undo copies first, then grains, records, display
// records, summaries. A block whose undo copies cannot be saved is not written, nor is one
// gathered when a write of the store has failed since.
bool KVAnalysisChunkFile::flushAppends() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mAppends || mAppends->empty()) return true;
    const FramePos start = mAppends->start();
    const FrameCount count = mAppends->count();
    bool stored = false;
    if (mFailures->failed()) {
        if (mAppends->keepsUndo()) mUndoCount = mAppends->undoStart();  // no copy was saved
    } else {
        stored = (!mAppends->keepsUndo() || saveUndoCopies(start, count)) && writeBlock(start, count);
    }
    mStoredCopies = 0;  // the next block starts with no stored copies known
    mAppends->clear();
    return stored;
}

// Caller holds the monitor; the block's undo copies are saved. Every file is written even
// when an earlier one failed.
bool KVAnalysisChunkFile::writeBlock(FramePos start, FrameCount count) {
    bool stored = mGrains->writeRecords(mAppends->grains(), start, count) == 0;
    const bool recorded = writeBlockRecords(start, count);
    if (mHasDisplayFiles) {
        stored = writeOrAlert(kSpectral, mAppends->spectral(), start, count) && stored;
        stored = writeOrAlert(kHarmonic, mAppends->harmonic(), start, count) && stored;
        stored = writeOrAlert(kSummaries, mAppends->summaries(), start, count) && stored;
    }
    if (recorded && start + count > mFrameCount.load()) mFrameCount = start + count;
    if (mKept) mKept->wrote(start, count);
    mDirty = true;
    return recorded && stored;
}

// Caller holds the monitor. The undo copy goes to disk before anything of the frame changes: a
// frame whose copy cannot be saved stays as it is, and a process killed in between leaves a
// frame either untouched or with its copy saved, so the next open can always restore it whole.
// Past the copy every file is written even when an earlier one failed.
bool KVAnalysisChunkFile::writeFrame(const FrameRecord& record, FramePos frame, bool saveUndo) {
    if (frame < 0) return true;
    mStoredInScratch = false;
    if (mKeepsUndo && saveUndo && !saveUndoCopy(frame)) return false;
    FrameRecord::copy(record, *mWriteRecord);
    bool stored = synthesizeGrain(frame);
    // After an undo copy of a whole stored record, only the bytes the write changes go out.
    const bool recorded = mStoredInScratch ? writeChangedOrAlert(frame) : writeOrAlert(kRecords, mWriteRecord.get(), frame);
    if (mHasDisplayFiles) stored = writeDisplayRecords(frame) && stored;
    // The remembered count follows the writes, so hasAudio holds as soon as a frame is stored.
    if (recorded && frame >= mFrameCount.load()) mFrameCount = frame + 1;
    if (mKept) mKept->wrote(frame, 1);
    mDirty = true;
    return recorded && stored;
}

bool KVAnalysisChunkFile::synthesizeGrain(FramePos frame) {
    mSynthesis.synthesizeFrame(mWriteRecord.get(), mGrainSamples.data());
    KVGrainCollection::encodeForStream(mGrainSamples.data(), mGrain);
    return mGrains->writeRecord(mGrain, frame) == 0;
}

// Keeps what frame i holds now (an empty record where there is none yet), tagged with i.
bool KVAnalysisChunkFile::saveUndoCopy(FramePos frame) {
    mScratchRecord->reset();
    const bool whole = mFiles[kRecords]->readSkippingHoles(mScratchRecord.get(), frame) ==
                       static_cast<std::int64_t>(sizeof(FrameRecord));
    if (!whole) {
        if (recordDamage(kRecords)) return false;  // a damaged frame is neither saved nor changed
        mScratchRecord->reset();
    }
    const std::int32_t storedIndex = mScratchRecord->frameIndex;
    mScratchRecord->frameIndex = static_cast<std::int32_t>(frame);
    if (!writeOrAlert(kUndo, mScratchRecord.get(), mUndoCount)) {
        dropUndoCopiesFrom(mUndoCount);
        return false;
    }
    ++mUndoCount;
    mScratchRecord->frameIndex = storedIndex;  // the scratch record is again what the file holds
    mStoredInScratch = whole;
    return true;
}

// The block's records; those whose stored records its undo copies hold write only what changed.
bool KVAnalysisChunkFile::writeBlockRecords(FramePos start, FrameCount count) {
    if (mStoredCopies == 0) return writeOrAlert(kRecords, mAppends->records(), start, count);
    const FrameRecord* records = mAppends->records();
    const FrameRecord* copies = mAppends->undoCopies();
    bool recorded = true;
    for (FrameCount i = 0; i < mStoredCopies && recorded; ++i)
        recorded = mFiles[kRecords]->writeChanged(&records[i], &copies[i], start + i);
    if (!recorded) recordFailure(kRecords);
    if (recorded && mStoredCopies < count)
        recorded = writeOrAlert(kRecords, records + mStoredCopies, start + mStoredCopies, count - mStoredCopies);
    return recorded;
}

bool KVAnalysisChunkFile::writeChangedOrAlert(FramePos frame) {
    if (mFiles[kRecords]->writeChanged(mWriteRecord.get(), mScratchRecord.get(), frame)) return true;
    recordFailure(kRecords);
    return false;
}

// The block's copies of what its frames hold now; no write reaches them between gathering and
// this, so they are the states the frame-by-frame copies would keep.
bool KVAnalysisChunkFile::saveUndoCopies(FramePos start, FrameCount count) {
    FrameRecord* copies = mAppends->undoCopies();
    const std::int64_t bytes = mFiles[kRecords]->readSkippingHoles(copies, start, count);
    if (bytes < 0 && recordDamage(kRecords)) return false;
    const FrameCount whole = std::max<std::int64_t>(bytes, 0) / static_cast<std::int64_t>(sizeof(FrameRecord));
    mStoredIndices.resize(std::size_t(count));
    for (FrameCount i = 0; i < count; ++i) {
        if (i >= whole) copies[i].reset();
        mStoredIndices[std::size_t(i)] = copies[i].frameIndex;
        copies[i].frameIndex = static_cast<std::int32_t>(start + i);
    }
    if (!writeOrAlert(kUndo, copies, mAppends->undoStart(), count)) {
        dropUndoCopiesFrom(mAppends->undoStart());
        return false;
    }
    // The copies are again what the records file holds, for writeBlock to write only changes.
    for (FrameCount i = 0; i < whole; ++i) copies[i].frameIndex = mStoredIndices[std::size_t(i)];
    mStoredCopies = whole;
    return true;
}

// Copies that could not be saved give back their places: the next copy goes where they were
// meant to, so the undo file never holds a gap (zeros would replay as an empty frame 0), and
// whatever of them did reach the file is cut off.
void KVAnalysisChunkFile::dropUndoCopiesFrom(FramePos index) {
    mUndoCount = index;
    mFiles[kUndo]->truncate(index);
}

bool KVAnalysisChunkFile::writeDisplayRecords(FramePos frame) {
    const auto spectral = spectralColumn(*mWriteRecord);
    const auto harmonic = harmonicColumn(*mWriteRecord);
    const FrameSummary summary = frameSummary(*mWriteRecord);
    bool stored = writeOrAlert(kSpectral, spectral.get(), frame);
    stored = writeOrAlert(kHarmonic, harmonic.get(), frame) && stored;
    return writeOrAlert(kSummaries, &summary, frame) && stored;
}

// Undo copies are mostly of frames not written before (empty records, zero past the header):
// their zero tails stay holes in the undo file.
bool KVAnalysisChunkFile::writeOrAlert(FileIndex file, const void* data, FramePos index, FrameCount count) {
    KVRecordFile& target = *mFiles[file];
    if (file == kUndo ? target.writeLeavingHoles(data, index, count) : target.write(data, index, count)) return true;
    recordFailure(file);
    return false;
}

bool KVAnalysisChunkFile::recordDamage(FileIndex file) {
    if (!mFiles[file]->lastReadWasDamaged()) return false;
    mFailures->record(StoreFailures::damagedData(mFiles[file]->lastError()));
    return true;
}

void KVAnalysisChunkFile::recordFailure(FileIndex file) {
    mFailures->record(StoreFailures::writeFailed(kDataFiles[file].writeAlert, mFiles[file]->lastError()));
}

bool KVAnalysisChunkFile::setFrameCount(FrameCount n) {
    n = std::max<FrameCount>(n, 0);
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    bool cut = flushAppends();
    if (mKept) mKept->cut(n);
    for (FileIndex file : {kRecords, kSpectral, kHarmonic, kSummaries}) {
        if (file != kRecords && !mHasDisplayFiles) continue;
        if (!mFiles[file]->truncate(n)) {
            recordFailure(file);
            cut = false;
        }
    }
    cut = mGrains->setFrameCount(n) == 0 && cut;
    frameCount();
    mDirty = true;
    return cut;
}

FrameCount KVAnalysisChunkFile::frameCount() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    mFrameCount = std::max<FrameCount>(mFiles[kRecords]->recordCount(), mKept ? mKept->frames() : 0);
    return mFrameCount;
}

// The outermost begin notes how long every file is and keeps the previous step's copies under a
// second name, so that a step that fails can be taken back to exactly the files before it.
void KVAnalysisChunkFile::beginUndoStep() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mUndoNesting == 0) {
        flushAppends();
        for (int file = 0; file < kFileCount; ++file) mCountsAtStep[file] = mFiles[file]->recordCount();
        mGrainsAtStep = mGrains->frameCount();
        if (mKeepsUndo && !mFiles[kUndo]->keepAs(keptUndoPath())) recordFailure(kUndo);
        if (!mFiles[kUndo]->empty()) recordFailure(kUndo);
        mUndoCount = 0;
        mKeptStep = 0;
        mKept.reset();
    }
    ++mUndoNesting;
}

// A whole step no longer needs the copies of the one before.
void KVAnalysisChunkFile::commitUndoStep() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mUndoNesting == 0 || --mUndoNesting > 0) return;
    flushAppends();
    if (mKept && !mFailures->failed()) copyUnwrittenFrames();
    mKept.reset();
    if (!mFailures->failed()) dropKeptUndo();
}

std::string KVAnalysisChunkFile::keptUndoPath() const {
    return KVAnalysisPaths::dataFilePath(mSourcePath, ".undo-kept.noindex");
}

void KVAnalysisChunkFile::dropKeptUndo() {
    ::unlink(keptUndoPath().c_str());
    RecordChecksums::dropKept(keptUndoPath());
}

// Caller holds the monitor. The previous step's copies back in the undo file.
bool KVAnalysisChunkFile::restoreKeptUndo() {
    if (!mKeepsUndo) return true;
    if (!mFiles[kUndo]->restoreKept(keptUndoPath())) {
        recordFailure(kUndo);
        return false;
    }
    countStoredUndoCopies();
    return true;
}

// Frames the step added beyond the files' ends are cut off rather than written back (which a
// full disk may refuse); the frames it changed inside them are written back from their copies.
bool KVAnalysisChunkFile::rollBackFailedStep() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    if (mUndoNesting > 0) return false;
    if (mKeptStep != 0) return putBackKeptFiles() && restoreKeptUndo();
    bool back = replayCopies(mCountsAtStep[kRecords]);
    for (FileIndex file : {kRecords, kSpectral, kHarmonic, kSummaries}) {
        if (mFiles[file]->recordCount() <= mCountsAtStep[file]) continue;
        if (mFiles[file]->truncate(mCountsAtStep[file])) continue;
        recordFailure(file);
        back = false;
    }
    if (mGrains->frameCount() > mGrainsAtStep) back = mGrains->setFrameCount(mGrainsAtStep) == 0 && back;
    frameCount();
    return back && restoreKeptUndo();
}

// On opening, once a step cut short by a kill is rolled back: an empty undo file gets back the
// copies of the step before (kept by a begin that never reached its commit); otherwise they are
// of no use.
void KVAnalysisChunkFile::settleKeptUndo() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mKeepsUndo) return;
    if (mUndoCount == 0)
        restoreKeptUndo();
    else
        dropKeptUndo();
}

// Copies are replayed newest first, so a frame saved several times ends at its first copy:
// the state from before the step. The undo file is emptied afterwards, so that a step undone
// once cannot be replayed by a later open.
bool KVAnalysisChunkFile::undoLastStep() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    if (mUndoCount == 0 || mUndoNesting > 0) return false;
    if (!replayCopies(std::numeric_limits<FramePos>::max())) return true;  // the copies stay for the next undo or open
    mUndoCount = 0;
    if (!mFiles[kUndo]->empty()) recordFailure(kUndo);
    return true;
}

// Caller holds the monitor. Writes back the saved copies of frames below `below`; false when
// one could not be read or written.
bool KVAnalysisChunkFile::replayCopies(FramePos below) {
    auto copy = FrameRecord::create();
    bool replayed = true;
    for (FramePos k = mUndoCount - 1; k >= 0; --k) {
        const std::int64_t bytes = mFiles[kUndo]->read(copy.get(), k);
        if (bytes < 0 && !recordDamage(kUndo)) recordFailure(kUndo);
        replayed = replayed && bytes >= 0;
        if (bytes != static_cast<std::int64_t>(sizeof(FrameRecord)) || !isUndoCopy(*copy)) continue;
        const FramePos frame = copy->frameIndex;
        if (frame >= below) continue;
        // The tag belongs to the undo copy: a record gets back its -1, a hole its zeros.
        copy->frameIndex = copy->size == 0 ? 0 : -1;
        replayed = writeFrame(*copy, frame, false) && replayed;
    }
    return replayed;
}

bool KVAnalysisChunkFile::keepUndoCopiesAs(const std::string& path) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    dropCopyFile(path);
    if (mFiles[kUndo]->keepAs(path)) return true;
    recordFailure(kUndo);
    return false;
}

void KVAnalysisChunkFile::emptyUndoCopies() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    if (!mFiles[kUndo]->empty()) recordFailure(kUndo);
    mUndoCount = 0;
}

std::string KVAnalysisChunkFile::stepCopyPath(std::int64_t id) const {
    return KVAnalysisPaths::dataFilePath(mSourcePath, ".step-" + std::to_string(id) + ".noindex");
}

void KVAnalysisChunkFile::dropCopyFile(const std::string& path) {
    ::unlink(path.c_str());
    RecordChecksums::dropKept(path);
}

// The first pass reads only the headers, to find each frame's first copy; the second reads
// those copies whole (checked against their checksums) and writes them in frame order, which
// lets a step gather consecutive frames into blocks.
bool KVAnalysisChunkFile::writeCopiesFrom(const std::string& path, bool keepCopies) {
    KVRecordFile copies(path, sizeof(FrameRecord));
    if (!copies.exists()) return true;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!copies.open(true)) {
        mFailures->record(StoreFailures::damagedData(path + ": " + copies.lastError()));
        return false;
    }
    if (!keepCopies) flushAppends();
    std::map<FramePos, FramePos> firstCopy;
    FrameRecord& header = *mScratchRecord;
    const FrameCount count = copies.recordCount();
    for (FramePos k = 0; k < count; ++k) {
        if (copies.readPart(&header, k, 0, kHeaderPeek) != static_cast<std::int64_t>(kHeaderPeek)) break;
        if (isUndoCopy(header)) firstCopy.emplace(FramePos{header.frameIndex}, k);
    }
    auto copy = FrameRecord::create();
    bool written = true;
    for (const auto& [frame, k] : firstCopy) {
        if (copies.read(copy.get(), k) != static_cast<std::int64_t>(sizeof(FrameRecord))) {
            mFailures->record(StoreFailures::damagedData(path + ": " + copies.lastError()));
            return false;
        }
        copy->frameIndex = copy->size == 0 ? 0 : -1;  // the tag belongs to the copy
        written = (keepCopies ? writeFrameRecord(*copy, frame) == 0 : writeFrame(*copy, frame, false)) && written;
    }
    return written;
}

// The data files a whole-segment step keeps, then the grain file, of base path B with infix
// between B and each suffix: "" for the chunk file's own, ".step-<id>" for a step's.
std::vector<std::string> KVAnalysisChunkFile::keptFilePaths(const std::string& basePath, const std::string& infix) {
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < kKeptDataFiles; ++i)
        paths.push_back(KVAnalysisPaths::dataFilePath(basePath, infix + kDataFiles[i].suffix));
    paths.push_back(KVAnalysisPaths::dataFilePath(basePath, infix + kGrainSuffix));
    return paths;
}

std::vector<std::string> KVAnalysisChunkFile::ownFilePaths(const std::string& basePath) {
    return keptFilePaths(basePath, std::string());
}

std::vector<std::string> KVAnalysisChunkFile::keptFilePaths(const std::string& basePath, std::int64_t id) {
    return keptFilePaths(basePath, ".step-" + std::to_string(id));
}

// Caller holds the monitor. Runs change(paths[i]) on every data file and then the grain file;
// each failure goes to the latch. With skipMissing, a path that names no file is passed over.
bool KVAnalysisChunkFile::changeEachFile(const std::vector<std::string>& paths,
                                         bool (KVRecordFile::*change)(const std::string&), bool skipMissing) {
    const auto missing = [&](std::size_t i) {
        struct stat info {};
        return skipMissing && ::stat(paths[i].c_str(), &info) != 0;
    };
    bool changed = true;
    for (std::size_t i = 0; i < kKeptDataFiles; ++i) {
        if (missing(i) || (mFiles[i].get()->*change)(paths[i])) continue;
        recordFailure(static_cast<FileIndex>(i));
        changed = false;
    }
    if (missing(kKeptDataFiles)) return changed;
    return mGrains->changeFile([&](KVRecordFile& grains) { return (grains.*change)(paths[kKeptDataFiles]); }) && changed;
}

// Every name is in place before any file is detached, so that a failure leaves every file
// either as it was or kept whole under its step name.
bool KVAnalysisChunkFile::keepFilesAs(std::int64_t id) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    if (mUndoNesting == 0) return false;
    mKeptStep = id;
    const std::vector<std::string> kept = keptFilePaths(mSourcePath, id);
    if (!changeEachFile(kept, &KVRecordFile::linkAs, false)) return false;
    std::vector<std::size_t> sizes;
    for (std::size_t i = 0; i < kKeptDataFiles; ++i) sizes.push_back(kDataFiles[i].recordSize);
    sizes.push_back(sizeof(KVEncodedGrain));
    mKept = std::make_unique<KeptStepFiles>(kept, sizes);
    bool detached = true;
    for (std::size_t i = 0; i < kKeptDataFiles; ++i) {
        if (mFiles[i]->detach()) continue;
        recordFailure(static_cast<FileIndex>(i));
        detached = false;
    }
    detached = mGrains->changeFile([](KVRecordFile& grains) { return grains.detach(); }) && detached;
    frameCount();
    return detached;
}

bool KVAnalysisChunkFile::takeFilesOf(std::int64_t id) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    mKept.reset();  // the files taken are whole: nothing reads through any more
    const std::vector<std::string> kept = keptFilePaths(mSourcePath, id);
    // A level missing one of its files is damage, and the step that takes it is rolled back.
    for (const std::string& path : kept) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) continue;
        mFailures->record(StoreFailures::damagedData(path + ": " + std::strerror(errno)));
        return false;
    }
    const bool taken = changeEachFile(kept, &KVRecordFile::replaceBy, false);
    frameCount();
    return taken;
}

bool KVAnalysisChunkFile::keptFilesUntouched() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mKept && mKept->untouched();
}

bool KVAnalysisChunkFile::giveBackKeptFiles() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    return mKeptStep == 0 || putBackKeptFiles();
}

bool KVAnalysisChunkFile::keepsFilesOfStep() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mKeptStep != 0;
}

// Caller holds the monitor. A file whose step name is missing was never detached.
bool KVAnalysisChunkFile::putBackKeptFiles() {
    mKept.reset();
    const bool back = changeEachFile(keptFilePaths(mSourcePath, mKeptStep), &KVRecordFile::replaceBy, true);
    if (back) dropStepFiles(mSourcePath, mKeptStep);  // only names: the files are the chunk file's again
    mKeptStep = 0;
    frameCount();
    return back;
}

// Caller holds the monitor; the step has written every frame it is going to.
bool KVAnalysisChunkFile::copyUnwrittenFrames() {
    bool copied = true;
    for (const auto& [start, count] : mKept->unwrittenRuns())
        for (std::size_t file = 0; file <= kKeptDataFiles && copied; ++file)
            if (file == kRecords || file == kKeptDataFiles || mHasDisplayFiles) copied = copyKeptRecords(file, start, count);
    return copied;
}

// Caller holds the monitor. A run of kept records (file kKeptDataFiles: grains) into the chunk
// file's own, a block at a time; a kept file that ends first gives what it holds.
bool KVAnalysisChunkFile::copyKeptRecords(std::size_t file, FramePos start, FrameCount count) {
    KVRecordFile& from = mKept->file(file);
    const auto size = static_cast<std::int64_t>(from.recordSize());
    constexpr FrameCount kBlock = 32;
    std::vector<char> bytes(static_cast<std::size_t>(size * kBlock));
    for (FrameCount done = 0; done < count;) {
        const std::int64_t read = from.read(bytes.data(), start + done, std::min(kBlock, count - done));
        if (read < 0) {
            mFailures->record(StoreFailures::damagedData(from.path() + ": " + from.lastError()));
            return false;
        }
        const FrameCount n = read / size;
        if (n == 0) return true;
        const bool written = file == kKeptDataFiles
                                 ? mGrains->writeRecords(reinterpret_cast<const KVEncodedGrain*>(bytes.data()), start + done, n) == 0
                                 : writeOrAlert(static_cast<FileIndex>(file), bytes.data(), start + done, n);
        if (!written) return false;
        done += n;
    }
    return true;
}

// Caller holds the monitor. Runs of frames read from the kept files or from the chunk file's
// own, whichever holds each; the records read whole, or -1 when a read fails.
FrameCount KVAnalysisChunkFile::readThrough(FileIndex file, char* into, FramePos index, FrameCount count) {
    const auto size = static_cast<std::int64_t>(kDataFiles[file].recordSize);
    FrameCount done = 0;
    while (done < count) {
        const bool kept = mKept->readsFrame(index + done);
        FrameCount run = 1;
        while (done + run < count && mKept->readsFrame(index + done + run) == kept) ++run;
        KVRecordFile& source = kept ? mKept->file(static_cast<std::size_t>(file)) : *mFiles[file];
        const std::int64_t bytes = source.read(into + done * size, index + done, run);
        if (bytes < 0) {
            if (source.lastReadWasDamaged()) mFailures->record(StoreFailures::damagedData(source.lastError()));
            return -1;
        }
        done += bytes / size;
        if (bytes < run * size) break;
    }
    return done;
}

std::int64_t KVAnalysisChunkFile::keptFileBytes(std::int64_t id) const {
    std::int64_t bytes = 0;
    for (const std::string& path : keptFilePaths(mSourcePath, id)) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0) bytes += std::int64_t{info.st_blocks} * 512;
    }
    return bytes;
}

// The sums go first, so that no data is checked against the sums of other data meanwhile.
// A kept name of the very file under the path (a step that had not detached it) is removed.
bool KVAnalysisChunkFile::restoreFilesOf(const std::string& basePath, std::int64_t id) {
    const std::vector<std::string> own = ownFilePaths(basePath);
    const std::vector<std::string> kept = keptFilePaths(basePath, id);
    bool restored = false;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        struct stat info {};
        if (::stat(kept[i].c_str(), &info) != 0) continue;
        ::unlink(RecordChecksums::pathFor(own[i]).c_str());
        if (::rename(kept[i].c_str(), own[i].c_str()) != 0) continue;
        ::unlink(kept[i].c_str());
        ::rename(RecordChecksums::pathFor(kept[i]).c_str(), RecordChecksums::pathFor(own[i]).c_str());
        restored = true;
    }
    return restored;
}

void KVAnalysisChunkFile::dropStepFiles(const std::string& basePath, std::int64_t id) {
    dropCopyFile(KVAnalysisPaths::dataFilePath(basePath, ".step-" + std::to_string(id) + ".noindex"));
    for (const std::string& path : keptFilePaths(basePath, id)) dropCopyFile(path);
}

FrameCount KVAnalysisChunkFile::undoCount() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mUndoCount;
}

FrameCount KVAnalysisChunkFile::readDisplayColumns(DisplayColumn* into, FramePos index, FrameCount count,
                                                   DisplayColumnKind kind) {
    return readDisplayFile(kind == DisplayColumnKind::spectral ? kSpectral : kHarmonic, into, index, count);
}

FrameCount KVAnalysisChunkFile::readFrameSummaries(FrameSummary* into, FramePos index, FrameCount count) {
    return readDisplayFile(kSummaries, into, index, count);
}

void KVAnalysisChunkFile::willReadDisplayColumns(FramePos index, FrameCount count, DisplayColumnKind kind) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mHasDisplayFiles) return;
    mFiles[kind == DisplayColumnKind::spectral ? kSpectral : kHarmonic]->willNeed(index, count);
    mFiles[kSummaries]->willNeed(index, count);
}

FrameCount KVAnalysisChunkFile::readDisplayFile(FileIndex file, void* into, FramePos index, FrameCount count) {
    if (count <= 0) return 0;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    const auto recordSize = static_cast<std::int64_t>(kDataFiles[file].recordSize);
    if (mKept && mHasDisplayFiles && index >= 0) {
        const FrameCount read = readThrough(file, static_cast<char*>(into), index, count);
        if (read >= 0) return read;
        std::memset(into, 0, static_cast<std::size_t>(recordSize * count));
        return 0;
    }
    const std::int64_t bytes = mHasDisplayFiles && index >= 0 ? mFiles[file]->read(into, index, count) : -1;
    if (bytes < 0) {
        if (mHasDisplayFiles && index >= 0) recordDamage(file);
        std::memset(into, 0, static_cast<std::size_t>(recordSize * count));
        return 0;
    }
    return bytes / recordSize;
}

bool KVAnalysisChunkFile::synchronize() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    bool pushed = flushAppends();
    for (int file = 0; file < kFileCount; ++file) {
        if (mFiles[file]->synchronize()) continue;
        recordFailure(static_cast<FileIndex>(file));
        pushed = false;
    }
    return mGrains->synchronize() == 0 && pushed;
}

bool KVAnalysisChunkFile::markComplete() {
    const bool pushed = synchronize();
    mIsComplete = pushed && !mFailures->failed();
    return mIsComplete;
}

void KVAnalysisChunkFile::closeFile() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    flushAppends();
    for (auto& file : mFiles) file->close();
    if (mGrains) mGrains->closeFile();
}

}  // namespace orvex
