#include "CliDocument.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "CliAnalysisInfo.h"
#include "CliCommand.h"
#include "CliProgress.h"
#include "control/KVOutputController.h"
#include "control/KVSegmentRange.h"
#include "document/KVWaveDocument.h"
#include "engine/KVAnalysisController.h"
#include "platform/HeadlessPlatform.h"
#include "playback/ManualAudioBackend.h"
#include "utilities/KVUtilities.h"

namespace orvex::cli {

namespace {

using namespace std::chrono_literals;

HeadlessPlatform& headless() { return dynamic_cast<HeadlessPlatform&>(Platform::shared()); }

bool failWith(const std::string& message) {
    CliCommand::fail(message);
    return false;
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
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return failWith("No such file: " + file), nullptr;
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

KVAnalysisController& CliDocument::controller() const { return *mDocument->analysisController(); }

bool CliDocument::resolveSegment(std::optional<double> startSeconds, std::optional<double> endSeconds,
                                 FramePos& start, FramePos& end) const {
    const FrameCount frames = mDocument->frames();
    FramePos storedStart = 0, storedEnd = 0;
    const bool useStored = !startSeconds && !endSeconds && storedAnalysisRange(workingPath(), storedStart, storedEnd);
    const auto toFrame = [](double seconds) { return static_cast<FramePos>(std::llround(seconds * kWorkingSampleRate)); };
    const FramePos wantedStart = useStored ? storedStart : toFrame(startSeconds.value_or(0.0));
    const FramePos wantedEnd =
        useStored ? storedEnd : (endSeconds ? toFrame(*endSeconds) : wantedStart + KVSegmentRange::kMaximumFrames);
    if (wantedStart < 0 || wantedStart >= frames || wantedEnd <= wantedStart)
        return failWith("The segment lies outside the file (" + std::to_string(double(frames) / kWorkingSampleRate) +
                        " s long)");
    KVSegmentRange range;
    range.setTotalFrames(frames);
    range.setSelectionStartFrame(wantedStart);
    range.setSelectionEndFrame(std::min(wantedEnd, frames));
    start = range.selectionStartFrame();
    end = range.selectionEndFrame();
    return true;
}

bool CliDocument::analyse(FramePos start, FramePos end, bool force) {
    const Result started = mDocument->analyzeSegment(start, end, force);
    if (!started) return failWith(started.text());
    mFolderUsed = true;
    KVAnalysisRunner& runner = *controller().runner();
    CliProgress progress("analysing");
    while (!headless().pumpMainThreadUntil([&runner] { return runner.hasEnded(); }, 100ms))
        progress.update(static_cast<int>(runner.progress() * 100.0f));
    progress.update(100);
    progress.finish();
    if (!runner.isAnalysisComplete()) return failWith("The analysis did not complete");
    return true;
}

bool CliDocument::openStoredAnalysis() {
    FramePos start = 0, end = 0;
    if (!storedAnalysisRange(workingPath(), start, end))
        return failWith("No analysis is stored for this file; run 'orvex-cli analyse' first");
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
    if (!mDocument->runOnController(command)) return failWith("The command could not run: another one is running");
    waitUntilIdle();
    return true;
}

bool CliDocument::undo() {
    waitUntilIdle();
    const Result undone = mDocument->undo();
    return undone ? true : failWith(undone.text());
}

KVOutputController* CliDocument::output() {
    KVOutputController* master = mDocument->outputController();
    if (!master) failWith("The master output could not be opened");
    mFolderUsed = mFolderUsed || master;
    return master;
}

bool CliDocument::commitEditToMaster() {
    if (!output() || !mDocument->analysisController()) return false;
    const FrameCount written = mDocument->commitEditToMaster();
    std::printf("committed %lld grains at %.3f s\n", static_cast<long long>(written),
                double(mDocument->segmentStart()) / kWorkingSampleRate);
    return true;
}

bool CliDocument::exportSegment(const std::string& path) {
    CliProgress progress("exporting");
    mWindow.setProgress(&progress);
    const bool started = mDocument->exportCurrentSegment(path);
    if (started) waitUntilIdle();
    mWindow.setProgress(nullptr);
    progress.finish();
    if (!started) return failWith("The segment could not be written to " + path);
    const auto outcome = mDocument->lastSegmentExportOutcome();
    if (outcome == KVExportWriter::Outcome::CannotCreate) return failWith(KVExportWriter::resultOf(outcome, path).text());
    if (outcome != KVExportWriter::Outcome::Written) return failWith("The segment could not be written to " + path);
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
    if (!waitForPrefill()) return false;
    CliProgress progress("exporting");
    mWindow.setProgress(&progress);
    const bool started = mDocument->exportMaster(path);
    KVOutputController& master = *mDocument->outputController();
    master.waitForExport();
    headless().pumpMainThread();
    mWindow.setProgress(nullptr);
    if (!started) return failWith("The master could not be written to " + path);
    switch (master.lastExportOutcome()) {
        case KVMasterExport::Outcome::Written:
            return true;
        case KVMasterExport::Outcome::CannotCreate:
            return failWith(master.lastExportResult().text());
        default:
            return failWith("The master could not be written to " + path);
    }
}

bool CliDocument::resetMaster() {
    if (!output() || !mDocument->resetMasterFile()) return false;
    return waitForPrefill();
}

}  // namespace orvex::cli
