#pragma once

#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "picture/DisplayBitmap.h"

namespace orvex {

// The 50-pixel strip under the picture: each frame's level envelope over its mean colour, an
// outline, and a green mark with the selection's colour over every selected frame.
// Pure drawing into the bitmap; the caller locks it.
class LevelStrip {
public:
    LevelStrip() = delete;

    // Highest view row the strip draws in (the selection marks reach it).
    static constexpr int kTopCell = 55;

    // n summaries of the analysis and of the selection and the selection's n display columns
    // (for their valid flags), all of the visible columns; selection arrays may be null.
    static void draw(DisplayBitmap& into, const FrameSummary* analysis, const FrameSummary* selection,
                     const DisplayColumn* selectionColumns, int n);

private:
    // Column x, view rows from .. to (inclusive), laid over with a colour of the given alpha.
    static void span(DisplayBitmap& into, int x, int from, int to, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                     double alpha);
    static void envelope(DisplayBitmap& into, const FrameSummary& summary, int x);
};

}  // namespace orvex
