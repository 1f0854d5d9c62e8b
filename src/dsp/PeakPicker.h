#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/AnalysisConstants.h"

namespace orvex {

// Slots of a peak list and of its region bounds: at most 254 peaks, padded with the search
// half-limit, plus one closing entry.
inline constexpr int kPeakListLength = 255;
inline constexpr int kMaxPeaks = kAnalysisMaxPeaks;
using PeakList = std::array<std::uint16_t, kPeakListLength>;

// Lobe of the peak at p in x[0 .. limit-1]: [left, right). Each side walks outward with a
// smoothed slope and stops where the spectrum starts rising again; the rising bin is kept.
struct Lobe {
    std::int64_t left;
    std::int64_t right;
};
Lobe peakLobe(const float* x, std::int64_t p, std::int64_t limit);

// Peaks of a candidate spectrum c (at least `limit` entries) below limit / 2, strongest
// first, at most 254, returned ascending and padded with limit / 2. `work` is scratch space
// (grown to about 1.01 x limit floats on first use), so repeated calls do not allocate.
PeakList findPeaks(std::span<const float> c, std::int64_t limit, std::vector<float>& work);
PeakList findPeaks(std::span<const float> c, std::int64_t limit);

// Region bounds of the peaks: region j spans bins regions[j] .. regions[j+1]; a boundary is the
// first lowest candidate bin between two peaks, or their midpoint. Peak entries above
// limit / 2 are clamped (with a message on standard output).
PeakList findPeakRegions(std::span<const float> c, std::int64_t limit, PeakList& peaks);

// Attenuates the strongest peaks of x in turn: the first is removed, the i-th scaled by i / P.
// Stops at the first peak lower than the strongest divided by `ratio`. Bins whose mask word
// is nonzero are neither searched nor changed. Returns the number of iterations done (P when
// all were done or the spectrum is empty).
int suppressPeaks(std::span<float> x, int iterations, const std::uint32_t* mask, float ratio);

}  // namespace orvex
