#include "picture/DisplayLayers.h"

#include <algorithm>
#include <cstring>

#include "picture/LayerPixels.h"
#include "picture/LevelStrip.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex {

namespace {

constexpr std::int32_t kOverviewChannel = -1;

// count columns of a store from frame into columns; nothing, or frames past the ones it holds,
// stay zeroed (transparent).
void readColumns(KVAnalysisFileSet* store, DisplayColumn* into, FramePos frame, int count, DisplayColumnKind kind) {
    FrameCount got = 0;
    if (store && count > 0) {
        got = store->readDisplayColumns(into, frame, count, kOverviewChannel, kind);
        got = std::clamp<FrameCount>(std::min(got, store->framesAvailableFromIndex(frame)), 0, count);
    }
    std::memset(static_cast<void*>(into + got), 0, std::size_t(count - got) * sizeof(DisplayColumn));
}

void readSummaries(KVAnalysisFileSet* store, std::vector<FrameSummary>& into, FramePos frame) {
    FrameCount got = 0;
    if (store && !into.empty()) got = std::clamp<FrameCount>(
        store->readFrameSummaries(into.data(), frame, FrameCount(into.size()), kOverviewChannel), 0,
        FrameCount(into.size()));
    std::fill(into.begin() + got, into.end(), FrameSummary{});
}

template <typename T>
void shiftVector(std::vector<T>& v, std::int64_t by) {
    const auto n = std::int64_t(v.size());
    const std::size_t kept = std::size_t(n - std::abs(by)) * sizeof(T);
    if (by > 0)
        std::memmove(static_cast<void*>(v.data()), v.data() + by, kept);
    else
        std::memmove(static_cast<void*>(v.data() - by), v.data(), kept);
}

void clearSpan(DisplayBitmap& bitmap, display::CellRange cells, int x, int count) {
    for (int cell = cells.lowest; cell <= cells.highest; ++cell)
        std::fill_n(bitmap.row(display::bitmapRowOfCell(cell)) + x, std::min(count, bitmap.width() - x), 0u);
}

}  // namespace

bool DisplayLayers::canShift(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, display::ColumnRange columns,
                             display::CellRange cells, const LayerSettings& settings) const {
    return mBuilt && analysis == mAnalysisStore && selection == mSelectionStore && settings == mSettings &&
           cells == mCells && columns.count == mColumns.count &&
           std::abs(columns.first - mColumns.first) < columns.count;
}

std::int64_t DisplayLayers::build(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection,
                                  display::ColumnRange columns, display::CellRange cells,
                                  const LayerSettings& settings) {
    Span span{0, int(columns.count)};
    const std::int64_t moved = mBuilt ? columns.first - mColumns.first : 0;
    if (canShift(analysis, selection, columns, cells, settings)) {
        span = shift(columns.first);
    } else {
        reshape(int(columns.count));
        mOriginal.clear();
        mSelection.clear();
    }
    mColumns = columns;
    mCells = cells;
    mSettings = settings;
    mAnalysisStore = analysis;
    mSelectionStore = selection;
    readSpan(analysis, selection, span);
    readAhead(analysis, selection, moved);
    readSummaries(analysis, selection);
    paintSpan(span, cells);
    // The strip lies over the bottom rows of the whole window: paint them again beneath it.
    const display::CellRange stripCells{cells.lowest, std::min(cells.highest, LevelStrip::kTopCell)};
    if (span.count != columns.count && stripCells.lowest <= stripCells.highest)
        paintSpan({0, int(columns.count)}, stripCells);
    const int n = int(columns.count);
    LevelStrip::draw(mOriginal, mOriginalSummaries.data(), selection ? mSelectionSummaries.data() : nullptr,
                     mSelectionColumns.data(), n);
    mSelectionBlank = settings.showOriginal &&
                      std::none_of(mSelectionColumns.begin(), mSelectionColumns.end(),
                                   [](const DisplayColumn& column) { return column.valid != 0; });
    mBuilt = true;
    return span.count;
}

void DisplayLayers::reshape(int n) {
    n = std::max(0, n);
    if (int(mOriginalColumns.size()) != n) {
        mOriginalColumns.assign(std::size_t(n), DisplayColumn{});
        mSelectionColumns.assign(std::size_t(n), DisplayColumn{});
        mOriginalSummaries.assign(std::size_t(n), FrameSummary{});
        mSelectionSummaries.assign(std::size_t(n), FrameSummary{});
    }
    if (mOriginal.width() != n) {
        mOriginal.reset(n, display::kPictureHeight);
        mSelection.reset(n, display::kPictureHeight);
    }
}

DisplayLayers::Span DisplayLayers::shift(FramePos newFirst) {
    const std::int64_t by = newFirst - mColumns.first;
    const int n = int(mColumns.count);
    if (by == 0) return {0, 0};
    shiftVector(mOriginalColumns, by);
    shiftVector(mSelectionColumns, by);
    const int top = display::bitmapRowOfCell(mCells.highest), bottom = display::bitmapRowOfCell(mCells.lowest);
    mOriginal.shiftRows(top, bottom, int(-by));
    mSelection.shiftRows(top, bottom, int(-by));
    return by > 0 ? Span{n - int(by), int(by)} : Span{0, int(-by)};
}

void DisplayLayers::readSpan(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, Span span) {
    const FramePos frame = mColumns.first + span.offset;
    const DisplayColumnKind kind = mSettings.displayTracks ? DisplayColumnKind::harmonic : DisplayColumnKind::spectral;
    if (mSettings.showOriginal)
        readColumns(analysis, mOriginalColumns.data() + span.offset, frame, span.count, kind);
    readColumns(selection, mSelectionColumns.data() + span.offset, frame, span.count, DisplayColumnKind::spectral);
}

// Scrolling reads a few new columns per repaint, 12 KB apart in files of gigabytes: columns not
// in the system's cache would each wait for the disk. The screenful ahead is asked for in the
// background instead, only the part not asked for by the previous repaint.
void DisplayLayers::readAhead(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection, std::int64_t moved) {
    if (moved == 0) return;
    const FrameCount n = mColumns.count;
    const FramePos first = moved > 0 ? mColumns.first + n : std::max<FramePos>(0, mColumns.first - n);
    const FramePos end = moved > 0 ? mColumns.first + 2 * n : mColumns.first;
    const FramePos askedFirst = mReadAhead.first, askedEnd = mReadAhead.first + mReadAhead.count;
    FramePos from = first, to = end;
    if (first >= askedFirst && first < askedEnd) from = askedEnd;
    if (end > askedFirst && end <= askedEnd) to = std::min(to, askedFirst);
    mReadAhead = {first, std::max<FrameCount>(end - first, 0)};
    if (to <= from) return;
    const DisplayColumnKind kind = mSettings.displayTracks ? DisplayColumnKind::harmonic : DisplayColumnKind::spectral;
    if (analysis && mSettings.showOriginal) analysis->willReadDisplayColumns(from, to - from, kOverviewChannel, kind);
    if (selection) selection->willReadDisplayColumns(from, to - from, kOverviewChannel, DisplayColumnKind::spectral);
}

void DisplayLayers::readSummaries(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) {
    orvex::readSummaries(analysis, mOriginalSummaries, mColumns.first);
    orvex::readSummaries(selection, mSelectionSummaries, mColumns.first);
}

void DisplayLayers::paintSpan(Span span, display::CellRange cells) {
    if (span.count <= 0) return;
    const float contrast = mSettings.contrast;
    if (mSettings.showOriginal)
        LayerPixels(LayerPixels::Mode::colour, contrast)
            .render(mOriginalColumns.data() + span.offset, span.count, cells, mOriginal, span.offset);
    else
        clearSpan(mOriginal, cells, span.offset, span.count);
    const auto mode = mSettings.showOriginal ? LayerPixels::Mode::red : LayerPixels::Mode::colour;
    LayerPixels(mode, contrast).render(mSelectionColumns.data() + span.offset, span.count, cells, mSelection,
                                       span.offset);
}

DisplayBitmap DisplayLayers::snapshot(float contrast) const {
    DisplayBitmap picture(int(mOriginalColumns.size()), display::kPictureHeight);
    LayerPixels(LayerPixels::Mode::colour, contrast)
        .render(mOriginalColumns.data(), int(mOriginalColumns.size()), display::CellRange{}, picture, 0);
    return picture;
}

}  // namespace orvex
