#pragma once

#include "common/Types.h"

namespace orvex {

// The segment chosen for analysis in a file of a given length, and the range analysed last.
// Rules: the segment covers 2 to 900 seconds (88 200 to 39 690 000 frames at 44 100 Hz; a
// file shorter than 2 s still gets 2 s from frame 0) and its edges lie on multiples of the
// 128-frame analysis hop, but for an end at the file's end. Plain value; not synchronised.
class KVSegmentRange {
public:
    static constexpr FrameCount kMinimumFrames = 88'200;
    static constexpr FrameCount kMaximumFrames = 39'690'000;
    static constexpr FrameCount kBlock = kAnalysisHop;
    // Consecutive segments overlap by one analysis frame.
    static constexpr FrameCount kSegmentOverlap = 4096;

    // Stores the length, then applies both selection edges again so the rules hold for it.
    void setTotalFrames(FrameCount total);
    FrameCount totalFrames() const { return mTotal; }

    // Moves the start edge (the end follows to keep the length within the limits).
    void setSelectionStartFrame(FramePos frame);
    // Moves the end edge (the start follows to keep the length within the limits).
    void setSelectionEndFrame(FramePos frame);
    FramePos selectionStartFrame() const { return mStart; }
    FramePos selectionEndFrame() const { return mEnd; }

    // The analysed range (0, 0 = none), kept as given; its blocks are the frames / 128.
    void setAnalysisStartFrame(FramePos frame) { mAnalysisStart = frame; }
    void setAnalysisEndFrame(FramePos frame) { mAnalysisEnd = frame; }
    FramePos analysisStartFrame() const { return mAnalysisStart; }
    FramePos analysisEndFrame() const { return mAnalysisEnd; }
    FramePos analysisStartBlock() const { return mAnalysisStart / kBlock; }
    FramePos analysisEndBlock() const { return mAnalysisEnd / kBlock; }

    // Shift the segment by its length less the overlap, or less where the file's start or end
    // leaves less room; the length stays.
    void selectPreviousSegment();
    void selectNextSegment();
    // The segment becomes the analysed range; false (nothing changes) when there is none.
    bool selectAnalysisRange();

private:
    // keepStart: the start edge was set, the end follows.
    void snapToBlocks(bool keepStart);

    FrameCount mTotal = 0;
    FramePos mStart = 0;
    FramePos mEnd = 0;
    FramePos mAnalysisStart = 0;
    FramePos mAnalysisEnd = 0;
};

}  // namespace orvex
