#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

#include "playback/KVPlaybackSources.h"

namespace orvex::test {

// A distinct, exactly representable value for every frame and channel, so that an output sample
// tells which source frame it came from: channel c, frame k -> (k + 1) / 1024 + c.
inline float rampSample(std::int64_t channel, std::int64_t frame) {
    return static_cast<float>(frame + 1) / 1024.0f + static_cast<float>(channel);
}

// An in-memory edit step of ramps; reads past its end deliver fewer frames (and leave the buffer
// untouched there, so the caller must fill the gap itself).
class FakeStep : public KVPlayStep {
public:
    FakeStep(std::int64_t channels, FrameCount frames, FrameCount deliverAtMost = -1)
        : mChannels(channels), mFrames(frames), mDeliverAtMost(deliverAtMost) {}

    std::int64_t numberOfChannels() const override { return mChannels; }
    FrameCount numberOfFrames() const override { return mFrames; }
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) override {
        reads.fetch_add(1);
        FrameCount delivered = std::clamp<FrameCount>(mFrames - start, 0, length);
        if (mDeliverAtMost >= 0) delivered = std::min(delivered, mDeliverAtMost);
        for (std::int64_t c = 0; c < mChannels; ++c) {
            if (!buffers[c]) continue;
            for (FrameCount i = 0; i < delivered; ++i) buffers[c][i] = rampSample(c, start + i);
        }
        return delivered;
    }

    std::atomic<int> reads{0};

private:
    std::int64_t mChannels;
    FrameCount mFrames;
    FrameCount mDeliverAtMost;
};

// A stream source of ramps with its own read position, like the output controller's collections.
class FakeStream : public KVPlayFrameSource {
public:
    // Room for the recorded seeks is made up front, so that seeking does not allocate.
    explicit FakeStream(std::int64_t channels) : mChannels(channels) { seeks.reserve(4096); }

    std::int64_t readPlayFrames(FrameCount n, float* const* buffers) override {
        if (failReads) return -1;
        for (std::int64_t c = 0; c < mChannels; ++c) {
            if (!buffers[c]) continue;
            for (FrameCount i = 0; i < n; ++i) buffers[c][i] = rampSample(c, position + i);
        }
        position += n;
        return 0;
    }
    void setPlayPosition(FramePos frame) override {
        position = frame;
        seeks.push_back(frame);
    }

    FramePos position = 0;
    bool failReads = false;
    std::vector<FramePos> seeks;

private:
    std::int64_t mChannels;
};

}  // namespace orvex::test
