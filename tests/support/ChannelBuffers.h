#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "audiofile/KVAudioFileReader.h"

namespace orvex::test {

// Per-channel buffers from the reader's allocation helpers, pre-filled with a sentinel so that
// tests see which frames a read wrote.
class ChannelBuffers {
public:
    static constexpr float kSentinel = 7.0f;

    ChannelBuffers(std::int32_t channels, std::int32_t length)
        : mChannels(channels), mLength(length), mData(KVAudioFileReader::allocateBuffersForChannels(channels, length)) {
        for (std::int32_t c = 0; c < channels; ++c) std::fill(mData[c], mData[c] + length, kSentinel);
    }
    ~ChannelBuffers() { KVAudioFileReader::freeBuffers(mData, mChannels); }
    ChannelBuffers(const ChannelBuffers&) = delete;
    ChannelBuffers& operator=(const ChannelBuffers&) = delete;

    float** data() { return mData; }
    std::vector<float> channel(std::int32_t c) const { return {mData[c], mData[c] + mLength}; }

private:
    std::int32_t mChannels;
    std::int32_t mLength;
    float** mData;
};

}  // namespace orvex::test

#include <gtest/gtest.h>

namespace orvex::test {

// Compares two runs of samples frame by frame, naming the first frame that differs.
inline void expectSamples(const std::vector<float>& got, const std::vector<float>& want, float tolerance = 1e-6f) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) ASSERT_NEAR(got[i], want[i], tolerance) << "at frame " << i;
}

// want[from, from + count) with zeros where the range leaves want.
inline std::vector<float> slice(const std::vector<float>& want, std::int64_t from, std::int64_t count) {
    std::vector<float> out(std::size_t(count), 0.0f);
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t k = from + i;
        if (k >= 0 && k < std::int64_t(want.size())) out[std::size_t(i)] = want[std::size_t(k)];
    }
    return out;
}

}  // namespace orvex::test
