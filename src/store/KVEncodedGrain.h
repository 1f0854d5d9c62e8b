#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace orvex {

// One resynthesised grain of 4096 windowed samples, stored in 16 bits with its own scale.
// The in-memory record is the stored record (little-endian, packed, 8208 bytes). An all-zero
// record, which is what an unwritten part of a grain file reads as, decodes to silence.
// Not synchronised: a grain belongs to one thread at a time.
struct __attribute__((packed, aligned(4))) KVEncodedGrain {
    static constexpr int kSampleCount = 4096;
    // Fixed word mask; encoder and decoder only need to agree on it.
    static constexpr std::uint16_t kMask = 0x6C93;
    // Marker of left-channel mixdown records that hold the unedited source.
    static constexpr float kPrefillMarker = 1234.0f;
    // Decoding gives back 32766/32767 of what was encoded; a scale raised by this factor makes
    // up for it.
    static constexpr float kCodingGain = 32767.0f / 32766.0f;
    // Smallest stored scale (that of a silent grain).
    static constexpr float kMinimumScale = 0.0001f;

    float marker;    // 0, or kPrefillMarker
    float scale;     // largest absolute sample, at least kMinimumScale
    float minimum;   // lowest sample, never above 0
    float maximum;   // highest sample, never below 0
    std::uint16_t words[kSampleCount];

    // Encodes x[0 .. 4095]: q = round(x / scale x 32766) (half away from zero), negated at odd
    // indices, stored exclusive-or kMask. Sets the marker to 0; non-finite samples count as 0.
    void encode(const float* samples);
    // Writes the 4096 decoded samples, word x (1 / 32767) x scale; silence unless the scale is
    // positive and finite.
    void decode(float* samples) const;
    // All bytes zero.
    void clear();
};

static_assert(std::endian::native == std::endian::little, "grains are stored little-endian as they lie in memory");
static_assert(sizeof(KVEncodedGrain) == 8208);
static_assert(offsetof(KVEncodedGrain, marker) == 0);
static_assert(offsetof(KVEncodedGrain, scale) == 4);
static_assert(offsetof(KVEncodedGrain, minimum) == 8);
static_assert(offsetof(KVEncodedGrain, maximum) == 12);
static_assert(offsetof(KVEncodedGrain, words) == 16);

}  // namespace orvex
