#pragma once

#include <array>
#include <cstdint>

#include "dsp/DisplayColumn.h"
#include "picture/DisplayBitmap.h"
#include "picture/DisplayGeometry.h"

namespace orvex {

// How a layer turns the cells of display columns into pixels.
// Colour: each component times the contrast, truncated, at most 255; always opaque.
// Red: v = 255 x sqrt((red + green + blue) / 765) x (0.25 x contrast + 0.75); opaque red of
// trunc(v) (255 above it), or fully transparent when v is 0.
// Tables are built once per contrast, so a pixel costs three look-ups.
// Threads: immutable after construction.
class LayerPixels {
public:
    enum class Mode { colour, red };

    LayerPixels(Mode mode, float contrast);

    std::uint32_t operator()(const DisplayColumnRow& cell) const {
        if (mMode == Mode::red) return mRed[std::size_t(cell.red) + cell.green + cell.blue];
        return 0xff000000u | (std::uint32_t(mScaled[cell.red]) << 16) | (std::uint32_t(mScaled[cell.green]) << 8) |
               std::uint32_t(mScaled[cell.blue]);
    }

    // Cells of columns[0 .. count) into bitmap columns x .. x + count, rows of the given cells only.
    void render(const DisplayColumn* columns, int count, display::CellRange cells, DisplayBitmap& into,
                int x) const;

private:
    Mode mMode;
    std::array<std::uint8_t, 256> mScaled{};
    std::array<std::uint32_t, 766> mRed{};
};

}  // namespace orvex
