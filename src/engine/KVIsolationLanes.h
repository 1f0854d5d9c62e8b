#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "common/Types.h"

namespace orvex {

// Runs the lanes of an isolation operation (one lane per channel index, each a run of steps
// that must happen in order, usually one per frame) on up to two threads: the calling thread
// and one helper. A lane is worked on by one thread at a time, a few steps per claim, the least
// advanced free lane first and none far ahead of the others, so every chunk file is written in
// the same order as by a single thread and the lanes stay close together. Chained lanes: step s of lane i waits for step s of
// lane i - 1 (what a lane hands on for a step is visible to the next lane once it may run it).
// Cancellation is looked at between claims; the lanes then stop together after the furthest
// step already claimed, so every lane has completed the same steps.
// Threads: run() is called from one thread; step() is called from two threads at once, but
// never for the same lane at once; progress() by whichever thread finds the lanes advanced, never
// by both at once, and no step is claimed meanwhile (a cancel set from it is seen before the
// next step).
class KVIsolationLanes {
public:
    using Step = std::function<void(std::size_t lane, FramePos step)>;
    using Progress = std::function<void(FrameCount stepsDoneByEveryLane)>;

    KVIsolationLanes(std::size_t lanes, FrameCount steps, const std::atomic<bool>& cancel);

    void setChained(bool chained) { mChained = chained; }
    // 1 runs every lane on the calling thread; more than 2 is taken as 2.
    void setThreadCount(int threads) { mThreads = threads; }

    // Runs every step of every lane; returns the steps that every lane completed (all of them
    // unless cancelled).
    FrameCount run(const Step& step, const Progress& progress = {});

private:
    struct Lane {
        FramePos done = 0;
        FramePos claimedEnd = 0;
        bool busy = false;
    };
    struct Claim {
        std::size_t lane = 0;
        FramePos from = 0, to = 0;
    };

    void work(const Step& step, const Progress& progress);
    // Waits for a lane with steps to run; false when there is nothing left to do.
    bool claim(std::unique_lock<std::mutex>& lock, Claim& claim, const Progress& progress);
    // The furthest step a lane may reach now.
    FramePos reach(std::size_t lane) const;
    bool finished() const;
    FrameCount doneByEveryLane() const;
    void noticeCancel();

    std::vector<Lane> mLanes;
    FrameCount mSteps;
    FrameCount mClaimSteps;
    const std::atomic<bool>& mCancel;
    bool mChained = false;
    int mThreads = 2;
    FramePos mLimit;  // steps to run; lowered once on cancellation
    bool mStopping = false;
    FrameCount mReported = -1;
    bool mReporting = false;
    std::mutex mMutex;
    std::condition_variable mChanged;
};

}  // namespace orvex
