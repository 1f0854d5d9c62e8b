#pragma once

#include <cstdint>
#include <vector>

#include "common/Types.h"
#include "engine/KVIsolationOperations.h"
#include "engine/KVToolKinds.h"
#include "gesture/GestureRect.h"

namespace orvex {

// What a finished gesture reports.
struct GestureResult {
    enum class Kind { none, path, stripRange, rectangle };
    Kind kind = Kind::none;
    std::vector<KVPathPoint> points;  // path, in drawing order
    FramePos start = 0, end = 0;      // strip range, not ordered
    GestureRect rectangle;            // normalised
};

// One mouse gesture of a tool in view coordinates (x = frame, y = 6 x MIDI note): a pencil
// records a path running strictly left to right above the 50-pixel strip or a time range in it;
// a box records a rectangle. Shift keeps a pencil at its first point's pitch. Escape cancels
// the gesture until the next press.
// Threads: the GUI thread only.
class ToolGesture {
public:
    static constexpr double kStripHeight = 50.0;
    static constexpr std::int64_t kMaximumPoints = 65535;

    void press(AnalysisTool tool, double x, double y);
    // Ignored after a cancel.
    void drag(double x, double y, bool shift);
    // Ignored after a cancel; a press without a drag reports nothing.
    GestureResult release(double x, double y, bool shift);
    void cancel();

    AnalysisTool tool() const { return mTool; }
    bool isDragging() const { return mDragging; }
    bool isCancelled() const { return mCancelled; }
    // Whether the gesture records a path (a pencil pressed above the strip).
    bool isPath() const { return isPencil(mTool) && !mPoints.empty(); }
    const std::vector<KVPathPoint>& points() const { return mPoints; }
    // The gesture rectangle as dragged (origin at the press point, size may be negative).
    const GestureRect& rectangle() const { return mRect; }

private:
    void addPoint(double x, double y, bool shift);
    void reset();

    AnalysisTool mTool = AnalysisTool::multiPencil;
    std::vector<KVPathPoint> mPoints;
    GestureRect mRect;
    bool mDragging = false;
    bool mCancelled = false;
};

}  // namespace orvex
