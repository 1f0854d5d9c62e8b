#include "picture/LayerPixels.h"

#include <algorithm>
#include <cmath>

namespace orvex {

LayerPixels::LayerPixels(Mode mode, float contrast) : mMode(mode) {
    for (int v = 0; v < 256; ++v)
        mScaled[std::size_t(v)] = static_cast<std::uint8_t>(std::min(255.0f, float(v) * contrast));
    const float gain = 0.25f * contrast + 0.75f;
    for (int sum = 0; sum <= 765; ++sum) {
        const float v = 255.0f * std::sqrt(float(sum) / 765.0f) * gain;
        std::uint32_t pixel = 0;
        if (v > 255.0f)
            pixel = DisplayBitmap::opaque(255, 0, 0);
        else if (v > 0.0f)
            pixel = DisplayBitmap::opaque(static_cast<std::uint8_t>(v), 0, 0);
        mRed[std::size_t(sum)] = pixel;
    }
}

void LayerPixels::render(const DisplayColumn* columns, int count, display::CellRange cells, DisplayBitmap& into,
                         int x) const {
    const int last = std::min(count, into.width() - x);
    for (int cell = cells.lowest; cell <= cells.highest; ++cell) {
        std::uint32_t* row = into.row(display::bitmapRowOfCell(cell)) + x;
        for (int c = 0; c < last; ++c) row[c] = (*this)(columns[c].rows[cell]);
    }
}

}  // namespace orvex
