#include "engine/KVIsolationWindow.h"

#include <algorithm>

#include "engine/KVBoxGeometry.h"
#include "engine/KVIsolationStores.h"

namespace orvex {

KVIsolationWindow::KVIsolationWindow(KVAnalysisFileSet& store, std::int32_t channel, FrameCount before,
                                     FrameCount after, FrameCount frameCount)
    : mStore(store), mChannel(channel), mBefore(std::max<FrameCount>(0, before)),
      mAfter(std::max<FrameCount>(1, after)), mFrames(frameCount), mCapacity(mBefore + mAfter),
      mMagnitudes(static_cast<std::size_t>(mCapacity) * kIsolationBins),
      mMinimum(kIsolationBins, static_cast<std::size_t>(mCapacity)) {
    for (FrameCount i = 0; i < mCapacity; ++i) mRecords.push_back(FrameRecord::create());
}

std::span<const float> KVIsolationWindow::magnitudes(FramePos t) const {
    return {mMagnitudes.data() + slot(t) * kIsolationBins, std::size_t(kIsolationBins)};
}

void KVIsolationWindow::advanceTo(FramePos t) {
    const FramePos oldest = std::max<FramePos>(0, t - mBefore);
    for (; mOldest < oldest && mOldest < mNextPush; ++mOldest) mMinimum.pop();
    mOldest = std::max(mOldest, oldest);
    if (mNextPush < mOldest) mNextPush = mOldest;
    const FramePos newest = std::min<FramePos>(mFrames - 1, t + mAfter - 1);
    for (; mNextPush <= newest; ++mNextPush) pushFrame(mNextPush);
}

void KVIsolationWindow::pushFrame(FramePos t) {
    FrameRecord& record = *mRecords[slot(t)];
    KVIsolationStores::read(mStore, t, mChannel, record);
    std::span<float> magnitudes{mMagnitudes.data() + slot(t) * kIsolationBins, std::size_t(kIsolationBins)};
    record.decodeMagnitudesInto(magnitudes);
    mMinimum.push(magnitudes);
}

}  // namespace orvex
