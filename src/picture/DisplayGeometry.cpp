#include "picture/DisplayGeometry.h"

#include <algorithm>
#include <cmath>

#include "common/Pitch.h"

namespace orvex::display {

int bitmapRowOfCell(int cell) { return std::clamp(kHighestRow - cell, 0, kHighestRow); }

CellRange visibleCells(double visibleY, double visibleHeight) {
    const double bottom = std::floor(visibleY);
    const double top = std::floor(bottom + std::max(0.0, visibleHeight));
    const auto clampRow = [](double row) { return static_cast<int>(std::clamp(row, 0.0, double(kHighestRow))); };
    return {clampRow(bottom), clampRow(top)};
}

ColumnRange visibleColumns(double visibleX, double visibleWidth) {
    return {static_cast<FramePos>(std::max(0.0, visibleX)), static_cast<std::int64_t>(std::max(0.0, visibleWidth) + 1.0)};
}

std::int64_t virtualWidth(FrameCount frames, std::int64_t layoutWidth) { return std::max(frames, layoutWidth); }

int rowOfFrequency(double frequency) {
    if (!(frequency > 0.0)) return 0;
    const double row = std::floor(pitchOfHertz(frequency));
    return row > 0.0 ? static_cast<int>(std::min(row, 1.0e9)) : 0;
}

double frequencyOfHeight(double y) { return hertzOfPitch(y); }

FramePos columnOfSample(FramePos sample) { return sample / kAnalysisHop; }
FramePos sampleOfColumn(FramePos column) { return column * kAnalysisHop; }

}  // namespace orvex::display
