#include "dsp/WarpInverse.h"

#include <algorithm>
#include <cmath>

#include "common/MathConstants.h"
#include "dsp/BandLimitedInterpolator.h"

namespace orvex {

namespace {

double hann(double position, double n) { return 0.5 - 0.5 * std::cos(kTwoPi * position / n); }

}  // namespace

WarpInverse::WarpInverse(const WarpTable& table)
    : mFactor(table.factor()), mPositions(std::size_t(table.size())), mRatios(std::size_t(table.size())) {
    const std::vector<float>& p = table.positions();
    const std::int64_t n = table.size();
    std::int64_t k = 0;
    for (std::int64_t t = 0; t < n; ++t) {
        // p rises by 0.9 .. 1.1 per step (it only stands still where it is held at n - 1).
        while (k + 1 < n && double(p[std::size_t(k + 1)]) <= double(t)) ++k;
        const double low = p[std::size_t(k)];
        const double high = k + 1 < n ? double(p[std::size_t(k + 1)]) : low;
        const double q = high > low ? double(k) + (double(t) - low) / (high - low) : double(k);
        mPositions[std::size_t(t)] = std::min(q, double(n - 1));
        const double analysed = hann(mPositions[std::size_t(t)], double(n));
        mRatios[std::size_t(t)] = analysed > 1e-12 ? static_cast<float>(hann(double(t), double(n)) / analysed) : 0.0f;
    }
}

void WarpInverse::apply(const float* frame, float* out) const {
    const BandLimitedInterpolator& interpolator = BandLimitedInterpolator::shared();
    const auto n = static_cast<std::int64_t>(mPositions.size());
    for (std::int64_t t = 0; t < n; ++t)
        out[t] = interpolator.at(frame, n, mPositions[std::size_t(t)]) * mRatios[std::size_t(t)];
}

}  // namespace orvex
