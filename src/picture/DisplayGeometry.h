#pragma once

#include <cstdint>

#include "common/Types.h"
#include "dsp/DisplayColumn.h"

// Geometry of the analysis picture. View coordinates: x is the analysis frame (one pixel
// column each), y is 6 x the MIDI note with y = 0 at the bottom; the picture is kDisplayRowCount
// rows high. Bitmaps are stored top row first. Pure functions; safe on any thread.
namespace orvex::display {

inline constexpr int kPictureHeight = kDisplayRowCount;
inline constexpr int kHighestRow = kPictureHeight - 1;

// Inclusive range of display cells (rows of the picture counted from the bottom).
struct CellRange {
    int lowest = 0;
    int highest = kHighestRow;
    bool operator==(const CellRange&) const = default;
};

// Half-open range of picture columns (analysis frames).
struct ColumnRange {
    FramePos first = 0;
    std::int64_t count = 0;
    bool operator==(const ColumnRange&) const = default;
};

// The bitmap row (top row 0) that shows cell r: cell 0 is the bottom row, so every cell of a
// column lands inside the bitmap; values outside 0 .. kHighestRow are clamped to it.
int bitmapRowOfCell(int cell);

// Cells from floor(y) to floor(floor(y) + height) of a visible rectangle, clamped to the picture.
CellRange visibleCells(double visibleY, double visibleHeight);

// Columns held for a visible rectangle: from the integer part of x, visible width + 1 of them.
ColumnRange visibleColumns(double visibleX, double visibleWidth);

// Width of the view: the analysis' frames, or the width the layout asks for when it is wider.
std::int64_t virtualWidth(FrameCount frames, std::int64_t layoutWidth);

// Row of a frequency: floor(6 x (12 x log2(f / 440) + 69)); frequencies at or below 0 (and
// those below the lowest row) give row 0.
int rowOfFrequency(double frequency);

// Frequency of height y: 440 x 2^((y x 1/6 - 69) / 12), with 1/6 in single precision as the
// status line computes it.
double frequencyOfHeight(double y);

// Analysis frame under view column x, and the sample frame where it starts.
FramePos columnOfSample(FramePos sample);
FramePos sampleOfColumn(FramePos column);

}  // namespace orvex::display
