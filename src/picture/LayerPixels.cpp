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

// Columns lie 12016 bytes apart and bitmap rows a whole width apart, so the loops run over
// tiles of kTile cells by kTile columns: each tile touches few memory pages, where a row-by-row
// pass over a wide window touches a page per column for every cell.
void LayerPixels::render(const DisplayColumn* columns, int count, display::CellRange cells, DisplayBitmap& into,
                         int x) const {
    constexpr int kTile = 32;
    const int last = std::min(count, into.width() - x);
    for (int cellTile = cells.lowest; cellTile <= cells.highest; cellTile += kTile) {
        const int cellEnd = std::min(cells.highest + 1, cellTile + kTile);
        for (int columnTile = 0; columnTile < last; columnTile += kTile) {
            const int columnEnd = std::min(last, columnTile + kTile);
            for (int cell = cellTile; cell < cellEnd; ++cell) {
                std::uint32_t* row = into.row(display::bitmapRowOfCell(cell)) + x;
                for (int c = columnTile; c < columnEnd; ++c) row[c] = (*this)(columns[c].rows[cell]);
            }
        }
    }
}

}  // namespace orvex
