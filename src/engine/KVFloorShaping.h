#pragma once

#include <algorithm>

namespace orvex {

// How the floor-based commands turn a bin's analysed magnitude and its floor (the bin-wise
// minimum over the frames around it) into what they keep.
// - Sustained: the floor itself. A steady partial's floor is its own magnitude, so it comes
//   back at its level at every frequency; noise, whose minimum lies well below its mean, is
//   left out.
// - Transient: what rises above the floor, scaled so that an isolated click comes back at its
//   own peak level (its frames overlap, and the floor of a click's frames is the lower edge of
//   the analysis window around it, so the difference alone gives about -11 dB).
struct KVFloorShaping {
    static constexpr float kTransientGain = 3.0f;

    static float sustained(float floor) { return floor; }
    static float transient(float magnitude, float floor) { return std::max(0.0f, (magnitude - floor) * kTransientGain); }
};

}  // namespace orvex
