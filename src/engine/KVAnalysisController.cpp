#include "engine/KVAnalysisController.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <mutex>
#include <vector>

#include "common/Pitch.h"
#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisViewInterface.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVPreviewExchange.h"
#include "engine/KVSelectionPlaySource.h"
#include "history/KVEditHistory.h"
#include "platform/FailureChannel.h"
#include "platform/Platform.h"
#include "playback/KVAudioEngineController.h"
#include "store/KVAnalysisFileSet.h"
#include "store/StoreFailures.h"
#include "store/KVAnalysisPaths.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

namespace {
constexpr auto kPreviewPeriod = std::chrono::milliseconds(10);
constexpr double kPreviewThreadPriority = 0.1;
}  // namespace

std::shared_ptr<KVAnalysisController> KVAnalysisController::initWithEditHistory(
    std::shared_ptr<KVEditHistory> history, KVAnalysisViewInterface* view, bool forceReanalyze,
    std::unique_ptr<AudioOutputBackend> output, bool parallelAnalysis) {
    if (!history) return nullptr;
    auto controller = std::make_shared<KVAnalysisController>(Token());
    controller->mWorkingFilePath = history->sourceFilePath();
    controller->openStores(history, forceReanalyze);
    controller->mRunner = KVAnalysisRunner::initWithEditHistory(history, controller->mAnalysisStore, parallelAnalysis);
    if (controller->mRunner) controller->mRunner->setDelegate(controller.get());
    controller->mAnalysisView = view;
    controller->mAudioEngine = output ? std::make_unique<KVAudioEngineController>(std::move(output))
                                      : KVAudioEngineController::initWithPacedFallback();
    controller->enableAudio();
    controller->startPreviewThread();
    if (view) view->setStores(controller->mAnalysisStore.get(), controller->mSelectionStore.get());
    return controller;
}

KVAnalysisController::KVAnalysisController(Token)
    : mPreview(std::make_unique<KVPreviewExchange>(mMonitor)),
      mCursorFrame(FrameRecord::create()),
      mPreviewSource(FrameRecord::create()),
      mPreviewResult(FrameRecord::create()) {}

KVAnalysisController::~KVAnalysisController() {
    stopPreviewThread();
    if (mAnalysisView) mAnalysisView->setStores(nullptr, nullptr);
    if (mAudioEngine) {
        // The audio thread must be done with the preview before it goes.
        mAudioEngine->setCallback(nullptr, nullptr);
        if (AudioEngine* engine = mAudioEngine->engine()) engine->awaitRenderCycle();
        mAudioEngine.reset();
    }
    if (mRunner) {
        mRunner->setDelegate(nullptr);
        mRunner->cancel();
    }
}

void KVAnalysisController::openStores(const std::shared_ptr<KVEditHistory>& history, bool force) {
    const std::int32_t channels = history->numberOfChannels();
    mAnalysisStore = KVAnalysisFileSet::initByOpeningFileAtPath(mWorkingFilePath, history->sampleRate(), kZeroPadding,
                                                                kFrameSize, kOverlap, channels, false, force);
    mSelectionStore = KVAnalysisFileSet::initByOpeningFileAtPath(KVAnalysisPaths::selectionFileSetPath(mWorkingFilePath),
                                                                 kWorkingSampleRate, kZeroPadding, kFrameSize,
                                                                 kOverlap, channels, true, force);
    mSelectionStore->shareStepsWith(mAnalysisStore.get());
}

// --- Settings ---

void KVAnalysisController::setSelectionMode(SelectionMode mode) {
    mSelectionMode = KVDocumentMode::selectionModeForTool(mode, mDocumentMode, mTool);
}

bool KVAnalysisController::refusedWhileProcessing() const {
    if (!isProcessing()) return false;
    Platform::shared().beep();
    return true;
}

bool KVAnalysisController::setPlayOriginal(bool on) {
    mPlayOriginal = on;
    if (mAnalysisView) {
        const FramePos cursor = mAnalysisView->editCursor();
        mAnalysisStore->setPlayPosition(cursor);
        mSelectionStore->setPlayPosition(cursor);
    }
    return false;
}

void KVAnalysisController::setRealtimePreview(bool on) {
    mRealtimePreview = on;
    mPreview->setEnabled(on);
}

namespace {

// A play source that keeps the controller whose stores it reads alive.
struct OwnedPlaySource {
    OwnedPlaySource(std::shared_ptr<KVAnalysisController> owner, KVAnalysisFileSet& analysis,
                    KVAnalysisFileSet* selection, const std::atomic<bool>& playOriginal)
        : controller(std::move(owner)), source(analysis, selection, playOriginal) {}
    std::shared_ptr<KVAnalysisController> controller;
    KVSelectionPlaySource source;
};

}  // namespace

std::shared_ptr<KVPlayFrameSource> KVAnalysisController::playSource() {
    auto owned = std::make_shared<OwnedPlaySource>(shared_from_this(), *mAnalysisStore, mSelectionStore.get(),
                                                   mPlayOriginal);
    return std::shared_ptr<KVPlayFrameSource>(owned, &owned->source);
}

// --- Gestures ---

void KVAnalysisController::selectionComplete(float x, float y, float w, float h) {
    const AnalysisTool tool = mTool;
    if (isPencil(tool) || refusedWhileProcessing()) return;
    const SelectionMode mode = mSelectionMode;
    const bool shift = mShiftMode;
    runOnMainThread("Box", [=](KVIsolationOperations& ops) { ops.boxTool(tool, mode, shift, x, y, w, h); });
}

void KVAnalysisController::dragComplete(FramePos start, FramePos end) {
    if (refusedWhileProcessing()) return;
    runOnMainThread("Ceiling", [=](KVIsolationOperations& ops) { ops.dragCeiling(start, end); });
}

void KVAnalysisController::pathComplete(const std::vector<KVPathPoint>& points) {
    if (points.size() <= 2 || refusedWhileProcessing()) return;
    const KVPencilSettings settings{.selectionMode = mSelectionMode.load(), .tool = mTool.load(),
                                    .documentMode = mDocumentMode.load(),
                                    .attackMode = mAttackMode, .snapToGrid = mSnapToGrid,
                                    .attenuateF0 = mAttenuateF0};
    if (mAnalysisView) mAnalysisView->addPath(points);
    // The view is asked for when the path is done: after shutdown there is none.
    runInNewThread([points, settings](KVIsolationOperations& ops) { ops.pencilPath(points, settings); }, "Pencil",
                   StepScope::frames, [this, points] {
                       if (mAnalysisView) mAnalysisView->removePath(points);
                   });
}

void KVAnalysisController::mouseUpdate(int, bool inStrip) {
    mPreviewRawFrame = inStrip;
    if (!mAnalysisView) return;
    const FramePos frame = mAnalysisView->frameUnderMouse();
    auto record = FrameRecord::create();
    const bool inside = frame >= 0 && frame < mAnalysisStore->frameCount() &&
                        mAnalysisStore->readFrameRecord(frame, *record, -1) == 0;
    {
        std::lock_guard<std::mutex> guard(mCursorMutex);
        if (inside)
            FrameRecord::copy(*record, *mCursorFrame);
        else
            std::memset(static_cast<void*>(mCursorFrame.get()), 0, sizeof(FrameRecord));
    }
    mAnalysisView->redraw();
}

void KVAnalysisController::copyCursorFrame(FrameRecord& into) const {
    std::lock_guard<std::mutex> guard(mCursorMutex);
    FrameRecord::copy(*mCursorFrame, into);
}

void KVAnalysisController::cursorWasMoved() {
    if (mDelegate) mDelegate->cursorWasMoved(*this);
    if (!mAnalysisView) return;
    const FramePos cursor = mAnalysisView->editCursor();
    mAnalysisStore->setPlayPosition(cursor);
    mSelectionStore->setPlayPosition(cursor);
}

void KVAnalysisController::togglePlayStop() {
    if (mDelegate) mDelegate->togglePlayStop(*this);
}

// --- Commands ---

void KVAnalysisController::isolateDeterministic() {
    if (refusedWhileProcessing()) return;
    runSeparation(false);
}

void KVAnalysisController::isolateStochastic() {
    if (refusedWhileProcessing()) return;
    runSeparation(true);
}

// The analysed audio at positions of the segment, as the runner reads it: the file around the
// segment for a segment history, else the history's own frames (silence before them).
KVMedianMask::AudioReader KVAnalysisController::segmentReader(std::shared_ptr<KVEditHistory> history) {
    return [history = std::move(history)](FramePos position, FrameCount length, float* const* buffers) {
        std::lock_guard<std::recursive_mutex> guard(history->monitor());
        const FramePos fileStart = history->segmentStart();
        if (fileStart >= 0) {
            history->readFileAt(fileStart + position, length, buffers);
            return;
        }
        const FrameCount before = std::clamp<FrameCount>(-position, 0, length);
        const std::int32_t channels = history->numberOfChannels();
        std::vector<float*> rest(static_cast<std::size_t>(channels));
        for (std::int32_t c = 0; c < channels; ++c) {
            std::fill(buffers[c], buffers[c] + before, 0.0f);
            rest[std::size_t(c)] = buffers[c] + before;
        }
        if (before < length) history->readAt(position + before, length - before, rest.data());
    };
}

void KVAnalysisController::runSeparation(bool transients) {
    const std::string step = transients ? "Keep Transients" : "Keep Sustained";
    if (mSeparation.method == SeparationMethod::Median) {
        std::shared_ptr<KVEditHistory> history = mRunner->editHistory();
        const int channels = history->numberOfChannels();
        runInNewThread(
            [transients, settings = mSeparation.median, history, channels](KVIsolationOperations& ops) {
                ops.separateByMedian(transients, settings, segmentReader(history), channels);
            },
            step, StepScope::wholeSegment);
    } else {
        runInNewThread([transients](KVIsolationOperations& ops) {
            transients ? ops.isolateStochastic() : ops.isolateDeterministic();
        }, step, StepScope::wholeSegment);
    }
}

void KVAnalysisController::fillGaps() {
    if (refusedWhileProcessing()) return;
    const int mode = int(mDocumentMode.load());
    runInNewThread([mode](KVIsolationOperations& ops) { ops.fillGaps(mode); }, "Fill Gaps", StepScope::wholeSegment);
}

void KVAnalysisController::selectAll() {
    if (refusedWhileProcessing() || !mSelectionIdle || mAnalysisStore->frameCount() == 0) return;
    mSelectionIdle = false;
    runInNewThread([](KVIsolationOperations& ops) { ops.selectAll(); }, "Select All", StepScope::wholeSegment,
                   [this] { mSelectionIdle = true; });
}

void KVAnalysisController::selectAllContinuously() {
    if (!mSelectionIdle) return;
    if (KVUtilities::paramDictForAnalysisOfFileAtPath(mWorkingFilePath).getBool(paramkeys::kAnalysisDataSelected)) return;
    mSelectionIdle = false;
    const std::string path = mWorkingFilePath;
    runInNewThread(
        [this, path](KVIsolationOperations& ops) {
            ops.selectAllContinuously([this] { return mHasFinishedProcessing.load(); }, [this] { postRelayout(); },
                                      path);
        },
        "", StepScope::frames, [this] { mSelectionIdle = true; });
}

Result KVAnalysisController::selectNone() {
    if (!mSelectionIdle || isProcessing())
        return Result::failure("Processing is in progress",
                               "Sorry but that command cannot be completed, the file is currently busy. Please try "
                               "again once all pending operations have completed");
    mSelectionIdle = false;
    mCancelProcessing = false;
    mSelectionStore->beginWholeSegmentStep("Clear Selection");
    KVIsolationOperations(*mAnalysisStore, *mSelectionStore, mCancelProcessing).clearSelection();
    mLastOperationResult = mSelectionStore->commitUndoStep();
    if (mAnalysisView) mAnalysisView->invalidateImage();
    mSelectionIdle = true;
    return mLastOperationResult;
}

void KVAnalysisController::applySelection() {
    if (refusedWhileProcessing()) return;
    runInNewThread([](KVIsolationOperations& ops) { ops.applySelection(); }, "Apply Selection",
                   StepScope::selectionAndAnalysis);
}

void KVAnalysisController::uiIsolateRepeatingPattern() { Platform::shared().beep(); }

Result KVAnalysisController::undo() {
    if (isProcessing()) return KVAnalysisFileSet::noDataToUndo();
    const Result undone = mSelectionStore->undoLastStep();
    if (mAnalysisView) mAnalysisView->invalidateImage();
    return undone;
}

Result KVAnalysisController::redo() {
    if (isProcessing()) return KVAnalysisFileSet::noDataToRedo();
    const Result redone = mSelectionStore->redoLastStep();
    if (mAnalysisView) mAnalysisView->invalidateImage();
    return redone;
}

bool KVAnalysisController::canUndo() const { return !isProcessing() && mSelectionStore->canUndo(); }

bool KVAnalysisController::canRedo() const { return !isProcessing() && mSelectionStore->canRedo(); }

// The view goes with its window, while a running operation may keep the controller a while
// longer: from here on the controller does not touch the view.
void KVAnalysisController::shutdown() {
    stopPreviewThread();
    if (mRunner) mRunner->cancel();
    if (mAnalysisView) mAnalysisView->setStores(nullptr, nullptr);
    mAnalysisView = nullptr;
}

void KVAnalysisController::enableAudio() {
    mAudioEngine->setCallback(&KVPreviewExchange::render, mPreview.get());
}

void KVAnalysisController::disableAudio() {
    mAudioEngine->setCallback(&KVPreviewExchange::renderSilence, mPreview.get());
}

void KVAnalysisController::setPlayCursor(FramePos sample) {
    if (mAnalysisView) mAnalysisView->setPlayCursor(sample);
}

FramePos KVAnalysisController::playCursor() const { return mAnalysisView ? mAnalysisView->playCursor() : 0; }

void KVAnalysisController::scrollToPlayCursor() {
    if (mAnalysisView) mAnalysisView->scrollToPlayCursor();
}

// --- Operation protocol ---

void KVAnalysisController::runOnMainThread(const std::string& step, const Operation& op) {
    disableAudio();
    mSelectionStore->beginUndoStep(step);
    KVIsolationOperations ops(*mAnalysisStore, *mSelectionStore, mCancelProcessing);
    op(ops);
    mLastOperationResult = mSelectionStore->commitUndoStep();
    if (mLastOperationResult) KVUtilities::playFinishedSound();
    if (mAnalysisView) mAnalysisView->invalidateImage();
    enableAudio();
}

// The worker hands its reference to the posted finishing call, so the controller is released
// on the main thread and never by a worker. The undo step is committed and the operation counted
// out before the delegate hears of the end, so that what it asks then (canUndo, isProcessing)
// is already the answer after the operation.
void KVAnalysisController::runInNewThread(Operation op, const std::string& step, StepScope scope,
                                         std::function<void()> afterwards) {
    const bool withUndo = !step.empty();
    disableAudio();
    if (withUndo && scope == StepScope::selectionAndAnalysis)
        mSelectionStore->beginApplyStep(step);
    else if (withUndo && scope == StepScope::wholeSegment)
        mSelectionStore->beginWholeSegmentStep(step);
    else if (withUndo)
        mSelectionStore->beginUndoStep(step);
    ++mRunningOperations;
    std::thread([self = shared_from_this(), op = std::move(op), withUndo, afterwards = std::move(afterwards)]() mutable {
        {
            KVIsolationOperations ops(*self->mAnalysisStore, *self->mSelectionStore, self->mCancelProcessing);
            std::weak_ptr<KVAnalysisController> weak = self;
            ops.setProgressHandler([weak](int percent) {
                if (auto controller = weak.lock()) controller->postProgress(percent);
            });
            op(ops);
        }
        Platform::shared().postToMainThread(
            [self = std::move(self), withUndo, afterwards = std::move(afterwards)] {
                if (afterwards) afterwards();
                // An analysis record that did not match its checksum fails the step, which
                // then puts the selection back as it was.
                if (const Result read = self->mAnalysisStore->writeFailure(); StoreFailures::isDamage(read))
                    self->mSelectionStore->recordFailure(read);
                // An operation without a step of its own opens its steps itself; the store keeps
                // their first failure.
                const Result result =
                    withUndo ? self->mSelectionStore->commitUndoStep() : self->mSelectionStore->writeFailure();
                --self->mRunningOperations;
                self->finishOperation(result);
            },
            false);
    }).detach();
}

// A failed operation ends without the finishing chime; its write failure was alerted when it
// happened, and a step that could not be taken back says so too.
void KVAnalysisController::finishOperation(const Result& result) {
    mLastOperationResult = result;
    if (mDelegate) mDelegate->setProgressValue(-1);
    if (result)
        KVUtilities::playFinishedSound();
    else if (result.text() != mSelectionStore->writeFailure().text())
        FailureChannel::report(result);
    if (mAnalysisView) mAnalysisView->invalidateImage();
    enableAudio();
    mCancelProcessing = false;
}

void KVAnalysisController::postProgress(int percent) {
    Platform::shared().postToMainThread(
        [weak = weak_from_this(), percent] {
            auto controller = weak.lock();
            if (controller && controller->mDelegate) controller->mDelegate->setProgressValue(percent);
        },
        false);
}

void KVAnalysisController::postRelayout() {
    Platform::shared().postToMainThread(
        [weak = weak_from_this()] {
            auto controller = weak.lock();
            if (controller && controller->mAnalysisView) controller->mAnalysisView->relayout();
        },
        false);
}

// --- Runner notifications ---

void KVAnalysisController::analysisRunnerDidProgress(KVAnalysisRunner& runner) {
    if (!mAnalysisView) return;
    mAnalysisView->relayout();
    char message[64];
    std::snprintf(message, sizeof message, "Processing... %d %% done", static_cast<int>(runner.progress()));
    mAnalysisView->setStatusMessage(message);
}

void KVAnalysisController::analysisRunnerDidFinish(KVAnalysisRunner& runner) {
    mHasFinishedProcessing = true;
    if (!mAnalysisView) return;
    mAnalysisView->relayout();
    // A cancelled analysis holds the frames up to where it stopped; the next Analyze starts over.
    mAnalysisView->setStatusMessage(runner.wasCancelled() ? "Analysis cancelled: Analyze Segment analyses it again"
                                        : "");
}

// --- Preview thread ---

void KVAnalysisController::startPreviewThread() {
    mStopPreviewThread = false;
    mPreviewThread = std::thread([this] {
        Platform::shared().setCurrentThreadPriority(kPreviewThreadPriority);
        previewLoop();
    });
}

// The thread waits on mPreviewWake between periods, so it sees the stop at once.
void KVAnalysisController::stopPreviewThread() {
    {
        std::lock_guard<std::mutex> guard(mPreviewWakeMutex);
        mStopPreviewThread = true;
    }
    mPreviewWake.notify_all();
    if (mPreviewThread.joinable()) mPreviewThread.join();
}

bool KVAnalysisController::awaitPreviewPeriod() {
    std::unique_lock<std::mutex> lock(mPreviewWakeMutex);
    return !mPreviewWake.wait_for(lock, kPreviewPeriod, [this] { return mStopPreviewThread.load(); });
}

void KVAnalysisController::previewLoop() {
    while (awaitPreviewPeriod()) {
        if (!mAnalysisView) continue;
        std::lock_guard<std::recursive_mutex> viewGuard(mAnalysisView->monitor());
        if (mAnalysisView->isDrawing() || !mAnalysisView->isFirstResponder()) {
            mPreview->clearSlots();
            continue;
        }
        if (mPreview->frameRequested()) preparePreviewFrame();
    }
}

// Preview thread, under the view's lock: the raw cursor frame in the level strip, else the
// harmonics of the pitch under the mouse.
void KVAnalysisController::preparePreviewFrame() {
    copyCursorFrame(*mPreviewSource);
    if (mPreviewRawFrame) {
        mPreview->offerFrame(mPreviewSource.get());
        return;
    }
    const float pitch = mAnalysisView->pitchUnderMouse();
    mPreviewPitch = pitch;
    const bool made = KVPreviewExchange::harmonicPreview(*mPreviewSource, static_cast<float>(hertzOfPitch(pitch)), int(mTool.load()),
                                                         mSnapToGrid, *mPreviewResult);
    mPreview->offerFrame(made ? mPreviewResult.get() : nullptr);
}

}  // namespace orvex
