#include "document/KVSegmentExportJob.h"

#include "engine/KVAnalysisController.h"
#include "engine/KVSegmentExporter.h"

namespace orvex {

KVSegmentExportJob::KVSegmentExportJob(std::shared_ptr<KVAnalysisController> controller, FrameCount frames,
                                       std::string path, const KVMetadataChunks& chunks, Progress progress,
                                       Finish finish)
    : mController(std::move(controller)), mFrames(frames), mPath(std::move(path)), mChunks(chunks),
      mProgress(std::move(progress)), mFinish(std::move(finish)) {}

// The poster is invalidated after the join (by its own destructor), so no worker posts while
// it changes, and nothing posted runs once the job is gone.
KVSegmentExportJob::~KVSegmentExportJob() {
    mCancel = true;
    wait();
}

void KVSegmentExportJob::start() {
    if (mThread.joinable() || !mController) return;
    mRunning = true;
    mThread = std::thread([this] { run(); });
}

void KVSegmentExportJob::wait() {
    if (mThread.joinable()) mThread.join();
}

void KVSegmentExportJob::run() {
    KVSegmentExporter exporter(mController->store(), mFrames, mController->monitor());
    const Outcome outcome = exporter.exportSelectionToPath(mPath, mChunks.view(), mCancel, [this](int percent) {
        mPoster.post([this, percent] {
            if (mProgress) mProgress(percent);
        });
    });
    mClippedSamples = exporter.clippedSamples();
    const Result result = KVExportWriter::resultOf(outcome, mPath);
    mRunning = false;
    mPoster.post([this, outcome, result] {
        if (mFinish) mFinish(outcome, result);
    });
}

}  // namespace orvex
