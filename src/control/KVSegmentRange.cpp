#include "control/KVSegmentRange.h"

#include <algorithm>

namespace orvex {

void KVSegmentRange::setTotalFrames(FrameCount total) {
    mTotal = std::max<FrameCount>(total, 0);
    setSelectionStartFrame(mStart);
    setSelectionEndFrame(mEnd);
}

void KVSegmentRange::setSelectionStartFrame(FramePos frame) {
    mStart = std::max<FramePos>(std::min(frame, mTotal - kMinimumFrames), 0);
    if (mStart > mEnd - kMinimumFrames) mEnd = mStart + kMinimumFrames;
    if (mStart < mEnd - kMaximumFrames) mEnd = mStart + kMaximumFrames;
    snapToBlocks(true);
}

void KVSegmentRange::setSelectionEndFrame(FramePos frame) {
    mEnd = std::max(std::min(frame, mTotal), kMinimumFrames);
    if (mEnd < mStart + kMinimumFrames) mStart = mEnd - kMinimumFrames;
    if (mStart + kMaximumFrames < mEnd) mStart = mEnd - kMaximumFrames;
    if (mStart < 0) {
        mStart = 0;
        mEnd = kMinimumFrames;
    }
    snapToBlocks(false);
}

// Both edges go down to a block boundary. When that leaves less than the minimum length the
// edge that follows moves one block outwards (the other one where the file's start or end
// leaves no room), so a snapped segment is never shorter than 2 s.
void KVSegmentRange::snapToBlocks(bool keepStart) {
    mStart = mStart / kBlock * kBlock;
    mEnd = mEnd / kBlock * kBlock;
    if (mEnd - mStart >= kMinimumFrames) return;
    const bool endHasRoom = mEnd + kBlock <= std::max(mTotal, kMinimumFrames + kBlock);
    if ((keepStart && endHasRoom) || mStart < kBlock)
        mEnd += kBlock;
    else
        mStart -= kBlock;
}

void KVSegmentRange::selectPreviousSegment() {
    const FrameCount d = mEnd - mStart - kSegmentOverlap;
    mStart = std::max<FramePos>(mStart - d, 0);
    mEnd = std::max<FramePos>(mEnd - d, 0);
}

void KVSegmentRange::selectNextSegment() {
    const FrameCount d = mEnd - mStart - kSegmentOverlap;
    mStart = std::min(mStart + d, mTotal);
    mEnd = std::min(mEnd + d, mTotal);
}

bool KVSegmentRange::selectAnalysisRange() {
    if (mAnalysisStart == mAnalysisEnd) return false;
    mStart = mAnalysisStart;
    mEnd = mAnalysisEnd;
    return true;
}

}  // namespace orvex
