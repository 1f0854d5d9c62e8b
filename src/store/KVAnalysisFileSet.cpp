#include "store/KVAnalysisFileSet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "store/KVAnalysisPaths.h"
#include "store/StoreFailures.h"
#include "utilities/InTurn.h"
#include "utilities/KVUtilities.h"

namespace orvex {

std::unique_ptr<KVAnalysisFileSet> KVAnalysisFileSet::initByOpeningFileAtPath(
    const std::string& path, double sampleRate, std::int64_t zeroPadding, std::int64_t frameSize,
    std::int64_t overlap, std::int32_t channels, bool keepsUndo, bool recreate) {
    auto set = std::make_unique<KVAnalysisFileSet>(Token());
    set->mSourcePath = path;
    set->mSampleRate = sampleRate;
    set->mZeroPadding = zeroPadding;
    set->mFrameSize = frameSize;
    set->mOverlap = overlap;
    set->mKeepsUndo = keepsUndo;

    KVUtilities::analysisFolderForFileAtPath(path);
    if (!KVUtilities::chunkFileForFileAtPathIsCompatible(path)) {
        StoreFailures::incompatibleAnalysis();
    }
    KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(path);
    const bool filesBack = !recreate && (keepsUndo ? restoreInterruptedFileStep(path, path, channels)
                                                   : restoreInterruptedApply(path, channels));

    for (std::int32_t c = 0; c < std::max(channels, 0); ++c) {
        const std::string chunkPath = KVAnalysisPaths::channelChunkPath(path, c);
        set->mChannels.push_back(KVAnalysisChunkFile::initByOpeningFileAtPath(
            chunkPath, sampleRate, zeroPadding, frameSize, overlap, keepsUndo, recreate, false, set->mFailures));
        set->mChannelGrains.push_back(KVGrainCollection::initByOpeningFileAtPath(chunkPath, true, false));
    }
    set->mOverview = KVAnalysisChunkFile::initByOpeningFileAtPath(KVAnalysisPaths::overviewChunkPath(path), sampleRate,
                                                                  zeroPadding, frameSize, overlap, keepsUndo,
                                                                  recreate, true, set->mFailures);
    set->openHistory(recreate);
    set->mRolledBackInterruptedStep = set->mRolledBackInterruptedStep || filesBack;
    set->mWhole = set->channelsHoldTheOverview();
    return set;
}

// A channel recreated on its own (a file was missing) or cut short leaves a stored analysis that
// plays and renders silence where its frames are gone.
bool KVAnalysisFileSet::channelsHoldTheOverview() {
    const FrameCount frames = mOverview->frameCount();
    return std::all_of(mChannels.begin(), mChannels.end(), [frames](const auto& chunk) {
        return chunk->isAnalysisComplete() && chunk->frameCount() >= frames;
    });
}

// A whole-segment step cut short by a kill left its fresh files under the chunk files' paths
// and the files it started from under its own names: those go back before anything is opened.
// A step that reached the history only needs its clean-up, which opening the history does.
bool KVAnalysisFileSet::restoreInterruptedFileStep(const std::string& path, const std::string& stepsPath,
                                                   std::int32_t channels) {
    std::ifstream marker(KVAnalysisPaths::openStepMarkerPath(stepsPath));
    std::int64_t id = 0;
    if (!(marker >> id) || id <= 0) return false;
    KVStepHistory history(KVAnalysisPaths::historyPath(stepsPath));
    if (history.load() && history.contains(id)) return false;
    bool restored = KVAnalysisChunkFile::restoreFilesOf(KVAnalysisPaths::overviewChunkPath(path), id);
    for (std::int32_t c = 0; c < channels; ++c)
        restored = KVAnalysisChunkFile::restoreFilesOf(KVAnalysisPaths::channelChunkPath(path, c), id) || restored;
    return restored;
}

bool KVAnalysisFileSet::restoreInterruptedApply(const std::string& workingPath, std::int32_t channels) {
    return restoreInterruptedFileStep(workingPath, KVAnalysisPaths::selectionFileSetPath(workingPath), channels);
}

// The playback collections read the files that were under the paths when they opened.
void KVAnalysisFileSet::reopenPlayback() {
    for (auto& grains : mChannelGrains)
        if (grains) grains->reopen();
    if (mStepSpansAnalysis) mSharedAnalysis->reopenPlayback();
}

// A step's chunk files: the analysis' follow this set's, so that they are kept after them (a
// failure to keep this set's stops before the analysis is touched).
std::vector<KVAnalysisChunkFile*> KVAnalysisFileSet::stepChunkFiles() const {
    std::vector<KVAnalysisChunkFile*> files = chunkFiles();
    if (mStepSpansAnalysis) {
        const std::vector<KVAnalysisChunkFile*> analysis = mSharedAnalysis->chunkFiles();
        files.insert(files.end(), analysis.begin(), analysis.end());
    }
    return files;
}

// The analysis alerted its failure when it met it; here it only fails the step.
void KVAnalysisFileSet::takeAnalysisFailure() {
    if (mStepSpansAnalysis && mSharedAnalysis->writeFailed()) mFailures->keep(mSharedAnalysis->writeFailure());
}

void KVAnalysisFileSet::shareStepsWith(KVAnalysisFileSet* analysis) {
    mSharedAnalysis = analysis;
    if (mHistory && analysis) dropUnlistedCopies(analysis->chunkFiles());
}

// A chunk file keeps its copies only when it could not write them back.
bool KVAnalysisFileSet::copiesRemain() const {
    return mOverview->undoCount() > 0 ||
           std::any_of(mChannels.begin(), mChannels.end(), [](const auto& chunk) { return chunk->undoCount() > 0; });
}

// A rollback cut short by another kill, or by a failed write, is simply done again; the record
// goes only when every file is back.
void KVAnalysisFileSet::rollBackInterruptedStep() {
    std::error_code error;
    if (!std::filesystem::exists(KVAnalysisPaths::openStepMarkerPath(mSourcePath), error)) return;
    bool replayed = false;
    for (auto& chunk : mChannels) replayed = chunk->undoLastStep() || replayed;
    replayed = mOverview->undoLastStep() || replayed;
    if (copiesRemain()) return;
    mRolledBackInterruptedStep = replayed;
    markStepClosed();
}

// Every chunk file is taken back, even when one of them cannot be.
bool KVAnalysisFileSet::rollBackFailedStep() {
    bool back = true;
    for (KVAnalysisChunkFile* chunk : stepChunkFiles()) back = chunk->rollBackFailedStep() && back;
    return back;
}

// The record names the step's id, so that an open can tell a step that reached the history
// (only its clean-up was cut short) from one that did not. An empty record is of a step
// without id (written before the history kept levels): it is rolled back.
bool KVAnalysisFileSet::markStepOpen() {
    if (!mKeepsUndo) return true;
    const std::string marker = KVAnalysisPaths::openStepMarkerPath(mSourcePath);
    const int descriptor = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (descriptor < 0) return false;
    const std::string id = std::to_string(mStepId);
    const bool written = ::write(descriptor, id.data(), id.size()) == static_cast<ssize_t>(id.size());
    ::close(descriptor);
    return written;
}

std::int64_t KVAnalysisFileSet::openStepId() const {
    std::ifstream in(KVAnalysisPaths::openStepMarkerPath(mSourcePath));
    std::int64_t id = 0;
    return in >> id ? id : 0;
}

void KVAnalysisFileSet::markStepClosed() {
    std::error_code error;
    std::filesystem::remove(KVAnalysisPaths::openStepMarkerPath(mSourcePath), error);
}

KVAnalysisChunkFile* KVAnalysisFileSet::chunkFileForChannel(std::int32_t channel) {
    if (channel < 0) return mOverview.get();
    return channel < numberOfChannels() ? mChannels[channel].get() : nullptr;
}

FrameCount KVAnalysisFileSet::frameCount() { return mOverview->frameCount(); }

FrameCount KVAnalysisFileSet::framesAvailableFromIndex(FramePos index) {
    return std::max<FrameCount>(frameCount() - index, 0);
}

Status KVAnalysisFileSet::readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel) {
    KVAnalysisChunkFile* chunk = chunkFileForChannel(channel);
    return chunk ? chunk->readFrameRecord(frame, into) : -1;
}

Status KVAnalysisFileSet::writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel) {
    KVAnalysisChunkFile* chunk = chunkFileForChannel(channel);
    return chunk ? chunk->writeFrameRecord(record, frame) : -1;
}

Status KVAnalysisFileSet::appendFrameRecord(const FrameRecord& record, std::int32_t channel) {
    KVAnalysisChunkFile* chunk = chunkFileForChannel(channel);
    return chunk ? chunk->appendFrameRecord(record) : -1;
}

Result KVAnalysisFileSet::flushAppends() {
    for (auto& chunk : mChannels) chunk->flushAppends();
    mOverview->flushAppends();
    return mFailures->failure();
}

Result KVAnalysisFileSet::synchronize() {
    for (auto& chunk : mChannels) chunk->synchronize();
    mOverview->synchronize();
    return mFailures->failure();
}

void KVAnalysisFileSet::setFrameCount(FrameCount n) {
    mOverview->setFrameCount(n);
    for (auto& chunk : mChannels) chunk->setFrameCount(n);
}

void KVAnalysisFileSet::beginUndoStep(const std::string& name) { beginStep(name, StepKind::Edit, false); }

void KVAnalysisFileSet::beginWholeSegmentStep(const std::string& name) { beginStep(name, StepKind::Edit, true); }

void KVAnalysisFileSet::beginApplyStep(const std::string& name) { beginStep(name, StepKind::Edit, true, true); }

// The files are kept only once the record of the open step is on the disk, so that a kill
// always finds what to put back.
void KVAnalysisFileSet::beginStep(const std::string& name, StepKind kind, bool keepsFiles, bool spansAnalysis) {
    const bool outermost = mUndoNesting == 0;
    if (outermost) {
        mFailures->clear();
        mStepName = name;
        mStepKind = kind;
        mStepKeepsFiles = keepsFiles && mHistory;
        mStepSpansAnalysis = spansAnalysis && mStepKeepsFiles && mSharedAnalysis;
        if (mStepSpansAnalysis) mSharedAnalysis->mFailures->clear();
        mStepId = mHistory ? mHistory->takeId() : 0;
    }
    for (KVAnalysisChunkFile* chunk : stepChunkFiles()) chunk->beginUndoStep();
    ++mUndoNesting;
    if (!outermost) return;
    const bool marked = markStepOpen();
    if (!mStepKeepsFiles) return;
    if (!marked) {
        mFailures->record(StoreFailures::writeFailed("Error writing to undo file",
                                                     "the open step could not be recorded"));
        return;
    }
    for (KVAnalysisChunkFile* chunk : stepChunkFiles())
        if (!chunk->keepFilesAs(mStepId)) break;
    takeAnalysisFailure();
}

// The step's gathered writes reach the files before the step counts as closed.
// A whole-segment step that changed nothing gives its kept files back: it is no level.
Result KVAnalysisFileSet::commitUndoStep() {
    flushAppends();
    const bool outermost = mUndoNesting == 1;
    if (outermost && mStepSpansAnalysis) mSharedAnalysis->flushAppends();
    if (outermost) takeAnalysisFailure();
    const std::vector<KVAnalysisChunkFile*> chunks = stepChunkFiles();
    const auto untouched = [](const KVAnalysisChunkFile* chunk) { return chunk->keptFilesUntouched(); };
    if (outermost && mStepKeepsFiles && !mFailures->failed() && std::all_of(chunks.begin(), chunks.end(), untouched))
        for (KVAnalysisChunkFile* chunk : chunks) chunk->giveBackKeptFiles();
    if (mUndoNesting > 0) --mUndoNesting;
    for (KVAnalysisChunkFile* chunk : chunks) chunk->commitUndoStep();
    if (outermost) takeAnalysisFailure();
    Result failure = mFailures->failure();
    if (!outermost) return failure;
    mDroppedByLastCommit = 0;
    if (failure && !recordStep()) failure = historyNotWritten();
    if (!failure && !rollBackFailedStep())
        failure = StoreFailures::stepNotRolledBack(failure);  // the record stays
    else
        markStepClosed();
    if (mStepKeepsFiles) reopenPlayback();
    return failure;
}

std::vector<KVAnalysisChunkFile*> KVAnalysisFileSet::chunkFiles() const {
    std::vector<KVAnalysisChunkFile*> files{mOverview.get()};
    for (const auto& chunk : mChannels) files.push_back(chunk.get());
    return files;
}

// The step's copies get the names of its level, the history file names the level, and only
// then are the undo files emptied and the levels it replaced removed: an interruption before
// the history file is written leaves the step to be rolled back, one after it only clean-up.
bool KVAnalysisFileSet::recordStep() {
    if (!mHistory) return true;
    const auto holdsCopies = [](const KVAnalysisChunkFile* chunk) {
        return chunk->undoCount() > 0 || chunk->keepsFilesOfStep();
    };
    const std::vector<KVAnalysisChunkFile*> chunks = stepChunkFiles();
    if (mStepKind == StepKind::Edit && std::none_of(chunks.begin(), chunks.end(), holdsCopies)) {
        markStepClosed();  // a step that wrote nothing is no level
        return true;
    }
    KVHistoryEntry step{mStepId, mStepName, 0, mStepKeepsFiles, mStepSpansAnalysis};
    for (KVAnalysisChunkFile* chunk : chunks) {
        if (mStepKeepsFiles) {
            step.bytes += chunk->keptFileBytes(mStepId);
            continue;
        }
        if (!chunk->keepUndoCopiesAs(chunk->stepCopyPath(mStepId))) return false;
        struct stat info {};
        if (::stat(chunk->stepCopyPath(mStepId).c_str(), &info) == 0) step.bytes += std::int64_t{info.st_blocks} * 512;
    }
    const std::vector<KVHistoryEntry> gone = placeStep(step);
    if (!mHistory->save()) {
        mHistory->load();
        if (!mStepKeepsFiles) dropCopies({step});  // kept files are what the rollback puts back
        return false;
    }
    emptyUndoCopies();
    markStepClosed();
    dropCopies(gone);
    return true;
}

// Where the step goes in the history, and the levels that go because of it.
std::vector<KVHistoryEntry> KVAnalysisFileSet::placeStep(const KVHistoryEntry& step) {
    if (mStepKind == StepKind::Undo) return {mHistory->undoneAs(step)};
    if (mStepKind == StepKind::Redo) return {mHistory->redoneAs(step)};
    std::vector<KVHistoryEntry> gone = mHistory->pushStep(step);
    const std::vector<KVHistoryEntry> pruned = mHistory->prune(mMaxLevels, historyBudget());
    mDroppedByLastCommit = pruned.size();
    gone.insert(gone.end(), pruned.begin(), pruned.end());
    return gone;
}

// The share of what the disk offers the history: its free space and what the levels take.
std::int64_t KVAnalysisFileSet::historyBudget() const {
    std::error_code error;
    const auto space = std::filesystem::space(std::filesystem::path(mHistory->path()).parent_path(), error);
    if (error) return std::numeric_limits<std::int64_t>::max();
    std::int64_t held = 0;
    for (const auto& level : mHistory->entries()) held += level.bytes;
    return static_cast<std::int64_t>(mBudgetShare * (static_cast<double>(space.available) + static_cast<double>(held)));
}

void KVAnalysisFileSet::dropCopies(const std::vector<KVHistoryEntry>& levels) {
    for (const auto& level : levels) {
        std::vector<KVAnalysisChunkFile*> chunks = chunkFiles();
        if (level.spansAnalysis && mSharedAnalysis) {
            const std::vector<KVAnalysisChunkFile*> analysis = mSharedAnalysis->chunkFiles();
            chunks.insert(chunks.end(), analysis.begin(), analysis.end());
        }
        for (KVAnalysisChunkFile* chunk : chunks) KVAnalysisChunkFile::dropStepFiles(chunk->sourceFilePath(), level.id);
    }
}

void KVAnalysisFileSet::emptyUndoCopies() {
    for (KVAnalysisChunkFile* chunk : chunkFiles()) chunk->emptyUndoCopies();
}

// Copy files and kept files that no level names: left by a step interrupted before its level
// was written, or by one interrupted while it removed the levels it replaced.
void KVAnalysisFileSet::dropUnlistedCopies(const std::vector<KVAnalysisChunkFile*>& chunks) {
    for (KVAnalysisChunkFile* chunk : chunks) {
        const std::filesystem::path base = chunk->stepCopyPath(0);
        const std::string stem = base.filename().string().substr(0, base.filename().string().size() - 9);  // "0.noindex"
        std::error_code error;
        for (const auto& file : std::filesystem::directory_iterator(base.parent_path(), error)) {
            std::string name = file.path().filename().string();
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".crc") == 0) name.resize(name.size() - 4);
            if (name.rfind(stem, 0) != 0 || name.size() <= stem.size() + 8 ||
                name.compare(name.size() - 8, 8, ".noindex") != 0)
                continue;
            // "<id>.noindex" names copies, "<id>.ana.noindex" and the like the files of a level.
            std::string digits = name.substr(stem.size(), name.size() - stem.size() - 8);
            digits.resize(std::min(digits.size(), digits.find('.')));
            const auto isDigit = [](unsigned char c) { return std::isdigit(c) != 0; };
            if (digits.empty() || digits.size() > 18 || !std::all_of(digits.begin(), digits.end(), isDigit)) continue;
            if (!mHistory->contains(std::stoll(digits)))
                KVAnalysisChunkFile::dropCopyFile((base.parent_path() / name).string());
        }
    }
}

// Opening settles what an interrupted process left: a step that reached the history only needs
// its clean-up; any other open step is rolled back. A folder written before the history kept
// levels holds its one level in the undo files: it becomes the history's first level.
void KVAnalysisFileSet::openHistory(bool recreate) {
    if (!mKeepsUndo) return;
    mHistory = std::make_unique<KVStepHistory>(KVAnalysisPaths::historyPath(mSourcePath));
    const bool listed = !recreate && mHistory->load();
    if (recreate) mHistory->remove();
    std::error_code error;
    const std::string marker = KVAnalysisPaths::openStepMarkerPath(mSourcePath);
    if (std::filesystem::exists(marker, error)) {
        const std::int64_t id = openStepId();
        if (listed && id > 0 && mHistory->contains(id)) {
            emptyUndoCopies();
            markStepClosed();
        } else if (listed && id < 0) {
            if (mHistory->nextUndo() && mHistory->nextUndo()->id == -id) undoForGood(-id);
            else markStepClosed();
        } else {
            rollBackInterruptedStep();
        }
    }
    if (std::filesystem::exists(marker, error)) return;  // not yet back: the next open tries again
    for (KVAnalysisChunkFile* chunk : chunkFiles()) chunk->settleKeptUndo();
    if (listed) {
        emptyUndoCopies();  // copies of writes made outside any step
    } else if (mOverview->undoCount() > 0) {
        mStepId = mHistory->takeId();
        mStepName = "Edit";
        mStepKind = StepKind::Edit;
        recordStep();
    }
    dropUnlistedCopies(chunkFiles());
}

// An undo that cannot keep the copies for its redo (a full disk) writes the level back in
// place, which needs no room, and gives up the redo.
Result KVAnalysisFileSet::undoLastStep() {
    if (mUndoNesting > 0 || !canUndo()) return noDataToUndo();
    const KVHistoryEntry level = *mHistory->nextUndo();
    if (mUnfinishedUndo == level.id) return undoForGood(level.id);
    const Result undone = replayLevel(StepKind::Undo, level);
    if (undone || StoreFailures::isDamage(undone) || !mFailures->failed()) return undone;
    return undoForGood(level.id);
}

// The record of the open step names the level as negative id: an interrupted run is finished by
// the next open, as writing the copies again gives the same frames.
Result KVAnalysisFileSet::undoForGood(std::int64_t id) {
    mStepId = -id;
    mUnfinishedUndo = id;
    if (!markStepOpen()) return mFailures->failure();
    // The latch keeps the failure of the undo tried before (alerted once); success is told by
    // the writes themselves.
    const KVHistoryEntry level = *mHistory->nextUndo();
    if (!writeCopiesBack(level, false)) {
        const Result failure = mFailures->failure();
        return Result::failure(failure.title(), failure.message() + "\nthe undo is finished when the file is opened again");
    }
    mFailures->clear();
    mUnfinishedUndo = 0;
    const std::vector<KVHistoryEntry> gone = mHistory->undoneForGood();
    if (!mHistory->save()) {
        mHistory->load();
        return historyNotWritten();
    }
    markStepClosed();
    dropCopies(gone);
    return Result::success();
}

Result KVAnalysisFileSet::redoLastStep() {
    if (mUndoNesting > 0 || !canRedo()) return noDataToRedo();
    return replayLevel(StepKind::Redo, *mHistory->nextRedo());
}

// A step that writes the level's copies back: its own copies, of what the frames hold now,
// become the level that takes the other direction.
Result KVAnalysisFileSet::replayLevel(StepKind kind, const KVHistoryEntry& level) {
    const KVHistoryEntry replayed = level;
    if (replayed.spansAnalysis && !mSharedAnalysis) return kind == StepKind::Undo ? noDataToUndo() : noDataToRedo();
    beginStep(replayed.name, kind, replayed.keepsFiles, replayed.spansAnalysis);
    if (!mFailures->failed()) writeCopiesBack(replayed, true);
    return commitUndoStep();
}

// Every chunk file writes the level's copies back, two at a time (the calling thread and one
// helper take the next file in turn, the overview first as it costs most). The files share
// nothing but the failure latch, which has its own lock; a failure of one is in the latch, and
// the step it belongs to is rolled back whole.
// A level that keeps files gives them back instead: no frame is written.
bool KVAnalysisFileSet::writeCopiesBack(const KVHistoryEntry& level, bool keepCopies) {
    const std::vector<KVAnalysisChunkFile*> chunks = stepChunkFiles();
    if (level.keepsFiles) {
        bool taken = true;
        for (KVAnalysisChunkFile* chunk : chunks) taken = chunk->takeFilesOf(level.id) && taken;
        reopenPlayback();
        return taken;
    }
    std::atomic<bool> written{true};
    runInTurn(chunks.size(), 2, [&](std::size_t i) {
        if (!chunks[i]->writeCopiesFrom(chunks[i]->stepCopyPath(level.id), keepCopies)) written = false;
    });
    return written.load();
}

Result KVAnalysisFileSet::noDataToUndo() {
    return Result::failure("No data to undo",
                           "Undo could not complete. Processing might still be in progress or there is no data to undo");
}

Result KVAnalysisFileSet::historyNotWritten() const {
    return StoreFailures::writeFailed("Error writing to undo file", "the history could not be written to " + mHistory->path());
}

Result KVAnalysisFileSet::noDataToRedo() {
    return Result::failure("No data to redo",
                           "Redo could not complete. Processing might still be in progress or there is nothing undone to redo");
}

bool KVAnalysisFileSet::canUndo() const { return mHistory && mHistory->canUndo(); }

bool KVAnalysisFileSet::canRedo() const { return mHistory && mHistory->canRedo(); }

std::vector<KVHistoryEntry> KVAnalysisFileSet::historyEntries() const {
    return mHistory ? mHistory->entries() : std::vector<KVHistoryEntry>{};
}

std::size_t KVAnalysisFileSet::historyCursor() const { return mHistory ? mHistory->cursor() : 0; }

void KVAnalysisFileSet::setHistoryLimits(std::size_t maxLevels, double budgetShare) {
    mMaxLevels = std::max<std::size_t>(maxLevels, 1);
    mBudgetShare = std::clamp(budgetShare, 0.0, 1.0);
}

Result KVAnalysisFileSet::markComplete() {
    bool complete = true;
    for (std::size_t c = 0; c < mChannels.size(); ++c) {
        complete = mChannels[c]->markComplete() && complete;
        if (mChannelGrains[c]) mChannelGrains[c]->markComplete();
    }
    complete = mOverview->markComplete() && complete;
    mWhole = complete;
    return mFailures->failure();
}

FrameCount KVAnalysisFileSet::readDisplayColumns(DisplayColumn* into, FramePos index, FrameCount count,
                                                 std::int32_t channel, DisplayColumnKind kind) {
    if (KVAnalysisChunkFile* chunk = chunkFileForChannel(channel))
        return chunk->readDisplayColumns(into, index, count, kind);
    if (count > 0) std::memset(static_cast<void*>(into), 0, sizeof(DisplayColumn) * static_cast<std::size_t>(count));
    return 0;
}

void KVAnalysisFileSet::willReadDisplayColumns(FramePos index, FrameCount count, std::int32_t channel,
                                               DisplayColumnKind kind) {
    if (KVAnalysisChunkFile* chunk = chunkFileForChannel(channel)) chunk->willReadDisplayColumns(index, count, kind);
}

FrameCount KVAnalysisFileSet::readFrameSummaries(FrameSummary* into, FramePos index, FrameCount count,
                                                 std::int32_t channel) {
    if (KVAnalysisChunkFile* chunk = chunkFileForChannel(channel)) return chunk->readFrameSummaries(into, index, count);
    if (count > 0) std::memset(static_cast<void*>(into), 0, sizeof(FrameSummary) * static_cast<std::size_t>(count));
    return 0;
}

KVGrainCollection* KVAnalysisFileSet::grainCollectionForChannel(std::int32_t channel) {
    if (channel < 0 || channel >= numberOfChannels()) return nullptr;
    return mChannelGrains[channel].get();
}

Status KVAnalysisFileSet::readAudio(FrameCount n, float** buffers, std::int32_t channel) {
    KVGrainCollection* grains = grainCollectionForChannel(channel);
    return grains ? grains->readAudio(n, buffers) : -1;
}

FrameCount KVAnalysisFileSet::numberOfGrainSamples() {
    KVGrainCollection* grains = grainCollectionForChannel(0);
    return grains ? grains->numberOfSamples() : 0;
}

void KVAnalysisFileSet::setPlayPosition(FramePos sample) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    for (auto& grains : mChannelGrains)
        if (grains) grains->setPlayPosition(sample);
}

}  // namespace orvex
