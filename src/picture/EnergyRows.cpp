#include "picture/EnergyRows.h"

#include <array>
#include <memory>

#include "dsp/DisplayColumn.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex {

int EnergyRows::medianRow(KVAnalysisFileSet& store) {
    constexpr std::int32_t kMix = -1;
    const FrameCount frames = store.frameCount();
    if (frames <= 0) return -1;
    std::array<double, kDisplayRowCount> brightness{};
    auto column = DisplayColumn::create(false);
    for (int i = 0; i < kSampledColumns; ++i) {
        const FramePos frame = frames * (2 * i + 1) / (2 * kSampledColumns);
        if (store.readDisplayColumns(column.get(), frame, 1, kMix, DisplayColumnKind::spectral) != 1) continue;
        for (int r = 0; r < kDisplayRowCount; ++r) {
            const DisplayColumnRow& row = column->rows[r];
            brightness[std::size_t(r)] += double(row.red + row.green + row.blue) * row.alpha;
        }
    }
    double total = 0.0;
    for (double b : brightness) total += b;
    if (total <= 0.0) return -1;
    double below = 0.0;
    for (int r = 0; r < kDisplayRowCount; ++r)
        if ((below += brightness[std::size_t(r)]) >= total / 2) return r;
    return kDisplayRowCount - 1;
}

}  // namespace orvex
