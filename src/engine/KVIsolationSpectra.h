#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace orvex {

// Spectral shaping steps shared by the isolation operations, on decoded 8192-bin arrays.

// The first `wanted` peaks, in the order found (strongest first), among the lower 4096 bins of
// a spectrum whose bin frequency is at most maxFrequency. The search takes the largest remaining
// bin (the lowest on ties; bin 0 counted at half), clears its lobe and repeats, at most 254
// times, until nothing but zeros remains. `work` is scratch space.
std::vector<int> strongLowPeaks(std::span<const float> magnitudes, int wanted, float maxFrequency,
                                std::vector<float>& work);

// Sets mask[b] for b = m x p + offset (m >= 1, offset in from..to) inside the mask, for each p.
// A peak at bin 0 marks the offsets around 0 once.
void markHarmonicBins(std::span<std::uint8_t> mask, const std::vector<int>& peaks, int from, int to);

}  // namespace orvex
