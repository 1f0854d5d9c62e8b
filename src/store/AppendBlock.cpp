#include "store/AppendBlock.h"

namespace orvex {

AppendBlock::AppendBlock()
    : mRecords(std::make_unique<FrameRecord[]>(kCapacity)),
      mGrains(std::make_unique<KVEncodedGrain[]>(kCapacity)),
      mSpectral(std::make_unique<DisplayColumn[]>(kCapacity)),
      mHarmonic(std::make_unique<DisplayColumn[]>(kCapacity)),
      mSummaries(std::make_unique<FrameSummary[]>(kCapacity)) {}

void AppendBlock::take(FramePos frame) {
    if (mCount == 0) mStart = frame;
    ++mCount;
}

FrameRecord* AppendBlock::undoCopies() {
    if (!mUndoCopies) mUndoCopies = std::make_unique<FrameRecord[]>(kCapacity);
    return mUndoCopies.get();
}

}  // namespace orvex
