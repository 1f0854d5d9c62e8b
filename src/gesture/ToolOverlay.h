#pragma once

#include <string>
#include <vector>

#include "gesture/GestureRect.h"
#include "gesture/ToolGesture.h"

namespace orvex {

struct OverlayPoint {
    double x = 0.0, y = 0.0;
    bool operator==(const OverlayPoint&) const = default;
};

// A cross marking a harmonic under the mouse: two rectangles to stroke.
struct HarmonicCross {
    GestureRect horizontal, vertical;
    bool operator==(const HarmonicCross&) const = default;
};

// What a box tool draws over its rectangle. Fill and outline alphas are those of the blue
// (0.2, 0.2, 1) drawn with additive compositing.
struct BoxOverlay {
    GestureRect outline;              // empty: none
    double outlineAlpha = 0.0;
    GestureRect fill;                 // the filled rectangle or the rectangle of the ellipse
    bool ellipse = false;
    double fillAlpha = 0.0;
    std::vector<OverlayPoint> lines;  // diamond (closed) or chevron (open), line width 1
    bool closedLines = false;
    std::string label;
    OverlayPoint labelAt;
};

// Geometry and texts of the tool overlays. Pure functions; safe on any thread.
class ToolOverlay {
public:
    ToolOverlay() = delete;

    // The overlay of a box tool for its gesture rectangle (as dragged); the label only when the
    // normalised rectangle is not empty. viewHeight spans the deselect band; visibleHeight places
    // its label.
    static BoxOverlay box(AnalysisTool tool, SelectionMode mode, bool shift, const GestureRect& gesture, double viewHeight,
                          double visibleHeight);
    static std::string boxLabel(AnalysisTool tool, SelectionMode mode, bool shift);
    // "+" adding, "-" subtracting, drawn at the first point + (2, 2).
    static std::string pencilSign(SelectionMode mode) { return mode == SelectionMode::Subtract ? "-" : "+"; }
    // Crosses at chosen multiples k of the frequency under the mouse (F1: 0.5, 1.5, 2, 2.5; multi:
    // 2, 3, 4, 5; sizes 11, 9, 7, 5), at the row trunc(6 x (12 log2(k f / 440) + 69)).
    static std::vector<HarmonicCross> harmonicCrosses(AnalysisTool tool, double mouseX, double frequency);
    // A pencil's strip range: rows 2 .. 51, inset by 2, normalised.
    static GestureRect stripRange(const GestureRect& gesture);
};

}  // namespace orvex
