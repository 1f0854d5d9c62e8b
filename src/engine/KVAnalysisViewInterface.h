#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "common/Types.h"
#include "engine/KVIsolationOperations.h"

namespace orvex {

class KVAnalysisFileSet;

// What an analysis controller asks of its view (the time-frequency display). The Qt view
// implements it; orvex-cli runs without a view and the tests use a stub.
// Threads: every call comes from the main thread, except that the preview thread calls the
// four state queries (isDrawing, isFirstResponder, pitchUnderMouse, monitor) under monitor().
class KVAnalysisViewInterface {
public:
    virtual ~KVAnalysisViewInterface() = default;

    // The view's own lock, taken by the preview thread around its state queries.
    virtual std::recursive_mutex& monitor() = 0;
    // True while the view draws.
    virtual bool isDrawing() = 0;
    // True while the view is its window's first responder.
    virtual bool isFirstResponder() = 0;
    // The pitch under the mouse, in sixths of a semitone.
    virtual float pitchUnderMouse() = 0;
    // The frame under the mouse: the horizontal mouse offset plus the visible left edge.
    virtual FramePos frameUnderMouse() = 0;
    // The edit cursor, in samples of the segment.
    virtual FramePos editCursor() = 0;
    virtual void setPlayCursor(FramePos sample) = 0;
    virtual FramePos playCursor() = 0;
    virtual void scrollToPlayCursor() = 0;

    virtual void redraw() = 0;
    // The selection store changed: the pictures are read again at the next draw.
    virtual void invalidateImage() { redraw(); }
    // Lays the view out again at its present size, so that newly stored frames are drawn.
    virtual void relayout() = 0;
    // "" clears the status line.
    virtual void setStatusMessage(const std::string& message) = 0;
    // A pencil path shown while its worker runs.
    virtual void addPath(const std::vector<KVPathPoint>& points) = 0;
    virtual void removePath(const std::vector<KVPathPoint>& points) = 0;
    // The stores the view draws (both null: the controller is detaching).
    virtual void setStores(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) = 0;
};

}  // namespace orvex
