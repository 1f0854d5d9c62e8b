#pragma once

#include <cstdint>
#include <vector>

namespace orvex {

// Read positions that resample a frame of n samples with a linearly changing speed whose
// average is 1, so that a linear pitch glide inside the frame becomes a steady tone.
// A positive factor s speeds up from 1/s to s, a negative one slows down from |s| to 1/|s|.
// Immutable after construction; safe to share between threads.
class WarpTable {
public:
    // A factor that is 0 or not finite gives the identity table; every position is kept
    // inside 0 .. n-1 whatever the factor.
    WarpTable(float factor, std::int64_t n);
    // False for factors that describe no warp (0, infinite, NaN).
    static bool usable(float factor) { return factor != 0.0f && factor - factor == 0.0f; }

    float factor() const { return mFactor; }
    std::int64_t size() const { return static_cast<std::int64_t>(mPositions.size()); }
    const std::vector<float>& positions() const { return mPositions; }
    // True when every position is its own index (factor 1): warping copies the frame.
    bool isIdentity() const { return mRuns.size() == 1 && mRuns[0].offset == 0 && mMaxFraction == 0.0f; }

    // y[k] = (1 - t) x[i] + t x[min(i + 1, n - 1)] with i = floor(p[k]), t = p[k] - i.
    void warp(const float* x, float* y) const;
    // As warp, with the result multiplied by weights[k] (the entropy measure's window).
    void warpWeighted(const float* x, const float* weights, float* y) const;
    // y[k] = x(p[k]) read with the band-limited interpolator: the frame whose spectrum is
    // analysed and resynthesised, where the linear reading of warp would lose the highs.
    void warpBandLimited(const float* x, float* y) const;

private:
    // A run of outputs k in [begin, end) reading x[k + offset] and x[k + offset + step]:
    // the read positions drift slowly, so runs are long and each one is a plain vector loop.
    struct Run {
        std::int32_t begin;
        std::int32_t end;
        std::int32_t offset;
        std::int32_t step;  // 1, or 0 where the right neighbour is clamped to the last sample
    };

    template <bool kWeighted>
    static void warpRuns(const Run* runs, std::size_t runCount, const float* fraction, const float* x,
                         const float* weights, float* y, std::int32_t n);

    float mFactor;
    float mMaxFraction = 0.0f;
    std::vector<float> mPositions;
    std::vector<float> mFraction;  // p[k] - floor(p[k])
    std::vector<std::int32_t> mIndex;  // floor(p[k])
    std::vector<Run> mRuns;
};

}  // namespace orvex
