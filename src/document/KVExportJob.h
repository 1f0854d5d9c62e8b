#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "common/Types.h"
#include "control/KVMainThreadPoster.h"
#include "control/KVOwnedMetadataChunks.h"
#include "document/KVExportReport.h"

namespace orvex {

class KVAnalysisController;
class KVEditHistory;

// An export of the analysed segment's rendered selection (the segment itself, or its stems over
// the whole file) on a worker thread: progress and the finishing step reach the main thread by
// posted calls.
// Threads: construct, start, cancel, wait and destroy on the main thread. The worker never
// waits for the main thread (it posts without waiting), so joining it there cannot deadlock;
// the destructor cancels and joins, and a finishing step posted after that does not run.
class KVExportJob {
public:
    // Worker thread: writes the files, reporting whole percent values, and tells how it ended.
    using Work =
        std::function<KVExportReport(const std::atomic<bool>& cancel, const std::function<void(int)>& progress)>;
    // Main thread: percent values while writing; then the report.
    using Progress = std::function<void(int percent)>;
    using Finish = std::function<void(const KVExportReport& report)>;

    // The segment's selection to path: frames, the segment's length, of the controller's store.
    static Work segment(std::shared_ptr<KVAnalysisController> controller, FrameCount frames, std::string path,
                        KVOwnedMetadataChunks chunks);
    // The stems of the segment at start (frames long) over the whole of source, named after output
    // (KVStemsExporter::pathsFor).
    static Work stems(std::shared_ptr<KVAnalysisController> controller, std::shared_ptr<KVEditHistory> source,
                      FramePos start, FrameCount frames, const std::string& output, KVOwnedMetadataChunks chunks);

    KVExportJob(Work work, Progress progress, Finish finish);
    ~KVExportJob();
    KVExportJob(const KVExportJob&) = delete;
    KVExportJob& operator=(const KVExportJob&) = delete;

    void start();
    void cancel() { mCancel = true; }
    // True from start() until the worker has written its last block.
    bool isRunning() const { return mRunning.load(); }
    // Joins the worker; its finishing step is still to run from the main-thread queue.
    void wait();

private:
    void run();

    Work mWork;
    Progress mProgress;
    Finish mFinish;
    std::atomic<bool> mCancel{false};
    std::atomic<bool> mRunning{false};
    std::thread mThread;
    KVMainThreadPoster mPoster;
};

}  // namespace orvex
