#include "dsp/BandLimitedInterpolator.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "dsp/FastMath.h"

namespace orvex {

namespace {

// Passband edge of the kernel as a fraction of the Nyquist frequency, and the Kaiser shape.
constexpr double kCutoff = 0.975;
constexpr double kBeta = 9.0;
constexpr int kTaps = BandLimitedInterpolator::kTaps;
constexpr int kHalfWidth = BandLimitedInterpolator::kHalfWidth;
constexpr int kPhases = BandLimitedInterpolator::kPhases;

// Modified Bessel function of the first kind, order 0 (power series).
double besselI0(double x) {
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 50; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
        if (term < 1e-17 * sum) break;
    }
    return sum;
}

double kernel(double d) {
    constexpr double half = kHalfWidth;
    if (std::fabs(d) >= half) return 0.0;
    const double r = d / half;
    const double window = besselI0(kBeta * std::sqrt(1.0 - r * r)) / besselI0(kBeta);
    const double a = std::numbers::pi * kCutoff * d;
    return kCutoff * (d == 0.0 ? 1.0 : std::sin(a) / a) * window;
}

// The taps of the tabulated phase nearest to a fraction in [0, 1).
[[gnu::always_inline]] inline const float* tapsAt(const float* table, float fraction) {
    const int phase = std::min(static_cast<int>(fraction * float(kPhases) + 0.5f), kPhases);
    return table + std::size_t(phase) * kTaps;
}

// One output: the taps of the nearest phase applied to the run x[first ..]. Samples outside
// 0 .. n-1 count as zeros.
[[gnu::always_inline]] inline float readOne(const float* table, const float* x, std::int64_t n, std::int32_t index,
                                            float fraction) {
    const float* taps = tapsAt(table, fraction);
    const std::int64_t first = std::int64_t(index) + 1 - kHalfWidth;
    float sum = 0.0f;
    if (first >= 0 && first + kTaps <= n) {
        // Sixteen fixed lanes (two vectors of eight) added up in a fixed order, the order of
        // fastmath::sumSixteenLanes: every vector width stores the same bytes. The sum stays in
        // registers; a lane array would go through memory for the scalar additions.
        using Eight = float __attribute__((vector_size(32)));
        using Four = float __attribute__((vector_size(16)));
        const float* run = x + first;
        Eight low = {}, high = {};
        for (int j = 0; j < kTaps; j += 16) {
            Eight t0, t1, x0, x1;
            std::memcpy(&t0, taps + j, sizeof t0);
            std::memcpy(&t1, taps + j + 8, sizeof t1);
            std::memcpy(&x0, run + j, sizeof x0);
            std::memcpy(&x1, run + j + 8, sizeof x1);
            low += t0 * x0;
            high += t1 * x1;
        }
        const Eight a = low + high;  // lanes l + (l + 8)
        const Four b = Four{a[0], a[1], a[2], a[3]} + Four{a[4], a[5], a[6], a[7]};
        return (b[0] + b[2]) + (b[1] + b[3]);
    }
    for (int j = 0; j < kTaps; ++j) {
        const std::int64_t i = first + j;
        if (i >= 0 && i < n) sum += taps[j] * x[i];
    }
    return sum;
}

[[gnu::always_inline]] inline void prefetchTaps(const float* table, float fraction) {
    const auto* row = reinterpret_cast<const char*>(tapsAt(table, fraction));
    for (std::size_t line = 0; line < kTaps * sizeof(float); line += 64) __builtin_prefetch(row + line);
}

[[gnu::always_inline]] inline void readRun(const float* table, const float* x, std::int64_t n,
                                           const std::int32_t* index, const float* fraction, const float* gain,
                                           float* out, std::int64_t count) {
    // Neighbouring outputs read rows of the table far apart (the phase moves by up to a tenth
    // of a sample per output), so the rows a few outputs ahead are fetched early.
    constexpr std::int64_t kAhead = 6;
    for (std::int64_t t = 0; t < count; ++t) {
        if (t + kAhead < count) prefetchTaps(table, fraction[t + kAhead]);
        const float v = readOne(table, x, n, index[t], fraction[t]);
        out[t] = gain ? v * gain[t] : v;
    }
}

}  // namespace

const BandLimitedInterpolator& BandLimitedInterpolator::shared() {
    static const BandLimitedInterpolator instance;
    return instance;
}

BandLimitedInterpolator::BandLimitedInterpolator() : mTable(std::size_t(kPhases + 1) * kTaps) {
    for (int phase = 0; phase <= kPhases; ++phase) {
        const double fraction = double(phase) / kPhases;
        double weights[kTaps];
        double sum = 0.0;
        for (int j = 0; j < kTaps; ++j) {
            weights[j] = kernel(double(j + 1 - kHalfWidth) - fraction);
            sum += weights[j];
        }
        for (int j = 0; j < kTaps; ++j) mTable[std::size_t(phase) * kTaps + j] = static_cast<float>(weights[j] / sum);
    }
}

float BandLimitedInterpolator::at(const float* x, std::int64_t n, double position) const {
    const double whole = std::floor(position);
    return readOne(mTable.data(), x, n, static_cast<std::int32_t>(whole), static_cast<float>(position - whole));
}

void BandLimitedInterpolator::read(const float* x, std::int64_t n, const std::int32_t* index, const float* fraction,
                                   const float* gain, float* out, std::int64_t count) const {
    fastmath::dispatch<readRun>(static_cast<const float*>(mTable.data()), x, n, index, fraction, gain, out, count);
}

}  // namespace orvex
