#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/Result.h"
#include "common/Types.h"
#include "playback/AudioOutputBackend.h"
#include "playback/KVPlaybackSources.h"
#include "engine/KVAnalysisRunner.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVToolKinds.h"
#include "engine/KVIsolationOperations.h"
#include "engine/KVSeparationSettings.h"

namespace orvex {

class KVAnalysisController;
class KVAnalysisFileSet;
class KVAnalysisViewInterface;
class KVAudioEngineController;
class KVEditHistory;
class KVPreviewExchange;
struct FrameRecord;

// What the controller tells its document; every call on the main thread. The defaults ignore it.
class KVAnalysisControllerDelegate {
public:
    virtual ~KVAnalysisControllerDelegate() = default;
    // Percent of the running operation; -1 ends the progress display.
    virtual void setProgressValue(int percent) { (void)percent; }
    virtual void cursorWasMoved(KVAnalysisController& controller) { (void)controller; }
    virtual void togglePlayStop(KVAnalysisController& controller) { (void)controller; }
};

// Owns one analysed segment: the analysis store that its runner fills, the selection store that
// the isolation operations write (with undo), the tool state, the real-time preview of the frame
// under the mouse (preview thread + own audio output) and the worker threads of the operations.
// Threads: everything public runs on the main thread. The preview thread and the operation
// workers read the flags and settings, which are atomics; worker results reach the main thread
// by posted calls, which keep the controller alive until they have run.
class KVAnalysisController : public KVAnalysisRunnerDelegate,
                             public std::enable_shared_from_this<KVAnalysisController> {
public:
    static constexpr std::int64_t kZeroPadding = kAnalysisZeroPadding;
    static constexpr std::int64_t kFrameSize = kAnalysisFrameSize;
    static constexpr std::int64_t kOverlap = 32;

    // Null without a history. Opens (force: re-creates) the analysis store and the selection
    // store, starts the runner and the preview thread. output null: the sound card, or a paced
    // silent output. parallelAnalysis false: the runner feeds every processor itself.
    static std::shared_ptr<KVAnalysisController> initWithEditHistory(std::shared_ptr<KVEditHistory> history,
                                                                     KVAnalysisViewInterface* view,
                                                                     bool forceReanalyze,
                                                                     std::unique_ptr<AudioOutputBackend> output = nullptr,
                                                                     bool parallelAnalysis = true);
    ~KVAnalysisController() override;
    KVAnalysisController(const KVAnalysisController&) = delete;
    KVAnalysisController& operator=(const KVAnalysisController&) = delete;

    void setDelegate(KVAnalysisControllerDelegate* delegate) { mDelegate = delegate; }

    // --- Settings ---
    void setTool(AnalysisTool tool) { mTool = tool; }
    // In Modify mode a pencil stores the opposite mode, so it subtracts unless Option is held;
    // otherwise the value is stored as it is.
    void setSelectionMode(SelectionMode mode);
    void setDocumentMode(DocumentMode mode) { mDocumentMode = mode; }
    void setAttackMode(bool on) { mAttackMode = on; }
    // The method (and its settings) keep sustained and keep transients use from now on.
    void setSeparation(const KVSeparationSettings& settings) { mSeparation = settings; }
    const KVSeparationSettings& separation() const { return mSeparation; }
    void setSnapToGrid(bool on) { mSnapToGrid = on; }
    void setAttenuateF0(bool on) { mAttenuateF0 = on; }
    void setShowOriginal(bool on) { mShowOriginal = on; }
    // Also moves both stores' play position to the view's edit cursor. False.
    bool setPlayOriginal(bool on);
    void setRealtimePreview(bool on);
    void setShiftMode(bool on) { mShiftMode = on; }
    AnalysisTool tool() const { return mTool; }
    SelectionMode selectionMode() const { return mSelectionMode; }
    DocumentMode documentMode() const { return mDocumentMode; }
    bool snapToGrid() const { return mSnapToGrid; }
    bool showOriginal() const { return mShowOriginal; }

    // --- Gestures of the view ---
    // The box operation of the current tool (3..8) over frames x .. x+w and pitches y .. y+h.
    void selectionComplete(float x, float y, float w, float h);
    void dragComplete(FramePos start, FramePos end);
    // With more than 2 points: the harmonic selection along the path on a worker.
    void pathComplete(const std::vector<KVPathPoint>& points);
    // Takes the mix record of the frame under the mouse for the preview; inStrip previews it raw.
    void mouseUpdate(int action, bool inStrip);
    void cursorWasMoved();
    void togglePlayStop();

    // --- Commands of the document (each refused with a beep while an operation runs) ---
    void isolateDeterministic();
    void isolateStochastic();
    void fillGaps();
    void selectAll();
    void selectAllContinuously();
    // Refused while a select-all copies: the failure "Processing is in progress", for the
    // caller to show.
    Result selectNone();
    void applySelection();
    void uiIsolateRepeatingPattern();
    void cancelProcessing() { mCancelProcessing = true; }
    // Undoes the last step of the selection; the failure "No data to undo" when there is none
    // or an operation runs (the caller shows it, with a beep).
    Result undo();
    // Redoes the step undone last; the failure "No data to redo" when there is none or an
    // operation runs.
    Result redo();
    // Whether the selection's history holds a step to undo, or one to redo.
    bool canUndo() const;
    bool canRedo() const;
    // How the last finished operation ended: success, or the failure of a selection write (its
    // step then taken back, KVAnalysisFileSet::commitUndoStep). Main thread.
    const Result& lastOperationResult() const { return mLastOperationResult; }
    // Stops the preview thread and cancels the runner; the document releases the controller next.
    void shutdown();
    void enableAudio();
    void disableAudio();
    void setPlayCursor(FramePos sample);
    FramePos playCursor() const;
    void scrollToPlayCursor();

    // --- State ---
    KVAnalysisFileSet& store() const { return *mSelectionStore; }
    KVAnalysisFileSet& analysisStore() const { return *mAnalysisStore; }
    const std::shared_ptr<KVAnalysisRunner>& runner() const { return mRunner; }
    KVAudioEngineController& audioEngine() const { return *mAudioEngine; }
    KVPreviewExchange& preview() const { return *mPreview; }
    // What the document plays in the analysis tab: the selection's rendered audio, or the
    // analysis's while "play original" is on. The source keeps the controller alive; it is
    // read on the audio thread under the document's monitor (see KVSelectionPlaySource).
    std::shared_ptr<KVPlayFrameSource> playSource();
    // A copy of the record under the mouse.
    void copyCursorFrame(FrameRecord& into) const;
    float previewPitch() const { return mPreviewPitch; }
    bool hasFinishedProcessing() const { return mHasFinishedProcessing; }
    bool selectionIdle() const { return mSelectionIdle; }
    // True from the start of a worker operation until its finishing step has run.
    bool isProcessing() const { return mRunningOperations.load() > 0; }
    std::recursive_mutex& monitor() const { return mMonitor; }

    // --- Runner notifications ---
    void analysisRunnerDidProgress(KVAnalysisRunner& runner) override;
    void analysisRunnerDidFinish(KVAnalysisRunner& runner) override;

    struct Token {
        explicit Token() = default;
    };
    explicit KVAnalysisController(Token);

private:
    using Operation = std::function<void(KVIsolationOperations&)>;
    // What an operation's undo step keeps: copies of the frames it writes, or (for one that
    // rewrites the whole segment) the selection's files themselves.
    // What a step's undo keeps: copies of the frames it writes, the selection's files, or the
    // selection's and the analysis' files (Apply Selection).
    enum class StepScope { frames, wholeSegment, selectionAndAnalysis };

    void openStores(const std::shared_ptr<KVEditHistory>& history, bool force);
    void startPreviewThread();
    void stopPreviewThread();
    void previewLoop();
    // Waits one preview period; false once the thread is to stop.
    bool awaitPreviewPeriod();
    void preparePreviewFrame();
    // Main-thread operations: audio off, one undo step named step around op, then the
    // finishing chime, redraw and audio on.
    void runOnMainThread(const std::string& step, const Operation& op);
    // Keep sustained or keep transients by the chosen method, as one undoable operation.
    void runSeparation(bool transients);
    static KVMedianMask::AudioReader segmentReader(std::shared_ptr<KVEditHistory> history);
    // Worker operations: audio off, the undo step named step begun here (none when step is
    // empty), op on a new thread, then the finishing step and the commit posted to the main thread.
    void runInNewThread(Operation op, const std::string& step, StepScope scope = StepScope::frames,
                        std::function<void()> afterwards = {});
    void finishOperation(const Result& result);
    // While an operation runs every other one is refused with a beep: two operations never
    // write the selection store at once nor nest undo steps.
    bool refusedWhileProcessing() const;
    void postProgress(int percent);
    void postRelayout();

    mutable std::recursive_mutex mMonitor;
    std::unique_ptr<KVAudioEngineController> mAudioEngine;
    std::unique_ptr<KVPreviewExchange> mPreview;
    mutable std::mutex mCursorMutex;  // mCursorFrame: main thread writes, preview thread reads
    std::unique_ptr<FrameRecord> mCursorFrame;
    std::unique_ptr<FrameRecord> mPreviewSource;  // preview thread only
    std::unique_ptr<FrameRecord> mPreviewResult;  // preview thread only
    std::shared_ptr<KVAnalysisFileSet> mAnalysisStore;
    KVAnalysisViewInterface* mAnalysisView = nullptr;
    std::shared_ptr<KVAnalysisRunner> mRunner;
    std::atomic<bool> mAttackMode{false};
    KVSeparationSettings mSeparation;  // main thread; each command takes a copy
    std::atomic<bool> mSnapToGrid{false};
    std::atomic<bool> mAttenuateF0{false};
    std::atomic<bool> mShowOriginal{false};
    std::atomic<bool> mRealtimePreview{false};
    std::atomic<SelectionMode> mSelectionMode{SelectionMode::Add};
    std::atomic<AnalysisTool> mTool{AnalysisTool::multiPencil};
    std::atomic<bool> mPreviewRawFrame{false};
    std::atomic<float> mPreviewPitch{-1.0f};
    std::atomic<bool> mCancelProcessing{false};
    std::atomic<bool> mHasFinishedProcessing{false};
    std::shared_ptr<KVAnalysisFileSet> mSelectionStore;
    std::atomic<bool> mStopPreviewThread{false};
    std::mutex mPreviewWakeMutex;
    std::condition_variable mPreviewWake;
    std::atomic<bool> mSelectionIdle{true};
    std::atomic<bool> mShiftMode{false};
    std::atomic<bool> mPlayOriginal{false};
    std::atomic<DocumentMode> mDocumentMode{DocumentMode::Modify};
    KVAnalysisControllerDelegate* mDelegate = nullptr;
    std::string mWorkingFilePath;
    std::thread mPreviewThread;
    std::atomic<int> mRunningOperations{0};
    Result mLastOperationResult = Result::success();  // main thread
};

}  // namespace orvex
