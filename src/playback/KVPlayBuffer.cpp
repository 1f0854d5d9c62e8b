#include "playback/KVPlayBuffer.h"

#include <algorithm>

namespace orvex {

bool KVPlayBuffer::reserve(std::int64_t channels, FrameCount frames) {
    channels = std::max<std::int64_t>(channels, 0);
    frames = std::max<FrameCount>(frames, 0);
    if (channels == mNumChannels && frames <= mNumFrames) return false;
    mSamples.assign(static_cast<std::size_t>(channels * frames), 0.0f);
    mPointers.assign(static_cast<std::size_t>(std::max<std::int64_t>(channels, 2)), nullptr);
    for (std::int64_t c = 0; c < channels; ++c) {
        mPointers[static_cast<std::size_t>(c)] = mSamples.data() + c * frames;
    }
    mNumChannels = channels;
    mNumFrames = frames;
    return true;
}

void KVPlayBuffer::clear(FrameCount from, FrameCount to) {
    from = std::clamp<FrameCount>(from, 0, mNumFrames);
    to = std::clamp<FrameCount>(to, from, mNumFrames);
    for (std::int64_t c = 0; c < mNumChannels; ++c) {
        float* samples = mPointers[static_cast<std::size_t>(c)];
        std::fill(samples + from, samples + to, 0.0f);
    }
}

}  // namespace orvex
