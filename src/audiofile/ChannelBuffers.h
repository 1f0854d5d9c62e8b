#pragma once

#include <cstdint>

namespace orvex {

// The per-channel buffer arrays that travel through the whole system: an array of channel
// pointers, each to a run of zeroed floats. Shared by the reader's and the writer's helpers.
namespace ChannelBuffers {

// Null when the pointer array cannot be allocated; a channel that cannot be allocated prints
// "!!! Error allocating ABL" on standard output and stays null. 0 channels: an empty, non-null array.
float** allocate(std::int32_t channels, std::int32_t length);
// Frees every non-null channel buffer, then the array; null is ignored.
void release(float** buffers, std::int32_t channels);

}  // namespace ChannelBuffers

}  // namespace orvex
