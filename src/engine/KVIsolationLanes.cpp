#include "engine/KVIsolationLanes.h"

#include <algorithm>
#include <thread>

namespace orvex {

namespace {
// Steps per claim: few enough that cancellation and progress stay prompt (fewer on short runs),
// enough that a lane does not change threads at every frame.
constexpr FrameCount kMaxClaimSteps = 4;
// How far a lane may run ahead of the least advanced one, in claims: a cancelled operation
// catches up at most this far (64 frames, a few milliseconds of work per lane). The lanes cost
// unequal time per frame (the mix lane also derives its display records), so with a shorter
// lead the two threads spent about a tenth of a command waiting for the slow lane.
constexpr FrameCount kLeadClaims = 16;
}  // namespace

KVIsolationLanes::KVIsolationLanes(std::size_t lanes, FrameCount steps, const std::atomic<bool>& cancel)
    : mLanes(lanes), mSteps(std::max<FrameCount>(0, steps)),
      mClaimSteps(std::clamp<FrameCount>(mSteps / 32, 1, kMaxClaimSteps)), mCancel(cancel), mLimit(mSteps) {}

FrameCount KVIsolationLanes::run(const Step& step, const Progress& progress) {
    if (mLanes.empty()) return mSteps;
    {
        std::jthread helper;
        if (mThreads > 1 && mLanes.size() > 1) helper = std::jthread([this, &step, &progress] { work(step, progress); });
        work(step, progress);
    }
    std::unique_lock lock(mMutex);
    const FrameCount done = doneByEveryLane();
    lock.unlock();
    if (progress && done > mReported) progress(done);
    return done;
}

void KVIsolationLanes::work(const Step& step, const Progress& progress) {
    std::unique_lock lock(mMutex);
    Claim next;
    while (claim(lock, next, progress)) {
        lock.unlock();
        for (FramePos s = next.from; s < next.to; ++s) step(next.lane, s);
        lock.lock();
        Lane& lane = mLanes[next.lane];
        lane.done = next.to;
        lane.busy = false;
        mChanged.notify_all();
    }
}

bool KVIsolationLanes::claim(std::unique_lock<std::mutex>& lock, Claim& next, const Progress& progress) {
    for (;;) {
        // No new claims while progress is reported, so that a cancel from the report is seen
        // before the next step.
        if (mReporting) {
            mChanged.wait(lock);
            continue;
        }
        const FrameCount done = doneByEveryLane();
        if (progress && done > mReported) {
            mReported = done;
            mReporting = true;
            lock.unlock();
            progress(done);
            lock.lock();
            mReporting = false;
            mChanged.notify_all();
            continue;
        }
        if (!mStopping && mCancel.load(std::memory_order_relaxed)) noticeCancel();
        std::size_t best = mLanes.size();
        for (std::size_t i = 0; i < mLanes.size(); ++i) {
            const Lane& lane = mLanes[i];
            if (lane.busy || reach(i) <= lane.done) continue;
            if (best == mLanes.size() || lane.done < mLanes[best].done) best = i;
        }
        if (best < mLanes.size()) {
            Lane& lane = mLanes[best];
            next = {best, lane.done, std::min<FramePos>(lane.done + mClaimSteps, reach(best))};
            lane.busy = true;
            lane.claimedEnd = next.to;
            return true;
        }
        if (finished()) return false;
        mChanged.wait(lock);
    }
}

FramePos KVIsolationLanes::reach(std::size_t lane) const {
    const FramePos reach = std::min(mLimit, doneByEveryLane() + kLeadClaims * mClaimSteps);
    if (mChained && lane > 0) return std::min(reach, mLanes[lane - 1].done);
    return reach;
}

bool KVIsolationLanes::finished() const {
    return std::all_of(mLanes.begin(), mLanes.end(), [this](const Lane& lane) { return lane.done >= mLimit; });
}

FrameCount KVIsolationLanes::doneByEveryLane() const {
    FrameCount done = mSteps;
    for (const Lane& lane : mLanes) done = std::min(done, lane.done);
    return done;
}

// The lanes stop together: where the furthest of them has got to or is already going.
void KVIsolationLanes::noticeCancel() {
    mStopping = true;
    mLimit = 0;
    for (const Lane& lane : mLanes) mLimit = std::max(mLimit, lane.busy ? lane.claimedEnd : lane.done);
}

}  // namespace orvex
