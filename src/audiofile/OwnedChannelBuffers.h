#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>

#include "audiofile/ChannelBuffers.h"

namespace orvex {

// Owns a per-channel buffer array made by ChannelBuffers::allocate and releases it when it
// goes, so no caller frees one by hand. Move-only.
class OwnedChannelBuffers {
public:
    OwnedChannelBuffers(std::int32_t channels, std::int32_t length)
        : mChannels(channels), mBuffers(ChannelBuffers::allocate(channels, length)) {}
    ~OwnedChannelBuffers() { ChannelBuffers::release(mBuffers, mChannels); }
    OwnedChannelBuffers(OwnedChannelBuffers&& other) noexcept
        : mChannels(other.mChannels), mBuffers(std::exchange(other.mBuffers, nullptr)) {}
    OwnedChannelBuffers& operator=(OwnedChannelBuffers&&) = delete;
    OwnedChannelBuffers(const OwnedChannelBuffers&) = delete;
    OwnedChannelBuffers& operator=(const OwnedChannelBuffers&) = delete;

    float** get() const { return mBuffers; }
    // The array and every channel's run were allocated.
    bool complete() const { return mBuffers && std::all_of(mBuffers, mBuffers + mChannels, [](float* b) { return b; }); }

private:
    std::int32_t mChannels;
    float** mBuffers;
};

}  // namespace orvex
