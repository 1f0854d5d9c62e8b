#include "engine/KVIsolationSpectra.h"

#include <algorithm>

#include "dsp/PeakPicker.h"
#include "engine/KVBoxGeometry.h"

namespace orvex {

namespace {
constexpr int kSearchBins = 4096;
constexpr int kSearchRounds = 254;
}  // namespace

std::vector<int> strongLowPeaks(std::span<const float> magnitudes, int wanted, float maxFrequency,
                                std::vector<float>& work) {
    std::vector<int> peaks;
    const int n = static_cast<int>(std::min<std::size_t>(kSearchBins, magnitudes.size()));
    if (n == 0) return peaks;
    work.assign(magnitudes.begin(), magnitudes.begin() + n);
    work[0] *= 0.5f;
    for (int round = 0; round < kSearchRounds && int(peaks.size()) < wanted; ++round) {
        const auto top = std::max_element(work.begin(), work.end());
        if (*top <= 0.0f) break;
        const auto p = static_cast<int>(top - work.begin());
        const Lobe lobe = peakLobe(work.data(), p, n);
        std::fill(work.begin() + lobe.left, work.begin() + lobe.right, 0.0f);
        work[p] = 0.0f;
        if (float(p) * kIsolationBinHz <= maxFrequency) peaks.push_back(p);
    }
    return peaks;
}

void markHarmonicBins(std::span<std::uint8_t> mask, const std::vector<int>& peaks, int from, int to) {
    const auto n = static_cast<std::int64_t>(mask.size());
    auto mark = [&](std::int64_t centre) {
        for (std::int64_t b = centre + from; b <= centre + to; ++b)
            if (b >= 0 && b < n) mask[b] = 1;
    };
    for (const int p : peaks) {
        if (p <= 0) {
            mark(0);
            continue;
        }
        for (std::int64_t centre = p; centre + from < n; centre += p) mark(centre);
    }
}

}  // namespace orvex
