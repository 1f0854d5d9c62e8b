#include "engine/KVBlockWindow.h"

#include <algorithm>

namespace orvex {

KVBlockWindow::KVBlockWindow(std::size_t slots, std::size_t lanes, std::size_t blockFrames)
    : mSlots(std::max<std::size_t>(slots, 1)),
      mSamples(mSlots, std::vector<std::vector<float>>(lanes, std::vector<float>(blockFrames, 0.0f))),
      mPointers(mSlots),
      mProgress(mSlots, -1.0f),
      mDone(lanes, 0) {
    for (std::size_t slot = 0; slot < mSlots; ++slot)
        for (auto& samples : mSamples[slot]) mPointers[slot].push_back(samples.data());
}

// The slot of the next block is free once every lane has released the block it held before.
bool KVBlockWindow::slotIsFree() const {
    const std::uint64_t slowest = mDone.empty() ? mPublished : *std::min_element(mDone.begin(), mDone.end());
    return slowest + mSlots > mPublished;
}

bool KVBlockWindow::othersAreDone(std::size_t lane, std::uint64_t block) const {
    for (std::size_t other = 0; other < mDone.size(); ++other)
        if (other != lane && mDone[other] <= block) return false;
    return true;
}

const std::vector<float*>& KVBlockWindow::nextBlock() {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return slotIsFree(); });
    return mPointers[mPublished % mSlots];
}

void KVBlockWindow::publish(float progress) {
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mProgress[mPublished % mSlots] = progress;
        ++mPublished;
    }
    mChanged.notify_all();
}

void KVBlockWindow::close() {
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mClosed = true;
    }
    mChanged.notify_all();
}

const float* KVBlockWindow::await(std::size_t lane, std::uint64_t block) {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [&] {
        return (block < mPublished && (lane != 0 || othersAreDone(lane, block))) || (mClosed && block >= mPublished);
    });
    if (block >= mPublished) return nullptr;
    return mPointers[block % mSlots][lane];
}

float KVBlockWindow::release(std::size_t lane, std::uint64_t block) {
    float progress = -1.0f;
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mDone[lane] = block + 1;
        if (othersAreDone(lane, block)) progress = mProgress[block % mSlots];
    }
    mChanged.notify_all();
    return progress;
}

}  // namespace orvex
