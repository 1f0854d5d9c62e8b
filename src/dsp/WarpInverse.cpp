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
    : mFactor(table.factor()),
      mIndex(std::size_t(table.size())),
      mFraction(std::size_t(table.size())),
      mRatios(std::size_t(table.size())) {
    const std::vector<float>& p = table.positions();
    const std::int64_t n = table.size();
    std::int64_t k = 0;
    for (std::int64_t t = 0; t < n; ++t) {
        // p rises by 0.9 .. 1.1 per step (it only stands still where it is held at n - 1).
        while (k + 1 < n && double(p[std::size_t(k + 1)]) <= double(t)) ++k;
        const double low = p[std::size_t(k)];
        const double high = k + 1 < n ? double(p[std::size_t(k + 1)]) : low;
        const double q = std::min(high > low ? double(k) + (double(t) - low) / (high - low) : double(k), double(n - 1));
        const double whole = std::floor(q);
        mIndex[std::size_t(t)] = static_cast<std::int32_t>(whole);
        mFraction[std::size_t(t)] = static_cast<float>(q - whole);
        const double analysed = hann(q, double(n));
        mRatios[std::size_t(t)] = analysed > 1e-12 ? static_cast<float>(hann(double(t), double(n)) / analysed) : 0.0f;
    }
}

void WarpInverse::apply(const float* frame, float* out) const {
    const auto n = static_cast<std::int64_t>(mIndex.size());
    BandLimitedInterpolator::shared().read(frame, n, mIndex.data(), mFraction.data(), mRatios.data(), out, n);
}

}  // namespace orvex
