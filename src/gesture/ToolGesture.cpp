#include "gesture/ToolGesture.h"

#include <cmath>

namespace orvex {

void ToolGesture::reset() {
    mDragging = false;
    mPoints.clear();
    mRect = {};
}

void ToolGesture::press(AnalysisTool tool, double x, double y) {
    reset();
    mCancelled = false;
    mTool = tool;
    if (isPencil(tool) && y >= kStripHeight) {
        mPoints.push_back({static_cast<std::int64_t>(x), static_cast<std::int64_t>(y)});
        return;
    }
    mRect = {x, y, 0.0, 0.0};
}

// A point at trunc(x) and trunc(y), or at the last point's pitch with Shift; the path holds at
// most kMaximumPoints.
void ToolGesture::addPoint(double x, double y, bool shift) {
    if (std::int64_t(mPoints.size()) >= kMaximumPoints) return;
    const auto px = static_cast<std::int64_t>(x);
    const auto py = shift && !mPoints.empty() ? mPoints.back().y : static_cast<std::int64_t>(y);
    mPoints.push_back({px, py});
}

void ToolGesture::drag(double x, double y, bool shift) {
    if (mCancelled) return;
    mDragging = true;
    if (isPencil(mTool) && y >= kStripHeight) {
        // A drag that began in the strip starts its path with the first point above it.
        if (mPoints.empty() || static_cast<std::int64_t>(x) > mPoints.back().x) addPoint(x, y, shift);
        return;
    }
    mRect.width = x - mRect.x;
    mRect.height = y - mRect.y;
}

GestureResult ToolGesture::release(double x, double y, bool shift) {
    GestureResult result;
    if (mCancelled) return result;
    if (mDragging) {
        // The rectangle ends where the button is let go, even when no drag event reported it.
        if (!(isPencil(mTool) && y >= kStripHeight)) {
            mRect.width = x - mRect.x;
            mRect.height = y - mRect.y;
        }
        if (isPencil(mTool) && y >= kStripHeight) {
            addPoint(x, y, shift);
            result.kind = GestureResult::Kind::path;
            result.points = mPoints;
        } else if (isPencil(mTool)) {
            result.kind = GestureResult::Kind::stripRange;
            result.start = static_cast<FramePos>(mRect.x);
            result.end = static_cast<FramePos>(mRect.x + mRect.width);
        } else {
            result.kind = GestureResult::Kind::rectangle;
            result.rectangle = mRect.normalised();
        }
    }
    reset();
    return result;
}

void ToolGesture::cancel() {
    reset();
    mCancelled = true;
}

}  // namespace orvex
