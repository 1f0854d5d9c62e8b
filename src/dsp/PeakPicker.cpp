#include "dsp/PeakPicker.h"

#include <algorithm>
#include <cstdio>

namespace orvex {

namespace {

// One step of the smoothed slope: the single-precision sum is scaled by 2/3 in double.
float slopeStep(float g, float rise) { return static_cast<float>((g / 2.0f + rise) * (2.0 / 3.0)); }

// First index of the largest value of x[0 .. n-1] above 0 (0 with value 0 when none is).
std::int64_t largestIndex(const float* x, std::int64_t n, float& value) {
    float best = 0.0f;
    std::int64_t index = 0;
    for (std::int64_t k = 0; k < n; ++k) {
        if (x[k] > best) {
            best = x[k];
            index = k;
        }
    }
    value = best;
    return index;
}

// Bins per block of the peak search: the search keeps each block's maximum, so finding the
// next peak reads the block maxima and one block instead of the whole spectrum.
constexpr std::int64_t kSearchBlock = 64;

// Largest value of x[begin .. end-1], at least 0 (values that are not larger than 0 do not count).
float blockMaximum(const float* x, std::int64_t begin, std::int64_t end) {
    float best = 0.0f;
#pragma omp simd reduction(max : best)
    for (std::int64_t k = begin; k < end; ++k) best = std::max(best, x[k]);
    return best;
}

// Maxima of the blocks first .. last of x[0 .. n-1].
void updateBlockMaxima(const float* x, std::int64_t n, std::int64_t first, std::int64_t last, float* maxima) {
    for (std::int64_t b = first; b <= last; ++b)
        maxima[b] = blockMaximum(x, b * kSearchBlock, std::min(n, (b + 1) * kSearchBlock));
}

// As largestIndex over x[0 .. n-1]: the first block whose maximum is the largest holds the
// first index of the largest value.
std::int64_t largestIndexByBlocks(const float* x, std::int64_t n, const float* maxima, float& value) {
    const std::int64_t block = largestIndex(maxima, (n + kSearchBlock - 1) / kSearchBlock, value);
    if (value == 0.0f) return 0;
    const std::int64_t begin = block * kSearchBlock;
    float unused = 0.0f;
    return begin + largestIndex(x + begin, std::min(n - begin, kSearchBlock), unused);
}

}  // namespace

Lobe peakLobe(const float* x, std::int64_t p, std::int64_t limit) {
    // Once the slope has decayed to exactly 0 it stays 0 over equal neighbours, so runs of
    // equal values (the long zero stretches of a sparse spectrum) are skipped in one scan.
    Lobe lobe{0, limit};
    float g = 0.0f;
    for (std::int64_t k = p - 1; k >= 1; --k) {
        if (g == 0.0f)
            while (k >= 1 && x[k + 1] == x[k]) --k;
        if (k < 1) break;
        g = slopeStep(g, x[k + 1] - x[k]);
        if (g < 0.0f) {
            lobe.left = k;
            break;
        }
    }
    g = 0.0f;
    for (std::int64_t k = p + 1; k < limit; ++k) {
        if (g == 0.0f)
            while (k < limit && x[k - 1] == x[k]) ++k;
        if (k >= limit) break;
        g = slopeStep(g, x[k - 1] - x[k]);
        if (g < 0.0f) {
            lobe.right = k;
            break;
        }
    }
    return lobe;
}

PeakList findPeaks(std::span<const float> c, std::int64_t limit, std::vector<float>& work) {
    const std::int64_t half = limit / 2;
    const auto padding = static_cast<std::uint16_t>(half);
    const std::int64_t blocks = (half + kSearchBlock - 1) / kSearchBlock;
    // The work copy of c, then the block maxima of its lower half.
    work.resize(static_cast<std::size_t>(limit + blocks));
    std::copy(c.begin(), c.begin() + limit, work.begin());
    if (limit > 0) work[0] *= 0.5f;
    float* x = work.data();
    float* maxima = x + limit;
    updateBlockMaxima(x, half, 0, blocks - 1, maxima);
    PeakList peaks;
    peaks.fill(padding);
    for (int count = 0; count < kMaxPeaks; ++count) {
        float value = 0.0f;
        const std::int64_t p = largestIndexByBlocks(x, half, maxima, value);
        if (value == 0.0f && p == 0) break;
        const Lobe lobe = peakLobe(x, p, half);
        std::fill(x + lobe.left, x + lobe.right, 0.0f);
        if (lobe.right > lobe.left)
            updateBlockMaxima(x, half, lobe.left / kSearchBlock, (lobe.right - 1) / kSearchBlock, maxima);
        peaks[count] = static_cast<std::uint16_t>(p);
    }
    std::sort(peaks.begin(), peaks.end());
    return peaks;
}

PeakList findPeaks(std::span<const float> c, std::int64_t limit) {
    std::vector<float> work;
    return findPeaks(c, limit, work);
}

PeakList findPeakRegions(std::span<const float> c, std::int64_t limit, PeakList& peaks) {
    const std::int64_t half = limit / 2;
    PeakList regions{};
    for (std::uint16_t& peak : peaks) {
        if (peak > half) {
            std::fputs("peakLocations[j] > fftFrameSize/2!\n", stderr);
            peak = static_cast<std::uint16_t>(half);
        }
    }
    for (int j = 0; j < kMaxPeaks; ++j) {
        const std::int64_t a = peaks[j];
        const std::int64_t b = peaks[j + 1];
        std::int64_t boundary = (a + b) / 2;
        if (a == b) {
            boundary = a;
        } else if (a < b) {
            float reference = std::min(c[a], c[b]);
            for (std::int64_t k = a + 1; k < b; ++k) {
                if (c[k] < reference) {
                    boundary = k;
                    reference = c[k];
                }
            }
        }
        regions[j + 1] = static_cast<std::uint16_t>(boundary);
    }
    regions[0] = 0;
    regions[kMaxPeaks] = static_cast<std::uint16_t>(half);
    return regions;
}

int suppressPeaks(std::span<float> x, int iterations, const std::uint32_t* mask, float ratio) {
    const auto n = static_cast<std::int64_t>(x.size());
    float reference = 0.0f;
    for (int i = 0; i < iterations; ++i) {
        const float g = static_cast<float>(i) / static_cast<float>(iterations);
        float value = 0.0f;
        std::int64_t p = 0;
        if (mask) {
            for (std::int64_t k = 0; k < n; ++k) {
                if (mask[k] == 0 && x[k] > value) {
                    value = x[k];
                    p = k;
                }
            }
        } else if (n > 0) {
            p = std::max_element(x.begin(), x.end()) - x.begin();
            value = x[p];
        }
        if (i == 0) reference = value;
        if (p == 0 && value == 0.0f) return iterations;
        if (reference / ratio > value) return i;
        const Lobe lobe = peakLobe(x.data(), p, n);
        for (std::int64_t k = lobe.left; k < lobe.right; ++k)
            if (!mask || mask[k] == 0) x[k] *= g;
    }
    return iterations;
}

}  // namespace orvex
