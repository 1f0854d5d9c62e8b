#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/Result.h"
#include "common/Types.h"
#include "control/KVMainThreadPoster.h"
#include "control/KVOwnedMetadataChunks.h"
#include "engine/KVExportWriter.h"

namespace orvex {

class KVAnalysisController;

// The export of the analysed segment's rendered selection to a file, on a worker thread:
// progress and the finishing step reach the main thread by posted calls.
// Threads: construct, start, cancel, wait and destroy on the main thread. The worker never
// waits for the main thread (it posts without waiting), so joining it there cannot deadlock;
// the destructor cancels and joins, and a finishing step posted after that does not run.
class KVSegmentExportJob {
public:
    using Outcome = KVExportWriter::Outcome;
    // Main thread: percent values while writing; then the outcome and what it means to the user.
    using Progress = std::function<void(int percent)>;
    using Finish = std::function<void(Outcome outcome, const Result& result)>;

    // frames: the segment's length; the controller's selection store is read.
    KVSegmentExportJob(std::shared_ptr<KVAnalysisController> controller, FrameCount frames, std::string path,
                       const KVMetadataChunks& chunks, Progress progress, Finish finish);
    ~KVSegmentExportJob();
    KVSegmentExportJob(const KVSegmentExportJob&) = delete;
    KVSegmentExportJob& operator=(const KVSegmentExportJob&) = delete;

    void start();
    void cancel() { mCancel = true; }
    // True from start() until the worker has written its last block.
    bool isRunning() const { return mRunning.load(); }
    // Joins the worker; its finishing step is still to run from the main-thread queue.
    void wait();
    // Samples the export clipped to the file's range, once the worker has finished.
    FrameCount clippedSamples() const { return mClippedSamples.load(); }

private:
    void run();

    std::shared_ptr<KVAnalysisController> mController;
    const FrameCount mFrames;
    const std::string mPath;
    KVOwnedMetadataChunks mChunks;
    Progress mProgress;
    Finish mFinish;
    std::atomic<bool> mCancel{false};
    std::atomic<bool> mRunning{false};
    std::atomic<FrameCount> mClippedSamples{0};
    std::thread mThread;
    KVMainThreadPoster mPoster;
};

}  // namespace orvex
