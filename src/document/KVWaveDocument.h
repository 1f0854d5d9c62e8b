#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "common/Result.h"
#include "common/Types.h"
#include "control/KVOutputViewInterface.h"
#include "control/KVOwnedMetadataChunks.h"
#include "control/KVSegmentViewInterface.h"
#include "document/EditorCommands.h"
#include "document/KVDocumentWindow.h"
#include "document/KVExportJob.h"
#include "document/KVExportReport.h"
#include "document/KVWorkingFile.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVExportWriter.h"
#include "platform/FailureChannel.h"
#include "playback/AudioOutputBackend.h"
#include "playback/KVPlaybackSources.h"

namespace orvex {

class KVAudioEngineController;
class KVDocumentPlayback;
class KVEditHistory;
class KVOutputController;
class KVSegmentController;
class KVFolderLock;

// How a document is set up beyond its window.
struct KVDocumentOptions {
    bool highQualityDrawing = true;
    // The converted copy beside a source is deleted when the document goes (orvex-cli keeps it
    // for its next run). A copy another open document uses is kept regardless.
    bool deleteConvertedCopyOnClose = true;
    // A document set up for Modify selects everything as the analysis arrives (orvex-cli leaves
    // the selection to its commands).
    bool selectEverythingInModify = true;
    // The audio outputs of the document and of its analysis controllers; null: the sound card,
    // or a silent output paced in real time when there is none.
    std::function<std::unique_ptr<AudioOutputBackend>()> makeOutput;
};

// One opened sound file: its working file, edit histories, the segment, analysis and output
// controllers, the document playback and the mode, with the window's commands and their rules.
// Failures are shown as alerts through Platform (with a beep where the rules say so) and also
// returned as values, so a caller without alerts can tell them. While a document is open it
// also shows the failures the store and the engine report through the FailureChannel.
// Threads: main thread only, like its window. Workers (analysis, operations, exports, overview
// builders, prefill) report through posted calls; the destructor stops them by signalling and
// joining, never by waiting for a worker that waits for the main thread.
class KVWaveDocument : public KVAnalysisControllerDelegate,
                       public KVSegmentControllerDelegate,
                       public KVOutputControllerDelegate,
                       public KVPlaybackDelegate {
public:
    // window may be null (no views, no state shown); otherwise it must outlive the document.
    explicit KVWaveDocument(KVDocumentWindow* window, KVDocumentOptions options = {});
    ~KVWaveDocument() override;
    KVWaveDocument(const KVWaveDocument&) = delete;
    KVWaveDocument& operator=(const KVWaveDocument&) = delete;

    // Makes the document ready for work on the sound file at source: its working file (a copy
    // converted to 44 100 Hz when needed), the edit history, the analysis folder beside it, the
    // controllers, the initial command states and the mode (asked the first time a file is seen).
    Result openFileAtPath(const std::string& source);

    // --- State ---
    const std::string& sourcePath() const { return mSourcePath; }
    const std::string& workingFilePath() const { return mWorkingFilePath; }
    // The converted copy in use, empty when the source is its own working file.
    const std::string& convertedCopyPath() const { return mWorkingFile.temporaryOutFilePath(); }
    // Whether this document made the analysis folder (it did not exist before opening).
    bool createdAnalysisFolder() const { return mCreatedAnalysisFolder; }
    std::int32_t channels() const;
    FrameCount frames() const;
    DocumentMode documentMode() const { return mState.mode; }
    const KVDocumentCommandState& commandState() const { return mState; }
    PlaySource selectedTab() const { return mPlaySource; }
    FramePos segmentStart() const { return mSegmentStart; }
    FramePos segmentEnd() const { return mSegmentEnd; }
    KVAnalysisController* analysisController() const { return mAnalysisController.get(); }
    KVSegmentController* segmentController() const { return mSegmentController.get(); }
    // The master output; a document whose window shows no output view opens it on first use.
    KVOutputController* outputController();
    const KVOwnedMetadataChunks& metadataChunks() const { return mMetadataChunks; }
    // An operation, the analysis of the segment or an export runs: commands are refused.
    bool isBusy() const;

    // --- Analysis ---
    // Analyses start..end of the working file (Option held: anew even when stored).
    Result analyzeSegment(FramePos start, FramePos end, bool optionHeld);
    // The window's Analyze: the edit of the analysis being replaced goes into the master first,
    // and when it cannot be stored there nothing is analysed (the edit is kept, the reason shown).
    Result commitThenAnalyzeSegment(FramePos start, FramePos end, bool optionHeld);
    bool isAnalysisRunning() const;
    // Escape in the window: a running analysis stops at its next block (false when none runs).
    bool cancelAnalysis();

    // --- Commands (main thread) ---
    // Each returns success when it ran (or, for a command that runs on a worker, started), or
    // the reason it did not: refused with a beep while another operation runs (busy()), no
    // analysis to work on (noAnalysis()), or a confirmation the user declined (declined()).
    // A command of the command table whose scope is the document (EditorCommands); a failure
    // for any other.
    Result perform(EditorCommand command);
    Result isolateDeterministic();
    Result isolateStochastic();
    Result fillGaps();
    Result isolateRepeatingPattern();
    // Tab 0: the whole working file in the input view; tab 1: the whole segment after the
    // confirmation; tab 2 (or no analysis): a beep.
    Result selectAll();
    Result selectNone();
    Result applySelection();
    void cancelProcessing();
    // Undoes or redoes one step of the selection's history; a refusal is shown (with a beep).
    Result undo();
    Result redo();
    // Undoes or redoes steps until position steps of the history are done (0: before any).
    Result walkHistoryTo(std::size_t position);
    bool canUndo() const;
    bool canRedo() const;
    // What the command table's enabling rules read of this document.
    CommandContext commandContext() const;
    // Any command of the analysis controller (a gesture of the CLI), under the busy rule.
    Result runOnController(const std::function<void(KVAnalysisController&)>& command);
    // A whole-segment edit (SegmentEdits) under its progress sheet.
    Result runSegmentEdit(EditorCommand command);
    // The reasons a command did not run.
    static Result busy();
    static Result noAnalysis();
    static Result declined(const std::string& question);
    // The master output could not be opened (the output tab's commands).
    Result noMaster() const;

    // --- Tools and switches ---
    void setTool(AnalysisTool tool);
    void setSnapToGrid(bool on);
    void setAttenuateF0(bool on);
    void setAttackMode(bool on);
    void setShowOriginal(bool on);
    void setRealtimePreview(bool on);
    // Applies a mode (the mode table) and records it in the parameter dictionary.
    void setDocumentMode(DocumentMode mode);
    void setPlaybackVolumeDecibels(double decibels);
    void setModificationGainDecibels(double decibels);
    // The method keep sustained and keep transients use, for this and every later analysis.
    void setSeparation(const KVSeparationSettings& settings);
    const KVSeparationSettings& separation() const { return mSeparation; }
    // The limits of the selection's undo history: levels, and the share of the disk's room.
    void setHistoryLimits(std::size_t levels, double diskShare);
    double modificationGain() const { return mModificationGain; }

    // --- Tabs and transport ---
    // The tab the window now shows: commits the edit when leaving for tab 0 or 2.
    void tabDidChange(PlaySource tab);
    bool play();
    bool playOriginal();
    void togglePlayStop();
    void stop();
    void forward();
    void rewind();
    void toggleLoop();
    // Moves the play position (and, on the output tab, the master's play stream with it).
    void setPlayPosition(FramePos frame);
    FramePos playPosition() const;
    // Tells the controllers' play cursors where playback is, if it moved since last told (the
    // window's cursor timer).
    void deliverPlayPosition();
    bool isPlaying() const;

    // --- Master and exports ---
    // Writes the rendered selection into the master at the segment's position; the grains written.
    // A commit that cannot be stored whole leaves the master as it was (0, alerted).
    FrameCount commitEditToMaster();
    // Success, or why the last commit left the master as it was.
    const Result& lastCommitResult() const { return mLastCommitResult; }
    // Starts the segment export on a worker; the window hears its end (exportFinished).
    Result exportCurrentSegment(const std::string& path);
    // Starts the export of the segment's stems over the whole working file on a worker, to
    // output's stem names (KVStemsExporter::pathsFor); the window hears its end.
    Result exportStems(const std::string& output);
    // The segment export or the stems export runs.
    bool isExportingSegment() const;
    // How the last segment or stems export ended, once its finishing step has run.
    const KVExportReport& lastExport() const { return mLastExport; }
    Result exportMaster(const std::string& path);
    Result resetMasterFile();

    // --- Status texts ---
    // "%4.2f GB" free on the working file's volume, "-- GB" without a working file or when the
    // free space cannot be told; also shown in the window.
    std::string updateDiskSpace();
    static std::string freeSpaceText(std::int64_t freeBytes);

    // Leaves the working copy in place when the document goes (another document uses it).
    void keepConvertedCopy() { mKeepConvertedCopy = true; }

    // --- Delegates of the controllers and the playback (main thread) ---
    void setProgressValue(int percent) override;
    void cursorWasMoved(KVAnalysisController& controller) override;
    void togglePlayStop(KVAnalysisController& controller) override;
    void cursorWasMoved(KVSegmentController& controller) override;
    void togglePlayStop(KVSegmentController& controller) override;
    void cursorWasMoved(KVOutputController& controller) override;
    void togglePlayStop(KVOutputController& controller) override;
    void exportFinished(KVOutputController& controller, const Result& result) override;
    void stopped() override;
    void playPositionChanged(FramePos frame) override;

private:
    Result walkHistory(bool forward);
    std::string historyNote() const;
    Result openEditHistory();
    Result prepareAnalysisFolder();
    Result lockAnalysisFolder(const std::string& folder);
    void createControllers();
    void applyInitialStates();
    void setUpMode();
    void applyModeToController();
    void publishState();
    void commitWhileAnalysisTabHidden();
    bool refusedWhileBusy();
    bool confirm(const std::string& title, const std::string& message, const std::string& proceed);
    Result runProcessing(const char* text, const std::function<void(KVAnalysisController&)>& command);
    FramePos startPositionForTab() const;
    void updatePlayRanges();
    std::unique_ptr<AudioOutputBackend> newOutput() const;
    Result startExport(const char* text, KVExportJob::Work work);
    void finishExport(const KVExportReport& report);
    FrameCount segmentFramesInFile() const;
    void shutDownAnalysis();
    static Result showFailure(const Result& failure, bool beep);

    FailureChannel::Listening mFailureAlerts;
    // A whole-segment command started by runProcessing() has not ended yet.
    bool mEditRunning = false;
    KVDocumentWindow* mWindow;
    const KVDocumentOptions mOptions;
    std::string mSourcePath;
    std::string mWorkingFilePath;
    KVWorkingFile mWorkingFile;
    bool mCreatedAnalysisFolder = false;
    // Held while the document is open: one writer per analysis folder.
    std::unique_ptr<KVFolderLock> mFolderLock;
    bool mKeepConvertedCopy = false;
    std::shared_ptr<KVEditHistory> mEditHistory;
    std::shared_ptr<KVEditHistory> mOutputEditHistory;
    KVOwnedMetadataChunks mMetadataChunks;
    mutable std::recursive_mutex mMonitor;
    std::unique_ptr<KVAudioEngineController> mAudioEngine;
    std::unique_ptr<KVDocumentPlayback> mPlayback;
    std::unique_ptr<KVSegmentController> mSegmentController;
    std::unique_ptr<KVOutputController> mOutputController;
    std::shared_ptr<KVAnalysisController> mAnalysisController;
    std::unique_ptr<KVExportJob> mExportJob;
    KVExportReport mLastExport;
    Result mLastCommitResult = Result::success();
    KVDocumentCommandState mState;
    KVSeparationSettings mSeparation;
    std::size_t mHistoryLevels = 20;
    double mHistoryShare = 0.2;
    PlaySource mPlaySource = PlaySource::Input;
    FramePos mSegmentStart = 0;
    FramePos mSegmentEnd = 0;
    double mModificationGain = 1.0;
    int mProgressShown = -1;
};

}  // namespace orvex
