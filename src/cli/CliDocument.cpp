#include "CliDocument.h"

#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <filesystem>

#include "CliAnalysisInfo.h"
#include "CliCommand.h"
#include "CliGuards.h"
#include "CliProgress.h"
#include "common/AnalysisConstants.h"
#include "control/KVOutputController.h"
#include "control/KVSegmentRange.h"
#include "document/KVOpenFileCheck.h"
#include "document/KVWaveDocument.h"
#include "dsp/FftEngine.h"
#include "dsp/FftPlanning.h"
#include "engine/KVAnalyseCommand.h"
#include "engine/KVAnalysisController.h"
#include "platform/HeadlessPlatform.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVAnalysisPaths.h"
#include "store/StoreFailures.h"
#include "utilities/KVUtilities.h"

namespace orvex::cli {

namespace {

using namespace std::chrono_literals;

HeadlessPlatform& headless() { return dynamic_cast<HeadlessPlatform&>(Platform::shared()); }

bool failWith(const std::string& message) {
    CliCommand::fail(message);
    return false;
}

// "No space left on device while writing the selection of mix.wav": the system's reason a store
// failure carries, what was being written and of which file, then any note the failure adds.
std::string storeFailureLine(const Result& failure, const std::string& what, const std::string& file) {
    if (StoreFailures::isDamage(failure)) return failure.message();
    const std::string reason = StoreFailures::reasonOf(failure);
    const auto lineEnd = reason.find('\n');
    std::string line = reason.substr(0, lineEnd) + " while writing the " + what + " of " + displayNameOfPath(file);
    if (lineEnd != std::string::npos) line += "; " + reason.substr(lineEnd + 1);
    return line;
}

void reportClipping(FrameCount clipped) {
    if (clipped > 0)
        std::fprintf(stderr, "orvex-cli: warning: %lld samples were clipped to the file's range\n",
                     static_cast<long long>(clipped));
}

bool folderIsWritable(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

KVDocumentOptions cliOptions() {
    KVDocumentOptions options;
    options.highQualityDrawing = false;
    options.deleteConvertedCopyOnClose = false;  // the next command works on it
    options.selectEverythingInModify = false;
    options.makeOutput = [] { return std::make_unique<ManualAudioBackend>(); };
    return options;
}

}  // namespace

void CliWindow::setProgressValue(int percent) {
    if (mProgress && percent >= 0) mProgress->update(percent);
}

std::unique_ptr<CliDocument> CliDocument::open(const std::string& file) {
    if (!CliGuards::inputExists(file)) return nullptr;
    std::unique_ptr<CliDocument> cli(new CliDocument());
    const auto opened = cli->mDocuments.openDocumentAtPath(file, [&](Result& refusal) {
        if (!folderIsWritable(file)) {
            refusal = Result::failure("", "The folder of " + file +
                                              " cannot be written; the analysis is kept beside the file");
            return std::unique_ptr<KVWaveDocument>();
        }
        return std::make_unique<KVWaveDocument>(&cli->mWindow, cliOptions());
    });
    if (!opened.result) return failWith(opened.result.text()), nullptr;
    cli->mDocument = opened.document;
    return cli;
}

CliDocument::~CliDocument() {
    if (!mDocument) return;
    const bool removeFolder = mDocument->createdAnalysisFolder() && !mFolderUsed;
    const std::string folder = KVUtilities::analysisFolderPathOfFileAtPath(mDocument->workingFilePath());
    std::shared_ptr<KVAnalysisRunner> runner;
    if (KVAnalysisController* controller = mDocument->analysisController()) runner = controller->runner();
    mDocuments.close(mDocument);
    mDocument = nullptr;
    if (runner) headless().pumpMainThreadUntil([&runner] { return runner->hasEnded(); }, 60s);
    headless().pumpMainThread();
    std::error_code error;
    if (removeFolder) std::filesystem::remove_all(folder, error);
}

const std::string& CliDocument::workingPath() const { return mDocument->workingFilePath(); }

FramePos CliDocument::segmentStart() const { return mDocument->segmentStart(); }

FramePos CliDocument::segmentEnd() const { return mDocument->segmentEnd(); }

bool CliDocument::outputAllowed(const std::string& path, bool isWave) const {
    return CliGuards::outputAllowed(path, mDocument->sourcePath(), workingPath(), isWave);
}

KVAnalysisController& CliDocument::controller() const { return *mDocument->analysisController(); }

bool CliDocument::resolveSegment(std::optional<double> startSeconds, std::optional<double> endSeconds,
                                 FramePos& start, FramePos& end) const {
    if (!std::isfinite(startSeconds.value_or(0.0)) || !std::isfinite(endSeconds.value_or(0.0)))
        return failWith("--start and --end must be finite numbers of seconds");
    const FrameCount frames = mDocument->frames();
    FramePos storedStart = 0, storedEnd = 0;
    const bool useStored = !startSeconds && !endSeconds && storedAnalysisRange(workingPath(), storedStart, storedEnd);
    // Far beyond any file either way, and still inside the range of a 64-bit frame number.
    const auto toFrame = [](double seconds) {
        return static_cast<FramePos>(std::llround(std::clamp(seconds, -1e9, 1e9) * kWorkingSampleRate));
    };
    const FramePos wantedStart = useStored ? storedStart : toFrame(startSeconds.value_or(0.0));
    const FramePos wantedEnd =
        useStored ? storedEnd : (endSeconds ? toFrame(*endSeconds) : wantedStart + KVSegmentRange::kMaximumFrames);
    char length[64];
    std::snprintf(length, sizeof length, " (the file is %.3f s long)", double(frames) / kWorkingSampleRate);
    if (wantedEnd <= wantedStart) return failWith("The segment's end is not after its start");
    if (wantedStart < 0) return failWith("The segment's start is negative");
    if (wantedStart >= frames) return failWith(std::string("The segment starts after the end of the file") + length);
    KVSegmentRange range;
    range.setTotalFrames(frames);
    range.setSelectionStartFrame(wantedStart);
    range.setSelectionEndFrame(std::min(wantedEnd, frames));
    start = range.selectionStartFrame();
    end = range.selectionEndFrame();
    return true;
}

// The first analysis on a machine measures its FFT plans (a few seconds); said before the bar.
namespace {
void prepareTransforms() {
    FftPlanning::setMeasuringNotice(
        [] { std::fputs("measuring the fastest transforms of this machine (once)\n", stderr); });
    FftEngine::preparePlans({kAnalysisFrameSize, kAnalysisFrameSize * kAnalysisZeroPadding});
    FftPlanning::setMeasuringNotice({});
}
}  // namespace

bool CliDocument::analyse(FramePos start, FramePos end, bool force) {
    if (!CliGuards::dictionaryIsFile(workingPath())) return false;
    const bool fresh = KVAnalyseCommand::needsFreshAnalysis(workingPath(), mDocument->channels(), start, end, force);
    if (fresh) prepareTransforms();
    const Result started = mDocument->analyzeSegment(start, end, force);
    if (!started) return failWith(started.text());
    mFolderUsed = true;
    if (controller().store().rolledBackInterruptedStep())
        std::fprintf(stderr, "orvex-cli: note: an edit that was interrupted earlier has been rolled back; the "
                             "selection is as it was before that edit\n");
    KVAnalysisRunner& runner = *controller().runner();
    // A stored analysis that is only reopened shows no bar.
    std::optional<CliProgress> progress;
    if (fresh) progress.emplace("analysing");
    while (!headless().pumpMainThreadUntil([&runner] { return runner.hasEnded(); }, 100ms))
        if (progress) progress->update(static_cast<int>(runner.progress() * 100.0f));
    if (progress) {
        progress->update(100);
        progress->finish();
    }
    if (const Result failure = controller().analysisStore().writeFailure(); !failure) {
        mFolderUsed = false;  // a folder this run made goes again: nothing of it is whole
        return failWith(storeFailureLine(failure, "analysis", mDocument->sourcePath()));
    }
    if (!runner.isAnalysisComplete()) return failWith("The analysis did not complete");
    // A reused analysis comes with the selection stored beside it, which must be whole too.
    return CliGuards::selectionIsWhole(workingPath(), mDocument->channels());
}

bool CliDocument::openStoredAnalysis() {
    FramePos start = 0, end = 0;
    if (!storedAnalysisRange(workingPath(), start, end))
        return failWith("No analysis is stored for this file; run 'orvex-cli analyse' first");
    // An edit cut short leaves its frames uneven until opening the stores rolls it back; an
    // Apply Selection cut short, the analysis' as well.
    std::error_code error;
    const bool stepToRollBack = std::filesystem::exists(
        KVAnalysisPaths::openStepMarkerPath(KVAnalysisPaths::selectionFileSetPath(workingPath())), error);
    if (!stepToRollBack && !CliGuards::analysisIsWhole(workingPath(), mDocument->channels(), start, end)) return false;
    if (!stepToRollBack && !CliGuards::selectionIsWhole(workingPath(), mDocument->channels())) return false;
    return analyse(start, end, false);
}

bool CliDocument::applyMode(const std::string& name) {
    const auto mode = KVDocumentMode::modeNamed(name);
    if (!mode) return failWith("Unknown mode: " + name);
    mDocument->setDocumentMode(*mode);
    return true;
}

void CliDocument::waitUntilIdle() {
    while (!headless().pumpMainThreadUntil([this] { return !mDocument->isBusy(); }, 100ms)) {
    }
    headless().pumpMainThread();
}

bool CliDocument::runAndWait(const std::function<void(KVAnalysisController&)>& command) {
    if (const Result started = mDocument->runOnController(command); !started) return failWith(started.text());
    waitUntilIdle();
    const Result& result = controller().lastOperationResult();
    if (!result) return failWith(storeFailureLine(result, "selection", mDocument->sourcePath()));
    if (const std::size_t dropped = controller().store().droppedByLastCommit())
        std::fprintf(stderr, "orvex-cli: note: the %zu oldest step%s of the history went, to keep it within its limits\n",
                     dropped, dropped == 1 ? "" : "s");
    return true;
}

// Each step is one undo (or redo) of the history, stored before the next begins: an error stops
// the walk where it is.
bool CliDocument::walkHistory(bool forward, int steps) {
    waitUntilIdle();
    const Result nothing = forward ? KVAnalysisFileSet::noDataToRedo() : KVAnalysisFileSet::noDataToUndo();
    for (int step = 0; step < steps; ++step) {
        const Result walked = forward ? mDocument->redo() : mDocument->undo();
        if (walked) continue;
        if (walked.text() == nothing.text()) return failWith(walked.text());
        return failWith(storeFailureLine(walked, "selection", mDocument->sourcePath()));
    }
    return true;
}

KVOutputController* CliDocument::output() {
    KVOutputController* master = mDocument->outputController();
    if (!master) failWith("The master output could not be opened");
    mFolderUsed = mFolderUsed || master;
    return master;
}

KVOutputController* CliDocument::undamagedOutput() {
    KVOutputController* master = output();
    if (master && !master->masterDamage()) return failWith(master->masterDamage().message()), nullptr;
    return master;
}

bool CliDocument::commitEditToMaster() {
    if (!undamagedOutput() || !mDocument->analysisController()) return false;
    const FrameCount written = mDocument->commitEditToMaster();
    if (const Result& result = mDocument->lastCommitResult(); !result)
        return failWith(storeFailureLine(result, "master", mDocument->sourcePath()));
    std::printf("committed %lld grains at %.3f s\n", static_cast<long long>(written),
                double(mDocument->segmentStart()) / kWorkingSampleRate);
    return true;
}

bool CliDocument::exportSegment(const std::string& path) {
    const std::string failure = "The segment could not be written to " + path;
    return runExport([&] { return mDocument->exportCurrentSegment(path); }, failure);
}

bool CliDocument::exportStems(const std::string& output) {
    return runExport([&] { return mDocument->exportStems(output); }, "The stems could not be written beside " + output);
}

// A refusal names the file (the report's reason); any other failure says what was not written.
bool CliDocument::runExport(const std::function<Result()>& start, const std::string& failure) {
    CliProgress progress("exporting");
    mWindow.setProgress(&progress);
    const Result started = start();
    if (started) waitUntilIdle();
    mWindow.setProgress(nullptr);
    progress.finish();
    if (!started) return failWith(failure + ": " + started.message());
    const KVExportReport& report = mDocument->lastExport();
    if (report.outcome == KVExportWriter::Outcome::CannotCreate) return failWith(report.result.text());
    if (report.outcome == KVExportWriter::Outcome::SourceDamaged) return failWith(report.result.message());
    if (report.outcome != KVExportWriter::Outcome::Written) return failWith(failure);
    if (report.kind != KVExportReport::Kind::Stems) {
        reportClipping(report.clippedSamples);
        return true;
    }
    for (const std::string& sentence : report.clippingSentences())
        std::fprintf(stderr, "orvex-cli: warning: %s\n", sentence.c_str());
    return true;
}

bool CliDocument::waitForPrefill() {
    KVOutputController* master = output();
    if (!master) return false;
    CliProgress progress("preparing master");
    progress.update(0);
    master->waitForPrefill();
    headless().pumpMainThread();
    progress.update(100);
    return true;
}

bool CliDocument::exportMaster(const std::string& path) {
    if (!undamagedOutput() || !waitForPrefill()) return false;
    CliProgress progress("exporting");
    mWindow.setProgress(&progress);
    const Result started = mDocument->exportMaster(path);
    KVOutputController& master = *mDocument->outputController();
    master.waitForExport();
    headless().pumpMainThread();
    mWindow.setProgress(nullptr);
    progress.finish();
    if (!started) return failWith("The master could not be written to " + path + ": " + started.message());
    switch (master.lastExportOutcome()) {
        case KVMasterExport::Outcome::Written:
            reportClipping(master.lastExportClippedSamples());
            return true;
        case KVMasterExport::Outcome::CannotCreate:
            return failWith(master.lastExportResult().text());
        case KVMasterExport::Outcome::SourceDamaged:
            return failWith(master.lastExportResult().message());
        default:
            return failWith("The master could not be written to " + path);
    }
}

bool CliDocument::resetMaster() {
    if (!output() || !mDocument->resetMasterFile()) return false;
    return waitForPrefill();
}

}  // namespace orvex::cli
