#include "document/KVWaveDocument.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "control/KVOutputController.h"
#include "control/KVSegmentController.h"
#include "document/KVHistoryPlayStep.h"
#include "document/SegmentEdits.h"
#include "document/WorkingCopyOwner.h"
#include "engine/KVAnalyseCommand.h"
#include "engine/KVAnalysisRunner.h"
#include "engine/KVAnalysisViewInterface.h"
#include "engine/KVMasterCommit.h"
#include "history/KVEditHistory.h"
#include "platform/Platform.h"
#include "playback/KVAudioEngineController.h"
#include "playback/KVDocumentPlayback.h"
#include "store/KVAnalysisFileSet.h"
#include "utilities/KVFolderLock.h"
#include "utilities/KVOutputTarget.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {

namespace fs = std::filesystem;

const char* const kNoWriteAccessMessage =
    "The path where the sound file is located appears to be write protected, which means that analysis "
    "information cannot be stored with the file. Please move the file to another path or disable write protection "
    "for this location.";

// The "bext", "mext" and "iXML" chunks of a sound file, copied out of the reader.
KVOwnedMetadataChunks chunksOfFile(const std::string& path, std::int32_t channels) {
    auto reader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, channels);
    if (!reader) return {};
    return KVOwnedMetadataChunks::ofReader(*reader);
}

double linearGain(double decibels) { return std::pow(10.0, decibels * 0.05); }

}  // namespace

KVWaveDocument::KVWaveDocument(KVDocumentWindow* window, KVDocumentOptions options)
    : mFailureAlerts([](const Result& failure) { showFailure(failure, false); }),
      mWindow(window),
      mOptions(std::move(options)),
      mPlayback(std::make_unique<KVDocumentPlayback>(mMonitor, this)) {}

KVWaveDocument::~KVWaveDocument() {
    mExportJob.reset();
    mPlayback->stopPlayback();
    shutDownAnalysis();
    mPlayback.reset();
    mAudioEngine.reset();
    mSegmentController.reset();
    mOutputController.reset();
    mOutputEditHistory.reset();
    mEditHistory.reset();
    if (mOptions.deleteConvertedCopyOnClose && !mKeepConvertedCopy) mWorkingFile.removeTemporaryOutFile();
}

// Detaches the controller and stops its threads. Its operation workers hold their own
// references and release them from posted calls; nothing here waits for them.
void KVWaveDocument::shutDownAnalysis() {
    if (!mAnalysisController) return;
    mPlayback->setAnalysisSource(nullptr);
    mAnalysisController->setDelegate(nullptr);
    mAnalysisController->shutdown();
    mAnalysisController.reset();
}

Result KVWaveDocument::showFailure(const Result& failure, bool beep) {
    if (beep) Platform::shared().beep();
    Platform::shared().runAlert(failure.title(), failure.message(), {"Okay"});
    return failure;
}

// --- Opening ---

Result KVWaveDocument::openFileAtPath(const std::string& source) {
    const auto working = mWorkingFile.workingFileForPath(source);
    if (!working) return mWorkingFile.failure();
    mWorkingFilePath = *working;
    if (Result opened = openEditHistory(); !opened) return opened;
    if (Result folder = prepareAnalysisFolder(); !folder) return folder;
    if (!convertedCopyPath().empty()) WorkingCopyOwner::recordInAnalysisFolder(mWorkingFilePath, source);
    mSourcePath = source;
    Platform::shared().addRecentDocument(source);
    mMetadataChunks = chunksOfFile(mEditHistory->sourceFilePath(), mEditHistory->numberOfChannels());
    createControllers();
    if (mWindow) mWindow->setTitle(fs::path(mWorkingFilePath).stem().string());
    applyInitialStates();
    setUpMode();
    updateDiskSpace();
    return Result::success();
}

Result KVWaveDocument::openEditHistory() {
    mEditHistory = KVEditHistory::initWithContentsOfFile(mWorkingFilePath, kWorkingSampleRate, false);
    if (mEditHistory) {
        mPlayback->setEditStep(std::make_shared<KVHistoryPlayStep>(mEditHistory));
        return Result::success();
    }
    return showFailure(KVWorkingFile::unreadableFailure(mWorkingFilePath), true);
}

// The analysis folder beside the working file: an existing one must be writable (2), a missing
// one is made with its parents (1).
Result KVWaveDocument::prepareAnalysisFolder() {
    const std::string folder = KVUtilities::analysisFolderPathOfFileAtPath(mWorkingFilePath);
    std::error_code error;
    const bool exists = fs::exists(folder, error);
    const char* title = nullptr;
    if (exists && ::access(folder.c_str(), W_OK | X_OK) != 0) title = "No write access to destination (2)";
    if (!exists && !fs::create_directories(folder, error)) title = "No write access to destination (1)";
    if (!title) {
        mCreatedAnalysisFolder = !exists;
        return lockAnalysisFolder(folder);
    }
    Platform::shared().beep();
    Platform::shared().runAlert(title, kNoWriteAccessMessage, {"Ok"});
    return Result::failure(title, kNoWriteAccessMessage);
}

// A second writer (another document, another orvex-cli) on the same folder is refused.
Result KVWaveDocument::lockAnalysisFolder(const std::string& folder) {
    auto locked = KVFolderLock::acquire(folder, KVFolderLock::Mode::Exclusive);
    if (locked.lock) {
        mFolderLock = std::move(locked.lock);
        // Temporary files of writers killed midway; no live writer can hold one now.
        KVOutputTarget::removeStalePartialsBelow(folder);
        return Result::success();
    }
    const std::string title = locked.inUse ? "Analysis in use" : "No write access to destination (3)";
    Platform::shared().beep();
    Platform::shared().runAlert(title, locked.message, {"Ok"});
    return Result::failure(title, locked.message);
}

void KVWaveDocument::createControllers() {
    KVSegmentViewInterface* segmentView = mWindow ? mWindow->segmentView() : nullptr;
    if (segmentView) {
        mSegmentController = KVSegmentController::initWithEditHistory(mEditHistory, segmentView,
                                                                      mOptions.highQualityDrawing);
        if (mSegmentController) mSegmentController->setDelegate(this);
    }
    if (mWindow && mWindow->outputView()) outputController();
}

KVOutputController* KVWaveDocument::outputController() {
    if (mOutputController || mWorkingFilePath.empty()) return mOutputController.get();
    mOutputController = KVOutputController::initWithView(mWindow ? mWindow->outputView() : nullptr, mWorkingFilePath,
                                                         mOptions.highQualityDrawing);
    if (mOutputController) {
        if (const Result& damage = mOutputController->masterDamage(); !damage) showFailure(damage, false);
        mOutputController->setDelegate(this);
        mPlayback->setOutputSource(std::shared_ptr<KVPlayFrameSource>(mOutputController.get(), [](auto*) {}));
    }
    return mOutputController.get();
}

void KVWaveDocument::applyInitialStates() {
    mState.tool = AnalysisTool::multiPencil;
    publishState();
}

// The stored mode, or the window's choice the first time; recorded either way.
void KVWaveDocument::setUpMode() {
    const auto stored = KVDocumentMode::storedMode(mWorkingFilePath);
    const DocumentMode mode = stored ? *stored : (mWindow ? mWindow->askForInitialMode() : DocumentMode::Modify);
    setDocumentMode(mode);
}

std::int32_t KVWaveDocument::channels() const { return mEditHistory ? mEditHistory->numberOfChannels() : 0; }

FrameCount KVWaveDocument::frames() const { return mEditHistory ? mEditHistory->numberOfFrames() : 0; }

// --- Analysis ---

Result KVWaveDocument::commitThenAnalyzeSegment(FramePos start, FramePos end, bool optionHeld) {
    if (mAnalysisController && outputController() && !isBusy()) {
        commitEditToMaster();
        // A write failure was alerted by the commit itself; a master refused as damaged was not.
        if (!mLastCommitResult)
            return mLastCommitResult.text() == outputController()->masterDamage().text()
                       ? showFailure(mLastCommitResult, true)
                       : mLastCommitResult;
    }
    return analyzeSegment(start, end, optionHeld);
}

Result KVWaveDocument::analyzeSegment(FramePos start, FramePos end, bool optionHeld) {
    if (refusedWhileBusy()) return Result::failure("Processing is in progress", "Another operation is running");
    stop();
    KVAnalyseRequest request;
    request.workingFilePath = mWorkingFilePath;
    request.channels = channels();
    request.start = start;
    request.end = end;
    request.optionHeld = optionHeld;
    request.view = mWindow ? mWindow->analysisView() : nullptr;
    request.delegate = this;
    request.output = newOutput();
    if (mAnalysisController) mPlayback->setAnalysisSource(nullptr);
    KVAnalyseResult result = KVAnalyseCommand::analyzeSegment(std::move(request), mAnalysisController);
    if (!result.started) {
        mAnalysisController.reset();
        return showFailure(result.reason, result.reason.title() == "Not enough disk space");
    }
    mOutputEditHistory = result.segmentHistory;
    mSegmentStart = start;
    mSegmentEnd = end;
    if (mSegmentController) {
        mSegmentController->setAnalysisStart(start, end);
        mSegmentController->saveSelectionAndAnalysisRange();
    }
    if (mOutputController) mOutputController->setAnalysisStart(start, end);
    mPlayback->setAnalysisSource(mAnalysisController->playSource());
    mState.tool = AnalysisTool::multiPencil;  // every new analysis starts with the multi pencil
    mAnalysisController->setSeparation(mSeparation);
    mAnalysisController->store().setHistoryLimits(mHistoryLevels, mHistoryShare);
    applyModeToController();
    return Result::success();
}

void KVWaveDocument::setSeparation(const KVSeparationSettings& settings) {
    mSeparation = settings;
    if (mAnalysisController) mAnalysisController->setSeparation(settings);
    publishState();
}

void KVWaveDocument::setHistoryLimits(std::size_t levels, double diskShare) {
    mHistoryLevels = levels;
    mHistoryShare = diskShare;
    if (mAnalysisController) mAnalysisController->store().setHistoryLimits(levels, diskShare);
}

bool KVWaveDocument::isAnalysisRunning() const {
    return mAnalysisController && mAnalysisController->runner() && !mAnalysisController->runner()->hasEnded();
}

bool KVWaveDocument::cancelAnalysis() {
    if (!isAnalysisRunning()) return false;
    mAnalysisController->runner()->cancel();
    return true;
}

std::unique_ptr<AudioOutputBackend> KVWaveDocument::newOutput() const {
    return mOptions.makeOutput ? mOptions.makeOutput() : nullptr;
}

// --- Commands ---

bool KVWaveDocument::isBusy() const {
    return (mAnalysisController && mAnalysisController->isProcessing()) || isExportingSegment() ||
           (mOutputController && mOutputController->isExporting());
}

bool KVWaveDocument::refusedWhileBusy() {
    if (!isBusy()) return false;
    Platform::shared().beep();
    return true;
}

Result KVWaveDocument::busy() { return Result::failure("Processing is in progress", "Another operation is running"); }

Result KVWaveDocument::noAnalysis() {
    return Result::failure("No analysis", "This command works on an analysed segment; analyse one first");
}

Result KVWaveDocument::declined(const std::string& question) {
    return Result::failure(question, "The command was cancelled");
}

bool KVWaveDocument::confirm(const std::string& title, const std::string& message, const std::string& proceed) {
    return Platform::shared().runAlert(title, message, {proceed, "Cancel"}) == AlertButton::Default;
}

Result KVWaveDocument::runOnController(const std::function<void(KVAnalysisController&)>& command) {
    if (!mAnalysisController) return noAnalysis();
    if (refusedWhileBusy()) return busy();
    command(*mAnalysisController);
    publishState();
    return Result::success();
}

Result KVWaveDocument::runProcessing(const char* text, const std::function<void(KVAnalysisController&)>& command) {
    if (!mAnalysisController) return noAnalysis();
    if (refusedWhileBusy()) return busy();
    if (text && mWindow) mWindow->beginProcessing(text);
    mProgressShown = 0;
    mEditRunning = true;
    command(*mAnalysisController);
    publishState();
    return Result::success();
}

Result KVWaveDocument::isolateDeterministic() { return runSegmentEdit(EditorCommand::DiscardTransients); }

Result KVWaveDocument::isolateStochastic() { return runSegmentEdit(EditorCommand::KeepTransients); }

Result KVWaveDocument::fillGaps() { return runSegmentEdit(EditorCommand::FillGaps); }

Result KVWaveDocument::runSegmentEdit(EditorCommand command) {
    const std::string text(EditorCommands::row(command).progressText);
    return runProcessing(text.empty() ? nullptr : text.c_str(), SegmentEdits::of(command));
}

Result KVWaveDocument::isolateRepeatingPattern() {
    return runProcessing(nullptr, [](KVAnalysisController& c) { c.uiIsolateRepeatingPattern(); });
}

Result KVWaveDocument::selectAll() {
    if (mPlaySource == PlaySource::Input) {
        KVSegmentViewInterface* view = mWindow ? mWindow->segmentView() : nullptr;
        if (!view) return Result::failure("No input view", "Select All on the input tab selects in its view");
        view->setSelectionStartFrame(0);
        view->setSelectionEndFrame(frames());
        return Result::success();
    }
    if (mPlaySource == PlaySource::Output || !mAnalysisController) {
        Platform::shared().beep();
        return mAnalysisController ? Result::failure("Nothing to select", "The master output has no selection")
                                   : noAnalysis();
    }
    if (refusedWhileBusy()) return busy();
    if (!confirm("Select entire segment?",
                 "Selecting clears the current selection and selects everything in this segment.\n\nAre you sure "
                 "you want to do this?",
                 "Select all"))
        return declined("Select entire segment?");
    return runSegmentEdit(EditorCommand::SelectAll);
}

// While the analysis controller works (in Modify mode it copies the selection as long as the
// analysis runs) the question is still asked, and the controller answers with its busy alert.
Result KVWaveDocument::selectNone() {
    if (!mAnalysisController) return noAnalysis();
    if (!mAnalysisController->isProcessing() && refusedWhileBusy()) return busy();
    if (!confirm("De-select everything?",
                 "De-selecting clears the current selection, which means you will have to start selecting "
                 "instruments or voice from scratch. Edit > Undo brings it back.\n\nAre you sure you want to do this?",
                 "De-Select all"))
        return declined("De-select everything?");
    const Result cleared = mAnalysisController->selectNone();
    commitWhileAnalysisTabHidden();
    publishState();
    if (!cleared) showFailure(cleared, false);
    return cleared;
}

Result KVWaveDocument::applySelection() {
    if (!mAnalysisController) return noAnalysis();
    if (refusedWhileBusy()) return busy();
    if (!confirm("Apply Selection",
                 "Applying the selection will make it permanent. It replaces the original analysis file with the "
                 "extracted selection as a basis for further editing. Edit > Undo gives back the original analysis.",
                 "Proceed"))
        return declined("Apply Selection");
    return runSegmentEdit(EditorCommand::ApplySelection);
}

void KVWaveDocument::cancelProcessing() {
    if (mAnalysisController) mAnalysisController->cancelProcessing();
    if (mExportJob) mExportJob->cancel();
    if (mOutputController) mOutputController->cancelExport();
}

Result KVWaveDocument::undo() { return walkHistory(false); }

Result KVWaveDocument::redo() { return walkHistory(true); }

// Undoes or redoes one step at a time until position steps are done; the first refusal stops it.
Result KVWaveDocument::walkHistoryTo(std::size_t position) {
    if (!mAnalysisController) return KVAnalysisFileSet::noDataToUndo();
    const KVAnalysisFileSet& store = mAnalysisController->store();
    Result walked = Result::success();
    while (walked && store.historyCursor() != position)
        walked = walkHistory(store.historyCursor() < position);
    return walked;
}

Result KVWaveDocument::walkHistory(bool forward) {
    if (!mAnalysisController) return forward ? KVAnalysisFileSet::noDataToRedo() : KVAnalysisFileSet::noDataToUndo();
    const Result result = forward ? mAnalysisController->redo() : mAnalysisController->undo();
    if (!result) showFailure(result, true);
    commitWhileAnalysisTabHidden();
    if (KVAnalysisViewInterface* view = mWindow ? mWindow->analysisView() : nullptr) view->redraw();
    publishState();
    return result;
}

// The document's commands of the command table, with how each ended; a failure (and a beep) for
// one it has no answer to. A refusal (busy, nothing to undo) has told the user already.
Result KVWaveDocument::perform(EditorCommand command) {
    const auto done = [](auto&&...) { return Result::success(); };
    switch (command) {
        case EditorCommand::Undo: return undo();
        case EditorCommand::Redo: return redo();
        case EditorCommand::SelectAll: return selectAll();
        case EditorCommand::ClearSelection: return selectNone();
        case EditorCommand::KeepTransients:
        case EditorCommand::DiscardTransients:
        case EditorCommand::FillGaps: return runSegmentEdit(command);
        case EditorCommand::ApplySelection: return applySelection();
        case EditorCommand::CancelProcessing: return cancelProcessing(), done();
        case EditorCommand::TogglePlayStop: return togglePlayStop(), done();
        case EditorCommand::PlayOriginal: return playOriginal(), done();
        case EditorCommand::Stop: return stop(), done();
        case EditorCommand::Forward: return forward(), done();
        case EditorCommand::Rewind: return rewind(), done();
        case EditorCommand::Loop: return toggleLoop(), done();
        default:
            Platform::shared().beep();
            return Result::failure("Not a document command", std::string(EditorCommands::row(command).name));
    }
}

CommandContext KVWaveDocument::commandContext() const {
    CommandContext context;
    context.hasDocument = true;
    context.hasAnalysis = mAnalysisController != nullptr;
    context.canUndo = canUndo();
    context.canRedo = canRedo();
    if (mAnalysisController) {
        const KVAnalysisFileSet& store = mAnalysisController->store();
        const std::vector<KVHistoryEntry> levels = store.historyEntries();
        const std::size_t cursor = store.historyCursor();
        if (context.canUndo && cursor > 0) context.undoName = levels[cursor - 1].name;
        if (context.canRedo && cursor < levels.size()) context.redoName = levels[cursor].name;
        for (const auto& level : levels) context.history.push_back(level.name);
        context.historyPosition = cursor;
    }
    context.medianSeparation = mSeparation.method == SeparationMethod::Median;
    return context;
}

bool KVWaveDocument::canUndo() const { return mAnalysisController && mAnalysisController->canUndo(); }

bool KVWaveDocument::canRedo() const { return mAnalysisController && mAnalysisController->canRedo(); }

// --- Tools and switches ---

void KVWaveDocument::setTool(AnalysisTool tool) {
    mState.tool = tool;
    if (mAnalysisController) mAnalysisController->setTool(tool);
    if (mAnalysisController) mAnalysisController->setSelectionMode(SelectionMode::Add);
    publishState();
}

void KVWaveDocument::setSnapToGrid(bool on) {
    mState.snapToGrid = on;
    if (mAnalysisController) mAnalysisController->setSnapToGrid(on);
    publishState();
}

void KVWaveDocument::setAttenuateF0(bool on) {
    mState.attenuateF0 = on;
    if (mAnalysisController) mAnalysisController->setAttenuateF0(on);
    if (mAnalysisController) mAnalysisController->setSelectionMode(SelectionMode::Add);
    publishState();
}

void KVWaveDocument::setAttackMode(bool on) {
    mState.attackMode = on;
    if (mAnalysisController) mAnalysisController->setAttackMode(on);
    publishState();
}

void KVWaveDocument::setShowOriginal(bool on) {
    mState.showOriginal = on;
    if (mAnalysisController) mAnalysisController->setShowOriginal(on);
    publishState();
}

void KVWaveDocument::setRealtimePreview(bool on) {
    mState.realtimePreview = on;
    if (mAnalysisController) mAnalysisController->setRealtimePreview(on);
    publishState();
}

void KVWaveDocument::setDocumentMode(DocumentMode mode) {
    const KVModeSettings settings = KVDocumentMode::settingsForMode(mode);
    mState.mode = mode;
    mState.snapToGrid = settings.snapToGrid;
    mState.showOriginal = settings.showOriginal;
    mState.gainControlsEnabled = settings.gainControlsEnabled;
    if (KVDocumentMode::storedMode(mWorkingFilePath) != mode) KVDocumentMode::recordMode(mWorkingFilePath, mode);
    applyModeToController();
}

// The mode's settings to the analysis controller, then selection mode Add (the mode update).
void KVWaveDocument::applyModeToController() {
    if (mAnalysisController) {
        KVAnalysisController& controller = *mAnalysisController;
        controller.setDocumentMode(mState.mode);
        controller.setSnapToGrid(mState.snapToGrid);
        controller.setShowOriginal(mState.showOriginal);
        controller.setTool(mState.tool);
        controller.setAttenuateF0(mState.attenuateF0);
        controller.setAttackMode(mState.attackMode);
        controller.setSelectionMode(SelectionMode::Add);
        if (mState.mode == DocumentMode::Modify && mOptions.selectEverythingInModify)
            controller.selectAllContinuously();
    }
    publishState();
}

void KVWaveDocument::setPlaybackVolumeDecibels(double decibels) { mPlayback->setPlaybackVolume(linearGain(decibels)); }

void KVWaveDocument::setModificationGainDecibels(double decibels) { mModificationGain = linearGain(decibels); }

// Said until the next edit: the levels of undo the last edit's commit dropped, oldest first.
std::string KVWaveDocument::historyNote() const {
    const std::size_t dropped = mAnalysisController ? mAnalysisController->store().droppedByLastCommit() : 0;
    if (dropped == 0) return {};
    return "Undo history full: the oldest " + (dropped == 1 ? std::string("step") : std::to_string(dropped) + " steps") +
           " went";
}

void KVWaveDocument::publishState() {
    mState.isPlaying = mPlayback && mPlayback->isPlaying();
    mState.loopEnabled = mPlayback && mPlayback->loopEnabled();
    mState.canUndo = canUndo();
    mState.canRedo = canRedo();
    mState.busy = isBusy();
    mState.historyNote = historyNote();
    if (mWindow) mWindow->showCommandState(mState);
}

// --- Tabs and transport ---

void KVWaveDocument::tabDidChange(PlaySource tab) {
    mPlaySource = tab;
    mPlayback->setPlaySource(tab);
    mState.playOriginal = tab != PlaySource::Input;
    commitWhileAnalysisTabHidden();
    if (tab == PlaySource::Output && outputController()) mOutputController->moveToPlayCursor();
    publishState();
}

// The master holds the selection whenever the Analysis tab is not shown: leaving the tab puts the
// edit into it, and so does an edit that ends (a command from the Process menu, an undo) while
// another tab shows, so that a master exported next holds it. Only in a window: a command-line
// document commits when asked.
void KVWaveDocument::commitWhileAnalysisTabHidden() {
    if (mWindow && mPlaySource != PlaySource::Analysis && mAnalysisController && !isBusy()) commitEditToMaster();
}

FramePos KVWaveDocument::startPositionForTab() const {
    switch (mPlaySource) {
        case PlaySource::Input: {
            return mSegmentController ? mSegmentController->range().selectionStartFrame()
                                      : mPlayback->currentPlayPosition();
        }
        case PlaySource::Analysis:
            return mAnalysisController ? mAnalysisController->playCursor() : mPlayback->currentPlayPosition();
        case PlaySource::Output:
            break;
    }
    KVOutputViewInterface* view = mWindow ? mWindow->outputView() : nullptr;
    return view ? view->playCursor() : mPlayback->currentPlayPosition();
}

bool KVWaveDocument::play() {
    if (!mAudioEngine) {
        auto output = newOutput();
        mAudioEngine = output ? std::make_unique<KVAudioEngineController>(std::move(output))
                              : KVAudioEngineController::initWithPacedFallback();
        mPlayback->setEngineController(mAudioEngine.get());
    }
    const FramePos start = startPositionForTab();
    updatePlayRanges();
    if (mPlaySource == PlaySource::Output && mOutputController) {
        // A render still under way when the last play stopped may have moved the stream on.
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        mOutputController->setPlayPosition(start);
    }
    const bool started = mPlayback->play(start);
    publishState();
    return started;
}

// The input tab plays the input view's selection, the output tab the master from its edit cursor.
void KVWaveDocument::updatePlayRanges() {
    if (mSegmentController) {
        const KVSegmentRange& input = mSegmentController->range();
        mPlayback->setInputSelection(input.selectionStartFrame(), input.selectionEndFrame());
    }
    KVOutputViewInterface* output = mWindow ? mWindow->outputView() : nullptr;
    if (output && mOutputController) mPlayback->setOutputRange(output->editCursor(), mOutputController->numFrames());
}

bool KVWaveDocument::playOriginal() {
    if (mAnalysisController) mAnalysisController->setPlayOriginal(true);
    if (mOutputController) mOutputController->moveToEditCursor();
    mState.playOriginal = true;
    return play();
}

void KVWaveDocument::togglePlayStop() {
    if (mAnalysisController) mAnalysisController->setPlayOriginal(false);
    if (mOutputController) mOutputController->moveToEditCursor();
    if (isPlaying())
        stop();
    else
        play();
}

void KVWaveDocument::stop() {
    if (mPlayback->isPlaying()) mPlayback->stopPlayback();
}

void KVWaveDocument::forward() {
    setPlayPosition(playPosition() + static_cast<FramePos>(kWorkingSampleRate * 0.25));
}

// Never before the start of the file.
void KVWaveDocument::rewind() {
    setPlayPosition(std::max<FramePos>(0, playPosition() - static_cast<FramePos>(kWorkingSampleRate * 0.25)));
}

void KVWaveDocument::toggleLoop() {
    mPlayback->setLoopEnabled(!mPlayback->loopEnabled());
    publishState();
}

// The analysis and the master are read as streams: the one of the selected tab moves with the
// position.
void KVWaveDocument::setPlayPosition(FramePos frame) { mPlayback->seek(frame); }

void KVWaveDocument::deliverPlayPosition() { mPlayback->deliverPlayPosition(); }

FramePos KVWaveDocument::playPosition() const { return mPlayback->currentPlayPosition(); }

bool KVWaveDocument::isPlaying() const { return mPlayback->isPlaying(); }

// After any stop: the position returns by tab (the input selection's start when it is at least 2
// frames long, the output's edit cursor when more than one frame lies after it, else the
// analysis view's edit cursor).
void KVWaveDocument::stopped() {
    mState.playOriginal = false;
    FramePos position = -1;
    const KVSegmentRange* input = mSegmentController ? &mSegmentController->range() : nullptr;
    KVOutputViewInterface* output = mWindow ? mWindow->outputView() : nullptr;
    if (mPlaySource == PlaySource::Input && input && input->selectionEndFrame() - input->selectionStartFrame() >= 2)
        position = input->selectionStartFrame();
    if (mPlaySource == PlaySource::Output && output && mOutputController &&
        mOutputController->numFrames() - output->editCursor() > 1)
        position = output->editCursor();
    KVAnalysisViewInterface* analysis = mWindow ? mWindow->analysisView() : nullptr;
    if (position < 0 && analysis) position = analysis->editCursor();
    if (position >= 0) setPlayPosition(position);
    publishState();
}

void KVWaveDocument::playPositionChanged(FramePos frame) {
    if (mSegmentController) mSegmentController->setPlayCursor(frame);
    if (mOutputController) mOutputController->setPlayCursor(frame);
    if (mAnalysisController) mAnalysisController->setPlayCursor(frame);
    if (mWindow) mWindow->playPositionChanged(frame);
}

// --- Delegates ---

void KVWaveDocument::setProgressValue(int percent) {
    if (!mWindow) return;
    if (percent < 0) {
        if (std::exchange(mEditRunning, false)) commitWhileAnalysisTabHidden();
        mProgressShown = -1;
        mWindow->setProgressValue(-1);
        publishState();
        return;
    }
    if (percent == mProgressShown) return;
    mProgressShown = percent;
    mWindow->setProgressValue(percent);
    if (KVAnalysisViewInterface* view = mWindow->analysisView()) view->redraw();
}

void KVWaveDocument::cursorWasMoved(KVAnalysisController& controller) {
    const FramePos frame = mWindow && mWindow->analysisView() ? mWindow->analysisView()->playCursor() : playPosition();
    mPlayback->setPlayPosition(frame);
    controller.setPlayCursor(frame);
}

void KVWaveDocument::togglePlayStop(KVAnalysisController&) { togglePlayStop(); }

void KVWaveDocument::cursorWasMoved(KVSegmentController&) {
    if (mSegmentController) mPlayback->setPlayPosition(mSegmentController->range().selectionStartFrame());
}

void KVWaveDocument::togglePlayStop(KVSegmentController&) { togglePlayStop(); }

void KVWaveDocument::cursorWasMoved(KVOutputController&) {
    if (KVOutputViewInterface* view = mWindow ? mWindow->outputView() : nullptr)
        mPlayback->setPlayPosition(view->playCursor());
}

void KVWaveDocument::togglePlayStop(KVOutputController&) { togglePlayStop(); }

// The master's own finishing step has ended its progress and revealed the file.
void KVWaveDocument::exportFinished(KVOutputController& controller, const Result& result) {
    if (!result) showFailure(result, false);
    KVExportReport report;
    report.kind = KVExportReport::Kind::Master;
    report.outcome = controller.lastExportOutcome();
    report.result = result;
    report.clippedSamples = controller.lastExportClippedSamples();
    if (mWindow) mWindow->exportFinished(report);
}

// --- Master and exports ---

FrameCount KVWaveDocument::commitEditToMaster() {
    KVOutputController* master = outputController();
    if (!master || !mAnalysisController) return 0;
    mLastCommitResult = master->masterDamage();
    if (!mLastCommitResult) return 0;
    const FrameCount written = KVMasterCommit::commitEditToMaster(
        mAnalysisController->store(), mSegmentStart / kAnalysisHop, mSegmentEnd - mSegmentStart,
        *master->leftMasterCollection(), *master->rightMasterCollection(), master->monitor(), &mLastCommitResult);
    // A write failure of the master was alerted as it happened; one met before it (the journal) was not.
    if (!mLastCommitResult && mLastCommitResult.text() != master->leftMasterCollection()->writeFailure().text())
        showFailure(mLastCommitResult, true);
    master->restartOverview();
    return written;
}

// A file shorter than the shortest segment is analysed past its end; its exports hold only the
// file's own frames.
FrameCount KVWaveDocument::segmentFramesInFile() const { return std::min(mSegmentEnd, frames()) - mSegmentStart; }

Result KVWaveDocument::exportCurrentSegment(const std::string& path) {
    if (!mAnalysisController) return noAnalysis();
    return startExport("Exporting current segment as audio file...",
                       KVExportJob::segment(mAnalysisController, segmentFramesInFile(), path, mMetadataChunks));
}

Result KVWaveDocument::exportStems(const std::string& output) {
    if (!mAnalysisController) return noAnalysis();
    return startExport("Exporting stems...", KVExportJob::stems(mAnalysisController, mEditHistory, mSegmentStart,
                                                                segmentFramesInFile(), output, mMetadataChunks));
}

Result KVWaveDocument::startExport(const char* text, KVExportJob::Work work) {
    if (refusedWhileBusy()) return busy();
    if (mWindow) mWindow->beginProcessing(text);
    mProgressShown = 0;
    mExportJob = std::make_unique<KVExportJob>(
        std::move(work), [this](int percent) { setProgressValue(percent); },
        [this](const KVExportReport& report) { finishExport(report); });
    mExportJob->start();
    publishState();
    return Result::success();
}

void KVWaveDocument::finishExport(const KVExportReport& report) {
    mExportJob->wait();
    mLastExport = report;
    setProgressValue(-1);
    if (!report.result) showFailure(report.result, false);
    KVUtilities::playFinishedSound();
    if (mWindow) mWindow->exportFinished(report);
    publishState();
}

bool KVWaveDocument::isExportingSegment() const { return mExportJob && mExportJob->isRunning(); }

Result KVWaveDocument::exportMaster(const std::string& path) {
    if (refusedWhileBusy()) return busy();
    if (!outputController()) return noMaster();
    if (mWindow) mWindow->beginProcessing("Exporting audio file...");
    mProgressShown = 0;
    mOutputController->exportToPath(path, mMetadataChunks.view());
    publishState();
    return Result::success();
}

Result KVWaveDocument::resetMasterFile() {
    if (refusedWhileBusy()) return busy();
    if (!outputController()) return noMaster();
    mOutputController->resetMasterFile();
    return Result::success();
}

Result KVWaveDocument::noMaster() const {
    return Result::failure("No master output", "The master output of " + mSourcePath + " could not be opened");
}

// --- Status texts ---

std::string KVWaveDocument::freeSpaceText(std::int64_t freeBytes) {
    if (freeBytes < 0) return "-- GB";
    char text[32];
    std::snprintf(text, sizeof text, "%4.2f GB", double(freeBytes) * 1e-9);
    return text;
}

std::string KVWaveDocument::updateDiskSpace() {
    const std::string text =
        freeSpaceText(mWorkingFilePath.empty() ? -1 : Platform::shared().freeBytesOfVolume(mWorkingFilePath));
    if (mWindow) mWindow->setFreeDiskSpaceText(text);
    return text;
}

}  // namespace orvex
