#include "store/KVAnalysisFileSet.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "store/KVAnalysisPaths.h"
#include "store/StoreFailures.h"
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

    for (std::int32_t c = 0; c < std::max(channels, 0); ++c) {
        const std::string chunkPath = KVAnalysisPaths::channelChunkPath(path, c);
        set->mChannels.push_back(KVAnalysisChunkFile::initByOpeningFileAtPath(
            chunkPath, sampleRate, zeroPadding, frameSize, overlap, keepsUndo, recreate, false, set->mFailures));
        set->mChannelGrains.push_back(KVGrainCollection::initByOpeningFileAtPath(chunkPath, true, false));
    }
    set->mOverview = KVAnalysisChunkFile::initByOpeningFileAtPath(KVAnalysisPaths::overviewChunkPath(path), sampleRate,
                                                                  zeroPadding, frameSize, overlap, keepsUndo,
                                                                  recreate, true, set->mFailures);
    set->rollBackInterruptedStep();
    std::error_code ignored;
    if (!std::filesystem::exists(KVAnalysisPaths::openStepMarkerPath(path), ignored)) {
        for (auto& chunk : set->mChannels) chunk->settleKeptUndo();
        set->mOverview->settleKeptUndo();
    }
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

// Replaying the saved copies twice gives the same frames, so every replay may be cut short and
// done again. True when the overview had copies to replay.
bool KVAnalysisFileSet::replaySavedCopies() {
    for (auto& chunk : mChannels) chunk->undoLastStep();
    return mOverview->undoLastStep();
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
    for (auto& chunk : mChannels) back = chunk->rollBackFailedStep() && back;
    return mOverview->rollBackFailedStep() && back;
}

bool KVAnalysisFileSet::markStepOpen() {
    if (!mKeepsUndo) return true;
    const std::string marker = KVAnalysisPaths::openStepMarkerPath(mSourcePath);
    const int descriptor = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) return false;
    ::close(descriptor);
    return true;
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

void KVAnalysisFileSet::beginUndoStep() {
    if (mUndoNesting == 0) mFailures->clear();
    for (auto& chunk : mChannels) chunk->beginUndoStep();
    mOverview->beginUndoStep();
    if (mUndoNesting++ == 0) markStepOpen();
}

// The step's gathered writes reach the files before the step counts as closed.
Result KVAnalysisFileSet::commitUndoStep() {
    flushAppends();
    const bool outermost = mUndoNesting == 1;
    if (mUndoNesting > 0) --mUndoNesting;
    for (auto& chunk : mChannels) chunk->commitUndoStep();
    mOverview->commitUndoStep();
    const Result failure = mFailures->failure();
    if (!outermost) return failure;
    if (!failure && !rollBackFailedStep()) return StoreFailures::stepNotRolledBack(failure);  // the record stays
    markStepClosed();
    return failure;
}

Result KVAnalysisFileSet::undoLastStep() {
    if (mUndoNesting > 0) return noDataToUndo();
    const bool recorded = mOverview->undoCount() > 0 && markStepOpen();
    mFailures->clear();
    const bool undone = replaySavedCopies();
    if (copiesRemain()) return mFailures->failure();  // the copies and the record stay
    if (recorded) markStepClosed();
    return undone ? Result::success() : noDataToUndo();
}

Result KVAnalysisFileSet::noDataToUndo() {
    return Result::failure("No data to undo",
                           "Undo could not complete. Processing might still be in progress or there is no data to undo");
}

bool KVAnalysisFileSet::canUndo() const { return mOverview->undoCount() > 0; }

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
