#pragma once

#include "control/KVOverviewViewInterface.h"
#include "control/KVSegmentRange.h"

namespace orvex {

class KVSegmentController;

// The input overview (the segment view) as its controller sees it. Main thread unless stated
// otherwise.
class KVSegmentViewInterface : public KVOverviewViewInterface {
public:
    // The range the view shows and its gestures edit, owned by the controller (which must
    // outlive this use or end it); null: a range of the view's own, a copy of the last one.
    virtual void useRange(KVSegmentRange* range) = 0;
    // Length of the whole file in frames; the view re-applies its selection rules to it.
    virtual void setNumFrames(FrameCount frames) = 0;
    virtual void setSelectionStartFrame(FramePos frame) = 0;
    virtual void setSelectionEndFrame(FramePos frame) = 0;
    virtual FramePos selectionStartFrame() = 0;
    virtual FramePos selectionEndFrame() = 0;
    virtual FramePos analysisStartFrame() const = 0;
    virtual FramePos analysisEndFrame() const = 0;
};

// The document's side of the segment controller; every message is optional. Main thread.
class KVSegmentControllerDelegate {
public:
    virtual ~KVSegmentControllerDelegate() = default;
    virtual void cursorWasMoved(KVSegmentController&) {}
    virtual void togglePlayStop(KVSegmentController&) {}
};

}  // namespace orvex
