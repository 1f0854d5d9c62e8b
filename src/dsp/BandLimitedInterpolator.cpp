#include "dsp/BandLimitedInterpolator.h"

#include <cmath>
#include <numbers>

namespace orvex {

namespace {

// Passband edge of the kernel as a fraction of the Nyquist frequency, and the Kaiser shape.
constexpr double kCutoff = 0.975;
constexpr double kBeta = 9.0;

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
    constexpr double half = BandLimitedInterpolator::kHalfWidth;
    if (std::fabs(d) >= half) return 0.0;
    const double r = d / half;
    const double window = besselI0(kBeta * std::sqrt(1.0 - r * r)) / besselI0(kBeta);
    const double a = std::numbers::pi * kCutoff * d;
    return kCutoff * (d == 0.0 ? 1.0 : std::sin(a) / a) * window;
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

void BandLimitedInterpolator::taps(double fraction, float* into) const {
    const double scaled = fraction * kPhases;
    const auto phase = static_cast<int>(scaled);
    const auto a = static_cast<float>(scaled - phase);
    const float* low = mTable.data() + std::size_t(phase) * kTaps;
    const float* high = low + kTaps;
#pragma omp simd
    for (int j = 0; j < kTaps; ++j) into[j] = low[j] + a * (high[j] - low[j]);
}

float BandLimitedInterpolator::at(const float* x, std::int64_t n, double position) const {
    const double whole = std::floor(position);
    float weights[kTaps];
    taps(position - whole, weights);
    const std::int64_t first = static_cast<std::int64_t>(whole) + 1 - kHalfWidth;
    float sum = 0.0f;
    if (first >= 0 && first + kTaps <= n) {
        const float* run = x + first;
#pragma omp simd reduction(+ : sum)
        for (int j = 0; j < kTaps; ++j) sum += weights[j] * run[j];
        return sum;
    }
    for (int j = 0; j < kTaps; ++j) {
        const std::int64_t i = first + j;
        if (i >= 0 && i < n) sum += weights[j] * x[i];
    }
    return sum;
}

}  // namespace orvex
