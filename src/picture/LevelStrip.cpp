#include "picture/LevelStrip.h"

#include <cmath>

#include "picture/DisplayGeometry.h"

namespace orvex {

namespace {
constexpr int kStripBottom = 2;   // the colour fill covers view rows 2 .. 51
constexpr int kStripHeight = 50;
constexpr int kOutlineBottom = 1;
constexpr int kOutlineTop = 52;
constexpr int kMarkBottom = 50;   // the selection mark covers rows 50 .. 55
}  // namespace

void LevelStrip::span(DisplayBitmap& into, int x, int from, int to, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                      double alpha) {
    for (int y = from; y <= to; ++y) into.blend(x, display::bitmapRowOfCell(y), r, g, b, alpha);
}

// The frame's sample range as a bar: white at half alpha one row beyond each end, its colour
// inside; y0 = minimum x 50 / 255 + 2, height (maximum - minimum) x 50 / 255.
void LevelStrip::envelope(DisplayBitmap& into, const FrameSummary& s, int x) {
    const double y0 = s.minimumLevel * double(kStripHeight) / 255.0 + kStripBottom;
    const double height = (double(s.maximumLevel) - double(s.minimumLevel)) * kStripHeight / 255.0;
    span(into, x, int(std::floor(y0 - 1.0)), int(std::ceil(y0 + height + 1.0)) - 1, 255, 255, 255, 0.5);
    span(into, x, int(std::floor(y0)), int(std::ceil(y0 + height)) - 1, s.red, s.green, s.blue, 1.0);
}

void LevelStrip::draw(DisplayBitmap& into, const FrameSummary* analysis, const FrameSummary* selection,
                      const DisplayColumn* selectionColumns, int n) {
    for (int i = 0; i + 2 < n; ++i) {
        const FrameSummary& s = analysis[i];
        span(into, i + 1, kStripBottom, kStripBottom + kStripHeight - 1, s.red, s.green, s.blue, 0.65);
        envelope(into, s, i + 1);
    }
    for (int x = 0; x < n; ++x) {
        span(into, x, kOutlineBottom, kOutlineBottom, 255, 255, 255, 1.0);
        span(into, x, kOutlineTop, kOutlineTop, 255, 255, 255, 1.0);
    }
    span(into, 0, kOutlineBottom, kOutlineTop, 255, 255, 255, 1.0);
    span(into, n - 1, kOutlineBottom, kOutlineTop, 255, 255, 255, 1.0);
    if (!selection || !selectionColumns) return;
    for (int i = 1; i + 1 < n; ++i) {
        if (selectionColumns[i - 1].valid == 0) continue;
        span(into, i - 1, kMarkBottom, kTopCell, 0, 255, 128, 1.0);
        span(into, i, kMarkBottom, kTopCell, 0, 255, 128, 1.0);
        const FrameSummary& s = selection[i - 1];
        span(into, i, kStripBottom, kStripBottom + kStripHeight - 1, s.red, s.green, s.blue, 1.0);
    }
}

}  // namespace orvex
