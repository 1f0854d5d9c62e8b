#include "store/KVEncodedGrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex {

namespace {
constexpr float kEncodeRange = 32766.0f;
constexpr float kDecodeStep = 1.0f / 32767.0f;
}  // namespace

void KVEncodedGrain::encode(const float* samples) {
    float lowest = 0.0f, highest = 0.0f, largest = 0.0f;
    for (int i = 0; i < kSampleCount; ++i) {
        const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        lowest = std::min(lowest, x);
        highest = std::max(highest, x);
        largest = std::max(largest, std::fabs(x));
    }
    marker = 0.0f;
    scale = std::max(largest, kMinimumScale);
    minimum = lowest;
    maximum = highest;
    for (int i = 0; i < kSampleCount; ++i) {
        const float x = std::isfinite(samples[i]) ? samples[i] : 0.0f;
        auto q = static_cast<std::int32_t>(std::round(x / scale * kEncodeRange));
        q = std::clamp(q, -32767, 32767);
        if (i & 1) q = -q;
        words[i] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(q) ^ kMask);
    }
}

void KVEncodedGrain::decode(float* samples) const {
    // A damaged record's scale may be anything: only a positive finite one gives sound.
    if (!(scale > 0.0f) || !std::isfinite(scale)) {
        std::fill(samples, samples + kSampleCount, 0.0f);
        return;
    }
    for (int i = 0; i < kSampleCount; ++i) {
        auto v = static_cast<std::uint16_t>(words[i] ^ kMask);
        if (i & 1) v = static_cast<std::uint16_t>(-v);
        samples[i] = static_cast<float>(static_cast<std::int16_t>(v)) * kDecodeStep * scale;
    }
}

void KVEncodedGrain::clear() { std::memset(static_cast<void*>(this), 0, sizeof(*this)); }

}  // namespace orvex
