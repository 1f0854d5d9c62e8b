#include "dsp/WarpTable.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dsp/BandLimitedInterpolator.h"
#include "dsp/FastMath.h"

namespace orvex {

WarpTable::WarpTable(float factor, std::int64_t n)
    : mFactor(factor), mPositions(n), mFraction(n), mIndex(n) {
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
        mIndex[k] = index;
        mMaxFraction = std::max(mMaxFraction, mFraction[k]);
        if (mRuns.empty() || mRuns.back().offset != offset || mRuns.back().step != step)
            mRuns.push_back({static_cast<std::int32_t>(k), static_cast<std::int32_t>(k), offset, step});
        ++mRuns.back().end;
    }
}

// y[k] = ((1 - t) x[k + offset] + t x[k + offset + step]) (x w[k] when kWeighted), run by run.
// Runs are short, so each is done in whole blocks of eight: the last block of a run may spill
// into the next runs, which are done afterwards and overwrite the spilled outputs. Only where
// a block could read or write past the frame's end does a run finish one sample at a time.
template <bool kWeighted>
[[gnu::always_inline]] inline void WarpTable::warpRuns(const Run* runs, std::size_t runCount, const float* fraction,
                                                       const float* x, const float* weights, float* y,
                                                       std::int32_t n) {
    constexpr std::int32_t kBlock = 8;
    const float* t = fraction;
    auto sample = [&](std::int32_t k, std::int32_t offset, std::int32_t next) {
        const float v = (1.0f - t[k]) * x[k + offset] + t[k] * x[k + next];
        y[k] = kWeighted ? v * weights[k] : v;
    };
    for (std::size_t r = 0; r < runCount; ++r) {
        const Run& run = runs[r];
        const std::int32_t offset = run.offset, next = run.offset + run.step;
        const std::int32_t length = run.end - run.begin;
        const std::int32_t blocksEnd = run.begin + (length + kBlock - 1) / kBlock * kBlock;
        const bool spillFits = blocksEnd <= n && blocksEnd - 1 + std::max(offset, next) < n;
        const std::int32_t vectorEnd = spillFits ? blocksEnd : run.begin + length / kBlock * kBlock;
        std::int32_t k = run.begin;
        for (; k < vectorEnd; k += kBlock) {
#pragma omp simd
            for (std::int32_t j = k; j < k + kBlock; ++j) sample(j, offset, next);
        }
        for (; k < run.end; ++k) sample(k, offset, next);
    }
}

void WarpTable::warp(const float* x, float* y) const {
    fastmath::dispatch<&WarpTable::warpRuns<false>>(static_cast<const Run*>(mRuns.data()), mRuns.size(),
                                                    mFraction.data(), x, static_cast<const float*>(nullptr), y,
                                                    static_cast<std::int32_t>(size()));
}

void WarpTable::warpWeighted(const float* x, const float* weights, float* y) const {
    fastmath::dispatch<&WarpTable::warpRuns<true>>(static_cast<const Run*>(mRuns.data()), mRuns.size(),
                                                   mFraction.data(), x, weights, y,
                                                   static_cast<std::int32_t>(size()));
}

void WarpTable::warpBandLimited(const float* x, float* y) const {
    BandLimitedInterpolator::shared().read(x, size(), mIndex.data(), mFraction.data(), nullptr, y, size());
}

}  // namespace orvex
