#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "common/Types.h"
#include "engine/KVBlockQueue.h"

namespace orvex {

class KVAnalysisFileSet;
class KVAnalysisRunner;
class KVBlockAnalysis;
class KVEditHistory;

// Told about a runner's progress; always called on the main thread.
class KVAnalysisRunnerDelegate {
public:
    virtual ~KVAnalysisRunnerDelegate() = default;
    virtual void analysisRunnerDidProgress(KVAnalysisRunner& runner) = 0;
    virtual void analysisRunnerDidFinish(KVAnalysisRunner& runner) = 0;
};

// Analyses a segment (the newest step of an edit history) into its analysis store on a worker
// thread at the lowest priority: 8192-frame blocks of every channel and of the channels' mix.
// The worker reads the blocks into a queue of a few blocks; one analysis thread per core takes
// the next block, analyses all its streams together (the mix's warp search from the channels'
// spectra) and stores its records in turn, so the stored records follow each other in frame
// order, each frame's channels before its mix, whichever thread finished first.
// Threads: created, cancelled and released on any thread; delegate calls are posted to the main
// thread. The worker keeps the runner alive until it has ended.
class KVAnalysisRunner : public std::enable_shared_from_this<KVAnalysisRunner> {
public:
    static constexpr FrameCount kBlockFrames = 8192;
    static constexpr float kWarpLimit = 1.1f;
    static constexpr std::int64_t kWarpSteps = 11;

    // Null when either argument is missing; otherwise starts the worker at once. parallel false
    // feeds every processor on the worker itself.
    static std::shared_ptr<KVAnalysisRunner> initWithEditHistory(std::shared_ptr<KVEditHistory> history,
                                                                 std::shared_ptr<KVAnalysisFileSet> store,
                                                                 bool parallel = true);
    ~KVAnalysisRunner();
    KVAnalysisRunner(const KVAnalysisRunner&) = delete;
    KVAnalysisRunner& operator=(const KVAnalysisRunner&) = delete;

    // Ends the block loop at the next block boundary; the end steps still run.
    void cancel() { mCancelRequested = true; }
    bool wasCancelled() const { return mCancelRequested.load(); }
    float progress() const { return mProgress.load(); }
    bool isRunning() const { return mIsRunning.load(); }
    // True once the worker has done everything, the finishing chime included.
    bool hasEnded() const { return mHasEnded.load(); }
    const std::shared_ptr<KVAnalysisFileSet>& store() const { return mStore; }
    // The history the blocks are read from (under its monitor, one block at a time).
    const std::shared_ptr<KVEditHistory>& editHistory() const { return mEditHistory; }
    FrameCount frameCount() const;
    bool isAnalysisComplete() const;
    // Not retained. Set and read on the main thread only.
    void setDelegate(KVAnalysisRunnerDelegate* delegate) { mDelegate = delegate; }
    KVAnalysisRunnerDelegate* delegate() const { return mDelegate; }

    // The records a stored analysis of a segment of length frames must hold to be used as it
    // is (what the analysis yielded when it read whole blocks until its position passed the
    // length; analyses stored then stay usable).
    static FrameCount expectedFrameCount(FrameCount length);
    // The records an analysis now yields: whole blocks until every frame that overlaps the
    // segment's last sample is analysed, so that the rendered end is as complete as the rest.
    static FrameCount analysedFrameCount(FrameCount length, std::int64_t frameSize);

    struct Token {
        explicit Token() = default;
    };
    KVAnalysisRunner(Token, std::shared_ptr<KVEditHistory> history, std::shared_ptr<KVAnalysisFileSet> store,
                     bool parallel);

private:
    void runInNewThread();
    bool storedAnalysisIsUsable();
    void startAnalysis();
    void analyzeBlocks();
    // Reads the segment block by block into the queue until its end or a cancel; without
    // workers, analyses and stores each block itself.
    void readBlocks(KVBlockQueue& queue, std::int32_t channels, KVBlockAnalysis* here);
    // Reads length frames of the segment at position into buffers[1 ..] and their mix into
    // buffers[0]. Inside a file, frames before and after the segment are the file's own.
    void readSegment(FramePos position, FrameCount length, std::int32_t channels, float* const* buffers);
    // The sound before the segment, one frame of each stream ending at its start: zeros, or the
    // file's own frames when the segment starts inside a file.
    std::vector<std::vector<float>> leadIn(std::int32_t channels);
    // Analyses a block taken from the queue and stores its frames in turn.
    void analyzeAndStore(KVBlockQueue& queue, KVBlockAnalysis& analysis, const KVBlockQueue::Taken& taken);
    void workerLoop(KVBlockQueue& queue, std::int32_t channels);
    void finishAnalysis();
    void postProgress();
    void postFinish();

    std::atomic<bool> mIsRunning{false};
    std::atomic<bool> mHasEnded{false};
    std::int64_t mZeroPadding;
    std::int64_t mFrameSize;
    double mSampleRate;
    std::shared_ptr<KVEditHistory> mEditHistory;
    std::int64_t mOverlap;
    std::atomic<bool> mCancelRequested{false};
    std::shared_ptr<KVAnalysisFileSet> mStore;
    std::atomic<float> mProgress{0.0f};
    KVAnalysisRunnerDelegate* mDelegate = nullptr;

    bool mParallel;
    std::thread mThread;
};

}  // namespace orvex
