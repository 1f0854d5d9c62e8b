#include "engine/KVBlockQueue.h"

#include <algorithm>

namespace orvex {

KVBlockQueue::KVBlockQueue(std::size_t slots, std::size_t streams, std::size_t frames)
    : mSlots(std::max<std::size_t>(slots, 1)),
      mSamples(mSlots, std::vector<std::vector<float>>(streams, std::vector<float>(frames, 0.0f))),
      mPointers(mSlots),
      mProgress(mSlots, -1.0f) {
    for (std::size_t slot = 0; slot < mSlots; ++slot)
        for (auto& samples : mSamples[slot]) mPointers[slot].push_back(samples.data());
}

const std::vector<float*>& KVBlockQueue::nextBlock() {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mStored + mSlots > mPublished; });
    return mPointers[mPublished % mSlots];
}

void KVBlockQueue::publish(float progress) {
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mProgress[mPublished % mSlots] = progress;
        ++mPublished;
    }
    mChanged.notify_all();
}

void KVBlockQueue::close() {
    {
        std::lock_guard<std::mutex> guard(mMutex);
        mClosed = true;
    }
    mChanged.notify_all();
}

std::optional<KVBlockQueue::Taken> KVBlockQueue::take() {
    std::unique_lock<std::mutex> lock(mMutex);
    mChanged.wait(lock, [this] { return mTaken < mPublished || mClosed; });
    if (mTaken >= mPublished) return std::nullopt;
    const std::uint64_t block = mTaken++;
    return Taken{block, &mPointers[block % mSlots]};
}

float KVBlockQueue::storeInTurn(std::uint64_t block, const std::function<void()>& store) {
    {
        std::unique_lock<std::mutex> lock(mMutex);
        mChanged.wait(lock, [&] { return mStored == block; });
    }
    store();
    float progress = -1.0f;
    {
        std::lock_guard<std::mutex> guard(mMutex);
        progress = mProgress[block % mSlots];
        ++mStored;
    }
    mChanged.notify_all();
    return progress;
}

}  // namespace orvex
