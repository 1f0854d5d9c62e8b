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

// Both edges go down to a block boundary, except an end at the file's end, which stays there so
// that the segment keeps the file's last samples. When that leaves less than the minimum length
// the edge that follows moves one block outwards (the other one where the file's start or end
// leaves no room), so a snapped segment is never shorter than 2 s.
void KVSegmentRange::snapToBlocks(bool keepStart) {
    mStart = mStart / kBlock * kBlock;
    if (mEnd != mTotal) mEnd = mEnd / kBlock * kBlock;
    if (mEnd - mStart >= kMinimumFrames) return;
    const bool endHasRoom = mEnd + kBlock <= std::max(mTotal, kMinimumFrames + kBlock);
    if ((keepStart && endHasRoom) || mStart < kBlock)
        mEnd += kBlock;
    else
        mStart -= kBlock;
}

// Both move by the segment's length less the overlap, or by the whole blocks of room left
// before the file's start or end when that is less, so the segment keeps its length and its
// edges stay on blocks (shifting both edges to the end or the start separately would leave an
// empty or too short segment there).
void KVSegmentRange::selectPreviousSegment() {
    const FrameCount d = (mEnd - mStart - kSegmentOverlap) / kBlock * kBlock;
    const FrameCount shift = std::clamp<FrameCount>(d, 0, mStart / kBlock * kBlock);
    mStart -= shift;
    mEnd -= shift;
    // A segment that ended at the file's end moves back onto a block edge.
    if (mEnd != mTotal) mEnd = mEnd / kBlock * kBlock;
}

void KVSegmentRange::selectNextSegment() {
    const FrameCount d = (mEnd - mStart - kSegmentOverlap) / kBlock * kBlock;
    const FrameCount room = std::max<FrameCount>(mTotal - mEnd, 0) / kBlock * kBlock;
    const FrameCount shift = std::clamp<FrameCount>(d, 0, room);
    mStart += shift;
    mEnd += shift;
}

bool KVSegmentRange::selectAnalysisRange() {
    if (mAnalysisStart == mAnalysisEnd) return false;
    mStart = mAnalysisStart;
    mEnd = mAnalysisEnd;
    return true;
}

}  // namespace orvex
