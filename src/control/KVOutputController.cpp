#include "control/KVOutputController.h"

#include <filesystem>

#include "control/KVMasterPrefill.h"
#include "control/KVMixdownStream.h"
#include "control/KVOverviewBuilder.h"
#include "control/KVStoredRanges.h"
#include "platform/Platform.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {

constexpr std::int64_t kHighQualityColumns = 4096;
constexpr std::int64_t kLowQualityColumns = 512;

void join(std::thread& thread) {
    if (thread.joinable()) thread.join();
}

}  // namespace

std::unique_ptr<KVOutputController> KVOutputController::initWithView(KVOutputViewInterface* view,
                                                                     const std::string& path, std::int32_t channels,
                                                                     FrameCount records, bool highQuality) {
    return start(std::unique_ptr<KVOutputController>(
        new KVOutputController(view, path, channels, records * kAnalysisHop, highQuality)));
}

std::unique_ptr<KVOutputController> KVOutputController::initWithView(KVOutputViewInterface* view,
                                                                     const std::string& path, bool highQuality) {
    std::int32_t channels = 0;
    if (KVAudioFileReader::infoForFileAtPath(path, nullptr, &channels, nullptr, nullptr, nullptr) != 0 || channels < 1)
        return nullptr;
    auto reader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, channels);
    if (!reader) return nullptr;
    const FrameCount frames = reader->length();
    reader.reset();
    return start(std::unique_ptr<KVOutputController>(new KVOutputController(view, path, channels, frames, highQuality)));
}

std::unique_ptr<KVOutputController> KVOutputController::start(std::unique_ptr<KVOutputController> controller) {
    controller->prefillMasterFilesInNewThread();
    controller->restartOverview();
    return controller;
}

KVOutputController::KVOutputController(KVOutputViewInterface* view, const std::string& path, std::int32_t channels,
                                       FrameCount fileFrames, bool highQuality)
    : mView(view),
      mOriginalInputFilePath(path),
      mChannels(channels),
      mFileFrames(std::max<FrameCount>(fileFrames, 0)),
      mRecords(mFileFrames / kAnalysisHop),
      mNumberOfColumns(highQuality ? kHighQualityColumns : kLowQualityColumns),
      mColumns(std::make_shared<OverviewColumns>(mNumberOfColumns)),
      mMaster(KVMixdownStore::openMixdownForFileAtPath(path, mRecords)) {
    if (!KVUtilities::chunkFileForFileAtPathIsCompatible(path))
        KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(path);
    configureView(highQuality);
    loadAnalysisRangeForFileAtPath(path);
    setPlayPosition(0);
}

KVOutputController::~KVOutputController() {
    mCancelExport = true;
    mPrefillDone.notify_all();
    mCancelPrefill = true;
    mCancelOverview = true;
    join(mExportThread);
    join(mPrefillThread);
    join(mOverviewThread);
    mPoster.invalidate();
}

void KVOutputController::configureView(bool highQuality) {
    if (!mView) return;
    mView->showColumns(mColumns);
    mView->setHighQuality(highQuality);
    mView->setNumberOfRecords(mRecords);
    mView->setNumberOfChannels(mChannels);
}

std::int64_t KVOutputController::readPlayFrames(FrameCount n, float* const* buffers) {
    if (!mMaster.left) return -1;
    float* left[1] = {buffers ? buffers[0] : nullptr};
    Status status = mMaster.left->readAudio(n, left);
    if (mChannels > 1) {
        float* right[1] = {buffers ? buffers[1] : nullptr};
        status = mMaster.right->readAudio(n, right);
    }
    return status;
}

void KVOutputController::setPlayPosition(FramePos frame) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mMaster.left || !mMaster.right) return;
    KVMixdownStream::seekToFrame(*mMaster.left, frame);
    KVMixdownStream::seekToFrame(*mMaster.right, frame);
}

void KVOutputController::cursorWasMoved() {
    if (mDelegate) mDelegate->cursorWasMoved(*this);
    if (mView) setPlayPosition(mView->editCursor());
}

bool KVOutputController::moveToEditCursor() {
    if (mView) setPlayPosition(mView->editCursor());
    return false;
}

bool KVOutputController::moveToPlayCursor() {
    if (mView) setPlayPosition(mView->playCursor());
    return false;
}

void KVOutputController::setPlayCursor(FramePos frame) {
    if (mView) mView->setPlayCursor(frame);
}

void KVOutputController::togglePlayStop() {
    if (mDelegate) mDelegate->togglePlayStop(*this);
}

void KVOutputController::setAnalysisStart(FramePos start, FramePos end) {
    if (!mView) return;
    mView->setAnalysisStartFrame(start);
    mView->setAnalysisEndFrame(end);
}

void KVOutputController::loadAnalysisRangeForFileAtPath(const std::string& path) {
    FramePos start = 0, end = 0;
    KVStoredRanges::analysisRangeForFileAtPath(path, start, end);
    setAnalysisStart(start, end);
}

void KVOutputController::reportProgress(int percent) {
    if (mDelegate) mDelegate->setProgressValue(percent);
}

// ---- Prefill ----

void KVOutputController::prefillMasterFilesInNewThread() {
    stopPrefill();
    mCancelPrefill = false;
    mPrefillFinished = false;
    mPrefillThread = std::thread([this] { prefill(); });
}

void KVOutputController::prefill() {
    Platform::shared().setCurrentThreadPriority(0.0);
    // A damaged master keeps what is left of its edits: refilling it would hide their loss.
    if (mMaster.left && mMaster.right && mMaster.damage)
        KVMasterPrefill::run(mOriginalInputFilePath, *mMaster.left, *mMaster.right, mMonitor, mCancelPrefill);
    // The overview's rebuild is queued before the prefill counts as finished, so whoever sees
    // it finished also finds the rebuild queued on the main thread (never a stale overview).
    if (!mCancelPrefill.load()) mPoster.post([this] { restartOverview(); });
    {
        std::lock_guard<std::mutex> guard(mPrefillMutex);
        mPrefillFinished = true;
    }
    mPrefillDone.notify_all();
}

void KVOutputController::stopPrefill() {
    mCancelPrefill = true;
    join(mPrefillThread);
}

void KVOutputController::waitForPrefill() { join(mPrefillThread); }

// ---- Overview ----

void KVOutputController::restartOverview() {
    stopOverview();
    if (!mView) return;
    mCancelOverview = false;
    mOverviewRunning = true;
    mOverviewThread = std::thread([this] { buildOverview(); });
}

void KVOutputController::buildOverview() {
    auto stream = KVMixdownStream::open(mOriginalInputFilePath);
    bool complete = false;
    if (stream) {
        stream->seekToFrame(0);
        const auto read = [&](FrameCount n, float* left, float* right) {
            std::lock_guard<std::recursive_mutex> guard(mMonitor);
            stream->read(n, left, right);
            return true;
        };
        complete = KVOverviewBuilder::build(numFrames(), mNumberOfColumns, numFrames(), mChannels > 1, read, *mColumns,
                                            mCancelOverview, [this] { requestDisplay(); });
    }
    mOverviewRunning = false;
    if (complete) {
        mPoster.post([this] {
            KVUtilities::playFinishedSound();
            mView->setNeedsRedraw();
        });
    }
}

void KVOutputController::requestDisplay() {
    if (mDisplayPending.exchange(true)) return;
    mPoster.post([this] {
        mDisplayPending = false;
        mView->setNeedsDisplay();
    });
}

void KVOutputController::stopOverview() {
    mCancelOverview = true;
    join(mOverviewThread);
}

// ---- Export ----

void KVOutputController::exportToPath(const std::string& path, const KVMetadataChunks& chunks) {
    stopExport();
    mExportPath = path;
    mExportChunks = KVOwnedMetadataChunks(chunks);
    mCancelExport = false;
    mExporting = true;
    mExportThread = std::thread([this] { runExport(); });
}

void KVOutputController::runExport() {
    {
        std::unique_lock<std::mutex> lock(mPrefillMutex);
        mPrefillDone.wait(lock, [this] { return mPrefillFinished.load() || mCancelExport.load(); });
    }
    auto outcome = KVMasterExport::Outcome::Cancelled;
    Result damage = mMaster.damage;
    if (!damage) {
        outcome = KVMasterExport::Outcome::SourceDamaged;
    } else if (!mCancelExport.load()) {
        KVMasterExport exporter(mOriginalInputFilePath, mChannels, mFileFrames, mMonitor);
        const auto progress = [this](int percent) { mPoster.post([this, percent] { reportProgress(percent); }); };
        outcome = exporter.run(mExportPath, mExportChunks.view(), mCancelExport, progress);
        mLastExportClippedSamples = exporter.clippedSamples();
        damage = exporter.sourceDamage();
    }
    mLastExportOutcome = outcome;
    mExporting = false;
    mPoster.post([this, outcome, path = mExportPath, damage] { finishExport(outcome, path, damage); });
}

void KVOutputController::finishExport(KVMasterExport::Outcome outcome, const std::string& path,
                                      const Result& sourceDamage) {
    using Outcome = KVMasterExport::Outcome;
    mLastExportResult = KVExportWriter::resultOf(outcome, path, sourceDamage);
    reportProgress(-1);
    if (mDelegate) mDelegate->exportFinished(*this, mLastExportResult);
    KVUtilities::playFinishedSound();
    mCancelExport = false;
    std::error_code error;
    if (outcome == Outcome::Written || (outcome == Outcome::Cancelled && std::filesystem::exists(path, error)))
        Platform::shared().revealFile(path);
}

void KVOutputController::cancelExport() {
    mCancelExport = true;
    mPrefillDone.notify_all();
}


void KVOutputController::stopExport() {
    cancelExport();
    join(mExportThread);
}

void KVOutputController::waitForExport() { join(mExportThread); }

// ---- Reset ----

void KVOutputController::resetMasterFile() {
    stopExport();
    stopPrefill();
    stopOverview();
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (mMaster.left && mMaster.right) {
            mMaster.left->setFrameCount(0);
            mMaster.right->setFrameCount(0);
            writePlaceholders();
        } else {
            mMaster = KVMixdownStore::recreateMixdownForFileAtPath(mOriginalInputFilePath, mRecords);
        }
    }
    setPlayPosition(0);
    loadAnalysisRangeForFileAtPath(mOriginalInputFilePath);
    prefillMasterFilesInNewThread();
    restartOverview();
}

void KVOutputController::writePlaceholders() {
    KVEncodedGrain silence{};
    mMaster.left->writeRecord(silence, mRecords);
    mMaster.right->writeRecord(silence, mRecords);
}

}  // namespace orvex
