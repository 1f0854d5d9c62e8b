#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "common/Types.h"

namespace orvex {

class OverviewColumns;

// One min/max column of a waveform overview; every value includes 0.
struct KVOverviewColumn {
    float minL = 0.0f, minR = 0.0f, maxL = 0.0f, maxR = 0.0f;

    // The column of n samples per channel; a null right channel leaves minR = maxR = 0.
    static KVOverviewColumn ofSamples(const float* left, const float* right, FrameCount n);
};

// Fills overview columns one by one from a sequential source. Runs on the calling (worker)
// thread.
class KVOverviewBuilder {
public:
    // Reads the next n frames of each channel into left and right (right may be null for mono
    // sources); false stops the build.
    using BlockReader = std::function<bool(FrameCount n, float* left, float* right)>;

    // Frames per column: frames / columns, at least 1.
    static FrameCount framesPerColumn(FrameCount frames, std::int64_t columns);

    // Reads blocks of framesPerColumn frames while p < limit (p counting from 0 in steps of one
    // column) and stores each as column p / step; stereo when twoChannels. After each column
    // columnStored() runs (the caller asks for a repaint). Stops early when cancel becomes
    // true; returns false then.
    static bool build(FrameCount frames, std::int64_t columns, FrameCount limit, bool twoChannels,
                      const BlockReader& read, OverviewColumns& columnsOut, const std::atomic<bool>& cancel,
                      const std::function<void()>& columnStored);
};

}  // namespace orvex
