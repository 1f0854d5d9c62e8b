#pragma once

#include <cstdint>
#include <vector>

#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "picture/DisplayBitmap.h"
#include "picture/DisplayGeometry.h"

namespace orvex {

class KVAnalysisFileSet;

// What decides the layers' pixels besides the window.
struct LayerSettings {
    bool showOriginal = true;   // draw the analysis; the selection is then drawn in red
    bool displayTracks = false;  // the analysis layer shows harmonic columns
    float contrast = 1.0f;
    bool operator==(const LayerSettings&) const = default;
};

// The two layers of the analysis view for the visible columns only: the original layer (the
// analysis in colour, with the level strip) and the selection layer (red over the analysis, or
// in colour when the analysis is hidden). A segment can be 310 000 columns wide; only the
// window's columns are read and only its rows are painted. When the window moves sideways
// with everything else unchanged, the overlapping columns and pixels are kept and only the
// newly uncovered columns are read and painted; the result is the same as a full build.
// Threads: used by one thread at a time; the owner locks around build and the bitmaps.
class DisplayLayers {
public:
    // Brings both layers to the window. Returns how many columns it read from each store.
    std::int64_t build(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, display::ColumnRange columns,
                       display::CellRange cells, const LayerSettings& settings);
    // The next build reads and paints everything.
    void invalidate() { mBuilt = false; }

    const DisplayBitmap& original() const { return mOriginal; }
    const DisplayBitmap& selection() const { return mSelection; }
    display::ColumnRange columns() const { return mColumns; }
    display::CellRange cells() const { return mCells; }
    const std::vector<DisplayColumn>& originalColumns() const { return mOriginalColumns; }
    // True when the selection layer is wholly transparent (red layer, nothing selected in the
    // window), so that drawing it can be skipped.
    bool selectionIsBlank() const { return mSelectionBlank; }
    // The analysis columns held, in colour at the given contrast with every row.
    DisplayBitmap snapshot(float contrast) const;

private:
    struct Span {
        int offset;  // into the held columns
        int count;
    };
    bool canShift(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, display::ColumnRange columns,
                  display::CellRange cells, const LayerSettings& settings) const;
    void reshape(int n);
    // Moves the held columns, summaries and pixels by the window's shift; returns the uncovered span.
    Span shift(FramePos newFirst);
    void readSpan(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, Span span);
    void paintSpan(Span span, display::CellRange cells);
    void readSummaries(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection);
    // Has the stores start reading the screenful beyond the window in the direction it moved.
    void readAhead(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, std::int64_t moved);

    DisplayBitmap mOriginal, mSelection;
    std::vector<DisplayColumn> mOriginalColumns, mSelectionColumns;
    std::vector<FrameSummary> mOriginalSummaries, mSelectionSummaries;
    display::ColumnRange mColumns;
    display::ColumnRange mReadAhead;  // the columns last asked for ahead of the window
    display::CellRange mCells;
    LayerSettings mSettings;
    KVAnalysisFileSet* mAnalysisStore = nullptr;
    KVAnalysisFileSet* mSelectionStore = nullptr;
    bool mBuilt = false;
    bool mSelectionBlank = false;
};

}  // namespace orvex
