#pragma once

#include <cstdint>
#include <vector>

#include "common/Types.h"

namespace orvex {

// The scratch per-channel buffer each chunk is read into before it is copied to the output. It
// keeps its room: it reallocates only when the channel count changes or a chunk is longer than
// any before, so a steady block size never allocates on the audio thread.
class KVPlayBuffer {
public:
    // Makes room for channels x frames samples; returns true when it had to allocate.
    bool reserve(std::int64_t channels, FrameCount frames);
    // Zeroes frames [from, to) of every channel.
    void clear(FrameCount from, FrameCount to);

    // One pointer per channel, followed by nulls up to at least two entries.
    float* const* buffers() const { return mPointers.data(); }
    const float* channel(std::int64_t c) const { return mPointers[static_cast<std::size_t>(c)]; }
    std::int64_t numChannels() const { return mNumChannels; }
    FrameCount numFrames() const { return mNumFrames; }

private:
    std::vector<float> mSamples;
    std::vector<float*> mPointers = std::vector<float*>(2, nullptr);
    std::int64_t mNumChannels = 0;
    FrameCount mNumFrames = 0;
};

}  // namespace orvex
