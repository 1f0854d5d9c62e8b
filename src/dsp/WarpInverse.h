#pragma once

#include <cstdint>
#include <vector>

#include "dsp/WarpTable.h"

namespace orvex {

// Undoes the warp of an analysed frame. The analysis transformed w[k] x(p[k]) (Hann window w,
// read positions p of a WarpTable); reading that frame back at the inverse positions q[t]
// (p(q[t]) = t) with the band-limited interpolator gives w(q[t]) x(t), and the ratio
// w(t) / w(q[t]) turns it into w(t) x(t), the frame an unwarped analysis would have
// transformed. Frames resynthesised this way overlap-add to the input like unwarped ones.
// Immutable after construction; one per table, safe to share.
class WarpInverse {
public:
    explicit WarpInverse(const WarpTable& table);

    float factor() const { return mFactor; }
    // out[t] = frame(q[t]) x w(t) / w(q[t]) for t < n; frame holds the n warped samples.
    void apply(const float* frame, float* out) const;

private:
    float mFactor;
    std::vector<std::int32_t> mIndex;  // floor(q[t])
    std::vector<float> mFraction;      // q[t] - floor(q[t])
    std::vector<float> mRatios;        // w(t) / w(q[t]), 0 where both vanish
};

}  // namespace orvex
