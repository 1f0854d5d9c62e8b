#include "CliDocument.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>

#include "CliAnalysisInfo.h"
#include "CliCommand.h"
#include "CliProgress.h"
#include "audiofile/KVAudioFileReader.h"
#include "control/KVOutputController.h"
#include "control/KVSegmentRange.h"
#include "document/KVOpenFileCheck.h"
#include "document/KVWorkingFile.h"
#include "engine/KVAnalyseCommand.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVMasterCommit.h"
#include "engine/KVSegmentExporter.h"
#include "platform/HeadlessPlatform.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "utilities/KVUtilities.h"

namespace orvex::cli {

namespace {

using namespace std::chrono_literals;

HeadlessPlatform& headless() { return dynamic_cast<HeadlessPlatform&>(Platform::shared()); }

bool failWith(const std::string& message) {
    CliCommand::fail(message);
    return false;
}

// The working file's metadata chunks, released with this object.
class WorkingChunks {
public:
    explicit WorkingChunks(const std::string& path) {
        std::int32_t channels = 0;
        if (KVAudioFileReader::infoForFileAtPath(path, nullptr, &channels, nullptr, nullptr, nullptr) != 0) return;
        mReader = KVAudioFileReader::initWithFileAtPath(path, kWorkingSampleRate, channels);
        if (mReader) mChunks = KVUtilities::metadataChunksOfFile(*mReader);
    }
    ~WorkingChunks() { KVUtilities::releaseMetadataChunks(mChunks); }
    WorkingChunks(const WorkingChunks&) = delete;
    WorkingChunks& operator=(const WorkingChunks&) = delete;
    const KVMetadataChunks& chunks() const { return mChunks; }

private:
    std::unique_ptr<KVAudioFileReader> mReader;
    KVMetadataChunks mChunks;
};

bool folderIsWritable(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

std::string lastAlertOr(const std::string& fallback) {
    const std::vector<HeadlessPlatform::Alert> alerts = headless().alerts();
    if (alerts.empty()) return fallback;
    return alerts.back().title + ": " + alerts.back().message;
}

std::unique_ptr<CliDocument> CliDocument::open(const std::string& file) {
    if (!std::filesystem::exists(file)) return failWith("No such file: " + file), nullptr;
    const KVOpenFileCheck check = KVOpenFileCheck::checkFileAtPath(file);
    if (!check.canOpen()) return failWith(lastAlertOr("The file could not be opened: " + file)), nullptr;
    if (!folderIsWritable(file))
        return failWith("The folder of " + file + " cannot be written; the analysis is kept beside the file"), nullptr;
    KVWorkingFile working;
    const auto path = working.workingFileForPath(file);
    if (!path) return failWith(lastAlertOr("No working file could be made for " + file)), nullptr;
    const KVOpenFileCheck workingCheck = KVOpenFileCheck::checkFileAtPath(*path);
    if (!workingCheck.canOpen()) return failWith(lastAlertOr("The working file could not be opened")), nullptr;
    std::unique_ptr<CliDocument> document(new CliDocument());
    document->mWorkingPath = *path;
    document->mChannels = workingCheck.channels;
    document->mFrames = workingCheck.length;
    return document;
}

CliDocument::~CliDocument() {
    if (mController) {
        mController->shutdown();
        headless().pumpMainThreadUntil([this] { return mController->runner()->hasEnded(); }, 60s);
        mController.reset();
    }
    headless().pumpMainThread();
    mOutput.reset();
    headless().pumpMainThread();
}

bool CliDocument::resolveSegment(std::optional<double> startSeconds, std::optional<double> endSeconds,
                                 FramePos& start, FramePos& end) const {
    FramePos storedStart = 0, storedEnd = 0;
    const bool useStored = !startSeconds && !endSeconds && storedAnalysisRange(mWorkingPath, storedStart, storedEnd);
    const auto toFrame = [](double seconds) { return static_cast<FramePos>(std::llround(seconds * kWorkingSampleRate)); };
    const FramePos wantedStart = useStored ? storedStart : toFrame(startSeconds.value_or(0.0));
    const FramePos wantedEnd =
        useStored ? storedEnd : (endSeconds ? toFrame(*endSeconds) : wantedStart + KVSegmentRange::kMaximumFrames);
    if (wantedStart < 0 || wantedStart >= mFrames || wantedEnd <= wantedStart)
        return failWith("The segment lies outside the file (" + std::to_string(double(mFrames) / kWorkingSampleRate) +
                        " s long)");
    KVSegmentRange range;
    range.setTotalFrames(mFrames);
    range.setSelectionStartFrame(wantedStart);
    range.setSelectionEndFrame(std::min(wantedEnd, mFrames));
    start = range.selectionStartFrame();
    end = range.selectionEndFrame();
    return true;
}

bool CliDocument::analyse(FramePos start, FramePos end, bool force) {
    KVAnalyseRequest request;
    request.workingFilePath = mWorkingPath;
    request.channels = mChannels;
    request.start = start;
    request.end = end;
    request.optionHeld = force;
    request.view = &mView;
    request.output = std::make_unique<ManualAudioBackend>();
    const std::size_t alertsBefore = headless().alerts().size();
    const std::filesystem::path folder = analysisFolderOf(mWorkingPath);
    const bool hadFolder = std::filesystem::exists(folder);
    KVAnalyseResult result = KVAnalyseCommand::analyzeSegment(std::move(request), mController);
    if (!result.started || !result.controller) {
        // Nothing is left behind by an analysis that could not start on a file never analysed.
        std::error_code error;
        if (!hadFolder) std::filesystem::remove_all(folder, error);
        return failWith(lastAlertOr("The analysis could not be started"));
    }
    mController = result.controller;
    mStart = start;
    mEnd = end;
    CliProgress progress("analysing");
    while (!headless().pumpMainThreadUntil([this] { return mController->runner()->hasEnded(); }, 100ms))
        progress.update(static_cast<int>(mController->runner()->progress() * 100.0f));
    progress.update(100);
    progress.finish();
    if (!mController->runner()->isAnalysisComplete() || headless().alerts().size() > alertsBefore)
        return failWith(lastAlertOr("The analysis did not complete"));
    return applyMode("");
}

bool CliDocument::openStoredAnalysis() {
    FramePos start = 0, end = 0;
    if (!storedAnalysisRange(mWorkingPath, start, end)) return failWith("No analysis is stored for this file; run 'orvex-cli analyse' first");
    return analyse(start, end, false);
}

bool CliDocument::applyMode(const std::string& name) {
    static const std::vector<std::string> names = {"extract", "suppress", "modify"};
    int mode = KVDocumentMode::storedMode(mWorkingPath);
    if (!name.empty()) mode = static_cast<int>(std::find(names.begin(), names.end(), name) - names.begin());
    if (mode < 0 || mode > 2) mode = static_cast<int>(DocumentMode::Modify);
    if (KVDocumentMode::storedMode(mWorkingPath) != mode) KVDocumentMode::recordMode(mWorkingPath, DocumentMode(mode));
    if (!mController) return true;
    const KVModeSettings settings = KVDocumentMode::settingsForMode(DocumentMode(mode));
    mController->setDocumentMode(mode);
    mController->setSnapToGrid(settings.snapToGrid);
    mController->setShowOriginal(settings.showOriginal);
    mController->setSelectionMode(settings.selectionMode);
    return true;
}

bool CliDocument::runAndWait(const std::function<void(KVAnalysisController&)>& command) {
    const std::size_t alertsBefore = headless().alerts().size();
    command(*mController);
    while (!headless().pumpMainThreadUntil([this] { return !mController->isProcessing(); }, 100ms)) {
    }
    headless().pumpMainThread();
    const std::vector<HeadlessPlatform::Alert> alerts = headless().alerts();
    if (alerts.size() > alertsBefore) return failWith(alerts.back().title + ": " + alerts.back().message);
    return true;
}

KVOutputController* CliDocument::output() {
    if (!mOutput) mOutput = KVOutputController::initWithView(nullptr, mWorkingPath, false);
    if (!mOutput) failWith(lastAlertOr("The master output could not be opened"));
    return mOutput.get();
}

bool CliDocument::commitEditToMaster() {
    KVOutputController* master = output();
    if (!master || !mController) return false;
    const FrameCount written =
        KVMasterCommit::commitEditToMaster(mController->store(), mStart / kAnalysisHop, mEnd - mStart,
                                           *master->leftMasterCollection(), *master->rightMasterCollection(),
                                           master->monitor());
    master->restartOverview();
    std::printf("committed %lld grains at %.3f s\n", static_cast<long long>(written),
                double(mStart) / kWorkingSampleRate);
    return true;
}

bool CliDocument::exportSegment(const std::string& path) {
    if (!mController) return false;
    WorkingChunks chunks(mWorkingPath);
    KVSegmentExporter exporter(mController->store(), mEnd - mStart, mController->monitor());
    const std::atomic<bool> cancel{false};
    CliProgress progress("exporting");
    const auto outcome = exporter.exportSelectionToPath(path, chunks.chunks(), cancel,
                                                        [&](int percent) { progress.update(percent); });
    progress.finish();
    if (outcome == KVSegmentExporter::Outcome::CannotCreate) {
        KVSegmentExporter::cantCreateFileError();
        return failWith(lastAlertOr("Error creating file"));
    }
    if (outcome != KVSegmentExporter::Outcome::Written) return failWith("The segment could not be written to " + path);
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

// Progress of the output controller's export, on the main thread.
class ExportProgress : public KVOutputControllerDelegate {
public:
    void setProgressValue(int percent) override {
        if (percent >= 0) mBar.update(percent);
    }

private:
    CliProgress mBar{"exporting"};
};

bool CliDocument::exportMaster(const std::string& path) {
    if (!waitForPrefill()) return false;
    WorkingChunks chunks(mWorkingPath);
    ExportProgress progress;
    mOutput->setDelegate(&progress);
    mOutput->exportToPath(path, chunks.chunks());
    mOutput->waitForExport();
    headless().pumpMainThread();
    mOutput->setDelegate(nullptr);
    switch (mOutput->lastExportOutcome()) {
        case KVMasterExport::Outcome::Written:
            return true;
        case KVMasterExport::Outcome::CannotCreate:
            return failWith(lastAlertOr("Error creating file"));
        default:
            return failWith("The master could not be written to " + path);
    }
}

bool CliDocument::resetMaster() {
    KVOutputController* master = output();
    if (!master) return false;
    master->resetMasterFile();
    return waitForPrefill();
}

}  // namespace orvex::cli
