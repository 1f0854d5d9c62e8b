#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "common/Types.h"

namespace orvex {

// A view of per-channel buffers starting offset frames in, shaped for a source that writes
// sourceChannels channels: channels the caller did not pass (or that are null) stay null, so
// the source skips them. Holds up to eight channels without allocating, which keeps reads on
// the audio thread free of heap traffic.
class KVChannelWindow {
public:
    KVChannelWindow(float* const* buffers, std::int32_t channels, std::int32_t sourceChannels, FrameCount offset)
        : mCount(std::max<std::int32_t>(0, sourceChannels)) {
        if (mCount > std::int32_t(mFixed.size())) mMore.resize(std::size_t(mCount));
        float** slots = data();
        for (std::int32_t c = 0; c < mCount; ++c) {
            float* base = (buffers && c < channels) ? buffers[c] : nullptr;
            slots[c] = base ? base + offset : nullptr;
        }
    }

    float** data() { return mMore.empty() ? mFixed.data() : mMore.data(); }

    // Sets frames [at, at + count) of every non-null channel to 0.0.
    static void zeroFrames(float* const* buffers, std::int32_t channels, FrameCount at, FrameCount count) {
        if (!buffers || count <= 0) return;
        for (std::int32_t c = 0; c < channels; ++c) {
            if (buffers[c]) std::fill(buffers[c] + at, buffers[c] + at + count, 0.0f);
        }
    }

private:
    std::int32_t mCount;
    std::array<float*, 8> mFixed{};
    std::vector<float*> mMore;
};

}  // namespace orvex
