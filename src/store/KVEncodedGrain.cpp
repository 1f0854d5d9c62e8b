#include "store/KVEncodedGrain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "dsp/FastMath.h"

namespace orvex {

namespace {
constexpr float kEncodeRange = 32766.0f;
constexpr float kDecodeStep = 1.0f / 32767.0f;
constexpr int kSamples = KVEncodedGrain::kSampleCount;

// Non-finite samples count as 0.
inline float finiteOrZero(float x) { return std::fabs(x) <= std::numeric_limits<float>::max() ? x : 0.0f; }

// Lowest and highest sample, both starting from +0 as a running minimum and maximum that take
// only strictly lower or higher values (so a zero result is +0 whatever the lane order).
[[gnu::always_inline]] inline void sampleExtremes(const float* samples, float* lowest, float* highest) {
    float low = 0.0f, high = 0.0f;
#pragma omp simd reduction(min : low) reduction(max : high)
    for (int i = 0; i < kSamples; ++i) {
        const float x = finiteOrZero(samples[i]);
        low = std::min(low, x);
        high = std::max(high, x);
    }
    *lowest = low < 0.0f ? low : 0.0f;
    *highest = high > 0.0f ? high : 0.0f;
}

// round(t), halves away from zero, for |t| <= 2^22: the truncation is exact, and so is the
// remainder t - trunc(t), which decides the step away from zero.
inline std::int32_t roundHalfAway(float t) {
    const auto truncated = static_cast<std::int32_t>(t);
    const float rest = t - static_cast<float>(truncated);
    return truncated + (rest >= 0.5f ? 1 : 0) - (rest <= -0.5f ? 1 : 0);
}

// q = round(x / scale x 32766), negated at odd indices, exclusive-or kMask. |x| <= scale, so
// |q| <= 32766.
[[gnu::always_inline]] inline void encodeWords(const float* samples, float scale, std::uint16_t* words) {
#pragma omp simd
    for (int i = 0; i < kSamples; i += 2) {
        const std::int32_t even = roundHalfAway(finiteOrZero(samples[i]) / scale * kEncodeRange);
        const std::int32_t odd = roundHalfAway(finiteOrZero(samples[i + 1]) / scale * kEncodeRange);
        words[i] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(even) ^ KVEncodedGrain::kMask);
        words[i + 1] = static_cast<std::uint16_t>(static_cast<std::uint16_t>(-odd) ^ KVEncodedGrain::kMask);
    }
}

}  // namespace

void KVEncodedGrain::encode(const float* samples) {
    float lowest = 0.0f, highest = 0.0f;
    fastmath::dispatch<sampleExtremes>(samples, &lowest, &highest);
    // The largest magnitude is that of the lowest or the highest sample.
    const float largest = std::max(-lowest, highest);
    marker = 0.0f;
    scale = std::max(largest, kMinimumScale);
    minimum = lowest;
    maximum = highest;
    alignas(32) std::uint16_t encoded[kSamples];
    fastmath::dispatch<encodeWords>(samples, static_cast<float>(scale), static_cast<std::uint16_t*>(encoded));
    std::memcpy(words, encoded, sizeof(encoded));
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
