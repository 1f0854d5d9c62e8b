#include "audiofile/ChannelBuffers.h"

#include <cstdio>
#include <cstdlib>

namespace orvex::ChannelBuffers {

float** allocate(std::int32_t channels, std::int32_t length) {
    if (channels < 0 || length < 0) return nullptr;
    // calloc of 0 elements may return null; one slot keeps the empty array non-null.
    auto** buffers = static_cast<float**>(std::calloc(channels > 0 ? channels : 1, sizeof(float*)));
    if (!buffers) return nullptr;
    for (std::int32_t c = 0; c < channels; ++c) {
        buffers[c] = static_cast<float*>(std::calloc(length > 0 ? length : 1, sizeof(float)));
        if (!buffers[c]) std::fprintf(stderr, "!!! Error allocating ABL\n");
    }
    return buffers;
}

void release(float** buffers, std::int32_t channels) {
    if (!buffers) return;
    for (std::int32_t c = 0; c < channels; ++c) std::free(buffers[c]);
    std::free(buffers);
}

}  // namespace orvex::ChannelBuffers
