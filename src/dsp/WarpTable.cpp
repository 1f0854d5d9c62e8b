#include "dsp/WarpTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex {

WarpTable::WarpTable(float factor, std::int64_t n)
    : mFactor(factor), mPositions(n), mFraction(n) {
    const double s = usable(factor) ? factor : 1.0;
    const double a = s > 0 ? 1.0 / s : -s;
    const double b = s > 0 ? s : -1.0 / s;
    auto rate = [&](std::int64_t k) {
        const double x = double(k) / double(n);
        return x * b + (1.0 - x) * a;
    };
    double sum = 0;
    for (std::int64_t k = 0; k < n; ++k) sum += rate(k);
    const double excess = (sum - double(n)) / double(n);
    const float last = static_cast<float>(n - 1);
    mPositions[0] = 0.0f;
    for (std::int64_t k = 0; k + 1 < n; ++k) {
        const float next = static_cast<float>(double(mPositions[k]) - excess + rate(k));
        mPositions[k + 1] = next >= 0.0f ? std::min(next, last) : 0.0f;  // NaN from absurd factors: 0
    }
    for (std::int64_t k = 0; k < n; ++k) {
        const float i = std::floor(mPositions[k]);
        const auto index = static_cast<std::int32_t>(i);
        const std::int32_t step = index + 1 < n ? 1 : 0;
        const auto offset = static_cast<std::int32_t>(index - k);
        mFraction[k] = mPositions[k] - i;
        if (mRuns.empty() || mRuns.back().offset != offset || mRuns.back().step != step)
            mRuns.push_back({static_cast<std::int32_t>(k), static_cast<std::int32_t>(k), offset, step});
        ++mRuns.back().end;
    }
}

void WarpTable::warp(const float* x, float* y) const {
    const float* t = mFraction.data();
    for (const Run& run : mRuns) {
        const std::int32_t offset = run.offset, next = run.offset + run.step;
#pragma omp simd
        for (std::int32_t k = run.begin; k < run.end; ++k) y[k] = (1.0f - t[k]) * x[k + offset] + t[k] * x[k + next];
    }
}

void WarpTable::warpWeighted(const float* x, const float* weights, float* y) const {
    const float* t = mFraction.data();
    for (const Run& run : mRuns) {
        const std::int32_t offset = run.offset, next = run.offset + run.step;
#pragma omp simd
        for (std::int32_t k = run.begin; k < run.end; ++k)
            y[k] = ((1.0f - t[k]) * x[k + offset] + t[k] * x[k + next]) * weights[k];
    }
}

void WarpTable::unwarp(const float* x, float* out) const {
    const std::int64_t n = size();
    if (mFactor == 1.0f) {
        std::memcpy(out, x, sizeof(float) * n);
        return;
    }
    std::fill(out, out + n, 0.0f);
    // Within a run every k reaches its own out[k + offset] (a clamped read position makes a
    // run of one), so each of the two spreads is a plain vector loop. An output sample sums
    // the same terms as with one interleaved pass; only where runs meet may the order differ.
    const float* t = mFraction.data();
    for (const Run& run : mRuns) {
        const std::int32_t offset = run.offset, next = run.offset + run.step;
#pragma omp simd
        for (std::int32_t k = run.begin; k < run.end; ++k) out[k + offset] += (1.0f - t[k]) * x[k];
#pragma omp simd
        for (std::int32_t k = run.begin; k < run.end; ++k) out[k + next] += t[k] * x[k];
    }
}

}  // namespace orvex
