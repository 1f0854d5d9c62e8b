#include "document/KVExportJob.h"

#include "engine/KVAnalysisController.h"
#include "engine/KVSegmentExporter.h"
#include "engine/KVStemsExporter.h"
#include "history/KVEditHistory.h"

namespace orvex {

KVExportJob::Work KVExportJob::segment(std::shared_ptr<KVAnalysisController> controller, FrameCount frames,
                                       std::string path, KVOwnedMetadataChunks chunks) {
    return [controller = std::move(controller), frames, path = std::move(path), chunks = std::move(chunks)](
               const std::atomic<bool>& cancel, const std::function<void(int)>& progress) {
        KVSegmentExporter exporter(controller->store(), frames, controller->monitor());
        KVExportReport report;
        report.kind = KVExportReport::Kind::Segment;
        report.paths = {path};
        report.outcome = exporter.exportSelectionToPath(path, chunks.view(), cancel, progress);
        report.clippedSamples = exporter.clippedSamples();
        report.result = KVExportWriter::resultOf(report.outcome, path, exporter.sourceDamage());
        return report;
    };
}

KVExportJob::Work KVExportJob::stems(std::shared_ptr<KVAnalysisController> controller,
                                     std::shared_ptr<KVEditHistory> source, FramePos start, FrameCount frames,
                                     const std::string& output, KVOwnedMetadataChunks chunks) {
    return [controller = std::move(controller), source = std::move(source), start, frames,
            paths = KVStemsExporter::pathsFor(output),
            chunks = std::move(chunks)](const std::atomic<bool>& cancel, const std::function<void(int)>& progress) {
        KVStemsExporter exporter(controller->store(), *source, start, frames, controller->monitor());
        KVExportReport report;
        report.kind = KVExportReport::Kind::Stems;
        report.paths = {paths.selection, paths.rest};
        report.outcome = exporter.exportStems(paths, chunks.view(), cancel, progress);
        report.clippedSamples = exporter.clippedSamples();
        report.unstorableSamples = exporter.unstorableSamples();
        report.result = KVExportWriter::resultOf(report.outcome, exporter.failedPath(), exporter.sourceDamage());
        return report;
    };
}

KVExportJob::KVExportJob(Work work, Progress progress, Finish finish)
    : mWork(std::move(work)), mProgress(std::move(progress)), mFinish(std::move(finish)) {}

// The poster is invalidated after the join (by its own destructor), so no worker posts while
// it changes, and nothing posted runs once the job is gone.
KVExportJob::~KVExportJob() {
    mCancel = true;
    wait();
}

void KVExportJob::start() {
    if (mThread.joinable() || !mWork) return;
    mRunning = true;
    mThread = std::thread([this] { run(); });
}

void KVExportJob::wait() {
    if (mThread.joinable()) mThread.join();
}

void KVExportJob::run() {
    const KVExportReport report = mWork(mCancel, [this](int percent) {
        mPoster.post([this, percent] {
            if (mProgress) mProgress(percent);
        });
    });
    mRunning = false;
    mPoster.post([this, report] {
        if (mFinish) mFinish(report);
    });
}

}  // namespace orvex
