#include "control/KVOverviewBuilder.h"

#include <algorithm>
#include <vector>

#include "control/OverviewColumns.h"

namespace orvex {

namespace {

void widenBy(const float* samples, FrameCount n, float& low, float& high) {
    for (FrameCount i = 0; i < n; ++i) {
        low = std::min(low, samples[i]);
        high = std::max(high, samples[i]);
    }
}

}  // namespace

KVOverviewColumn KVOverviewColumn::ofSamples(const float* left, const float* right, FrameCount n) {
    KVOverviewColumn column;
    widenBy(left, n, column.minL, column.maxL);
    if (right) widenBy(right, n, column.minR, column.maxR);
    return column;
}

FrameCount KVOverviewBuilder::framesPerColumn(FrameCount frames, std::int64_t columns) {
    return std::max<FrameCount>(columns > 0 ? frames / columns : frames, 1);
}

bool KVOverviewBuilder::build(FrameCount frames, std::int64_t columns, FrameCount limit, bool twoChannels,
                              const BlockReader& read, OverviewColumns& columnsOut, const std::atomic<bool>& cancel,
                              const std::function<void()>& columnStored) {
    const FrameCount step = framesPerColumn(frames, columns);
    std::vector<float> left(static_cast<std::size_t>(step));
    std::vector<float> right(twoChannels ? static_cast<std::size_t>(step) : 0);
    float* rightData = twoChannels ? right.data() : nullptr;
    for (FramePos p = 0; p < limit; p += step) {
        if (cancel.load()) return false;
        if (!read(step, left.data(), rightData)) break;
        const KVOverviewColumn c = KVOverviewColumn::ofSamples(left.data(), rightData, step);
        columnsOut.set(p / step, c);
        if (columnStored) columnStored();
    }
    return !cancel.load();
}

}  // namespace orvex
