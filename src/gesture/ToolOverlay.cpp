#include "gesture/ToolOverlay.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/Pitch.h"

namespace orvex {

namespace {

struct Multiple {
    double k;
    double size;
};
constexpr std::array<Multiple, 4> kF1Multiples{{{0.5, 11}, {1.5, 9}, {2.0, 7}, {2.5, 5}}};
constexpr std::array<Multiple, 4> kMultiMultiples{{{2.0, 11}, {3.0, 9}, {4.0, 7}, {5.0, 5}}};

HarmonicCross crossAt(double x, double y, double size) {
    const double half = (size - 1.0) / 2.0;
    return {{x - half, y, size, 1.0}, {x, y - half, 1.0, size}};
}

std::vector<OverlayPoint> diamond(const GestureRect& r) {
    return {{r.midX(), r.y + 1}, {r.maxX() - 1, r.midY()}, {r.midX(), r.maxY() - 1}, {r.x + 1, r.midY()}};
}

std::vector<OverlayPoint> chevron(const GestureRect& r) {
    return {{r.x + 1, r.y + 1}, {r.maxX() - 1, r.midY()}, {r.x + 1, r.maxY() - 1}};
}

}  // namespace

std::string ToolOverlay::boxLabel(AnalysisTool tool, SelectionMode mode, bool shift) {
    const bool subtract = mode == SelectionMode::Subtract;
    switch (tool) {
    case AnalysisTool::box:
        if (subtract) return "reduce sel. gain (6dB)";
        return shift ? "increase sel. gain (6dB)" : "add orig to sel. (6dB)";
    case AnalysisTool::denoiseBox: return "red. noise in sel. (6dB)";
    case AnalysisTool::backgroundBox: return subtract ? "remove sustained from sel." : "remove transients from sel.";
    case AnalysisTool::gapFillerBox: return "fill with background";
    case AnalysisTool::magicBox: return shift ? "mask FG & interpolate BG in sel. (6dB)" : "interpolate selection";
    case AnalysisTool::deselectBox: return subtract ? "select all" : "de-select all";
    default: return {};
    }
}

BoxOverlay ToolOverlay::box(AnalysisTool tool, SelectionMode mode, bool shift, const GestureRect& gesture, double viewHeight,
                            double visibleHeight) {
    BoxOverlay overlay;
    const GestureRect r = gesture.normalised();
    overlay.fill = r;
    overlay.fillAlpha = 0.5;
    overlay.labelAt = {r.x + 2, r.maxY() + 2};
    if (tool == AnalysisTool::box) {
        overlay.outline = r;
        overlay.outlineAlpha = 1.0;
        overlay.ellipse = true;
        overlay.fillAlpha = 0.25;
    } else if (tool == AnalysisTool::backgroundBox) {
        overlay.lines = diamond(r);
        overlay.closedLines = true;
    } else if (tool == AnalysisTool::magicBox) {
        overlay.lines = chevron(r);
    } else if (tool == AnalysisTool::deselectBox) {
        overlay.outline = {gesture.x, 0.0, gesture.width, viewHeight};
        overlay.outlineAlpha = 1.0;
        overlay.fill = overlay.outline;
        overlay.fillAlpha = 0.25;
        overlay.labelAt = {gesture.x + gesture.width / 2.0 + 2.0, visibleHeight / 2.0 + 2.0};
    }
    if (!r.isEmpty()) overlay.label = boxLabel(tool, mode, shift);
    return overlay;
}

std::vector<HarmonicCross> ToolOverlay::harmonicCrosses(AnalysisTool tool, double mouseX, double frequency) {
    std::vector<HarmonicCross> crosses;
    if (!(frequency > 0.0) || (tool != AnalysisTool::f1Pencil && tool != AnalysisTool::multiPencil)) return crosses;
    const auto& multiples = tool == AnalysisTool::f1Pencil ? kF1Multiples : kMultiMultiples;
    for (const Multiple& m : multiples) {
        const double row = std::trunc(pitchOfHertz(m.k * frequency));
        crosses.push_back(crossAt(mouseX, row, m.size));
    }
    return crosses;
}

GestureRect ToolOverlay::stripRange(const GestureRect& gesture) {
    const GestureRect band{gesture.x, 2.0, gesture.width, 49.0};
    const GestureRect r = band.normalised();
    return {r.x + 2.0, r.y + 2.0, std::max(0.0, r.width - 4.0), std::max(0.0, r.height - 4.0)};
}

}  // namespace orvex
