#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "dsp/PeakPicker.h"

namespace orvex {
namespace {

// A triangle of height v centred on bin p: v/2, v, v/2.
void addTriangle(std::vector<float>& x, std::int64_t p, float v) {
    x[p - 1] = v / 2;
    x[p] = v;
    x[p + 1] = v / 2;
}

TEST(PeakPicker, TwoPeaksAreSplitAtTheValley) {
    std::vector<float> c(64, 0.0f);  // limit 64: peaks below 32
    const float shape[] = {10, 20, 50, 20, 10, 5, 10, 30, 60, 30, 10};
    std::copy(std::begin(shape), std::end(shape), c.begin() + 5);  // peaks at 7 and 13, valley at 10
    c[40] = 99;                                                    // beyond the half limit: ignored
    // The peaks themselves (7, 13, then padding) are held to a plain full scan below.
    PeakList peaks = findPeaks(c, 64);
    const PeakList regions = findPeakRegions(c, 64, peaks);
    EXPECT_EQ(regions[0], 0);
    EXPECT_EQ(regions[1], 10) << "lowest bin between the peaks";
    EXPECT_EQ(regions[2], (13 + 32) / 2) << "no candidate between 13 and the padding lies below both";
    EXPECT_EQ(regions[3], 32);
    EXPECT_EQ(regions[254], 32);
}

TEST(PeakPicker, OutOfRangePeakEntriesAreClampedWithAMessage) {
    std::vector<float> c(64, 0.0f);
    PeakList peaks;
    peaks.fill(32);
    peaks[253] = 40;
    peaks[254] = 50;
    testing::internal::CaptureStderr();
    findPeakRegions(c, 64, peaks);
    const std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(peaks[253], 32);
    EXPECT_EQ(peaks[254], 32);
    EXPECT_EQ(printed, "peakLocations[j] > fftFrameSize/2!\npeakLocations[j] > fftFrameSize/2!\n");
}

// The peak search written out plainly: a full scan for the first largest value, the lobe
// walks with the slope rule, the lobe cleared, 254 times at most.
PeakList plainPeaks(const std::vector<float>& c, std::int64_t limit) {
    const std::int64_t half = limit / 2;
    std::vector<float> w(c.begin(), c.begin() + limit);
    w[0] *= 0.5f;
    PeakList peaks;
    peaks.fill(static_cast<std::uint16_t>(half));
    for (int count = 0; count < kMaxPeaks; ++count) {
        std::int64_t p = 0;
        float best = 0.0f;
        for (std::int64_t k = 0; k < half; ++k)
            if (w[k] > best) best = w[k], p = k;
        if (best == 0.0f && p == 0) break;
        std::int64_t left = 0, right = half;
        float g = 0.0f;
        for (std::int64_t k = p - 1; k >= 1; --k)
            if ((g = float((g / 2.0f + (w[k + 1] - w[k])) * (2.0 / 3.0))) < 0.0f) {
                left = k;
                break;
            }
        g = 0.0f;
        for (std::int64_t k = p + 1; k < half; ++k)
            if ((g = float((g / 2.0f + (w[k - 1] - w[k])) * (2.0 / 3.0))) < 0.0f) {
                right = k;
                break;
            }
        std::fill(w.begin() + left, w.begin() + right, 0.0f);
        peaks[count] = static_cast<std::uint16_t>(p);
    }
    std::sort(peaks.begin(), peaks.end());
    return peaks;
}

// Sparse and dense candidate spectra (the dense ones with far more than 254 lobes), with ties
// of equal heights and lobes across block edges: the block-wise search, reusing its work
// space, finds exactly the peaks of the plain search.
TEST(PeakPicker, FindsExactlyThePeaksOfAPlainFullScan) {
    std::mt19937 generator(17);
    std::uniform_real_distribution<float> height(20.0f, 400.0f);
    std::vector<float> work;
    for (int density : {2, 10, 50, 100}) {
        for (std::int64_t limit : {8192, 1000, 130}) {
            std::vector<float> c(limit, 0.0f);
            std::uniform_int_distribution<int> percent(0, 99);
            for (std::int64_t k = 1; k < limit; ++k)
                if (percent(generator) < density) c[k] = percent(generator) < 10 ? 100.0f : height(generator);
            ASSERT_EQ(findPeaks(c, limit, work), plainPeaks(c, limit)) << density << " " << limit;
        }
    }
}

TEST(SuppressPeaks, LaterPeaksAreScaledByIterationOverCountUntilTheRatio) {
    std::vector<float> x(200, 0.0f);
    addTriangle(x, 10, 100);
    addTriangle(x, 50, 90);
    addTriangle(x, 90, 80);
    addTriangle(x, 130, 70);
    auto y = x;
    EXPECT_EQ(suppressPeaks(x, 4, nullptr, 1000), 4);
    EXPECT_EQ(x[9], 0.0f);  // the whole lobe of the largest peak goes
    EXPECT_EQ(x[10], 0.0f);
    EXPECT_EQ(x[11], 0.0f);
    EXPECT_FLOAT_EQ(x[50], 90.0f / 4);
    EXPECT_FLOAT_EQ(x[90], 80.0f * 2 / 4);
    EXPECT_FLOAT_EQ(x[130], 70.0f * 3 / 4);
    // Ratio 1.3: 80 is still above 100 / 1.3, 70 is not, so three iterations are done.
    EXPECT_EQ(suppressPeaks(y, 8, nullptr, 1.3f), 3);
    EXPECT_EQ(y[130], 70.0f);
    std::vector<float> empty(16, 0.0f);
    EXPECT_EQ(suppressPeaks(empty, 5, nullptr, 2), 5);
}

TEST(SuppressPeaks, MaskedBinsAreNeitherChosenNorChanged) {
    std::vector<float> x(100, 0.0f);
    addTriangle(x, 10, 100);
    addTriangle(x, 50, 40);
    std::vector<std::uint32_t> mask(100, 0);
    mask[9] = mask[10] = mask[11] = 1;
    mask[49] = 1;
    EXPECT_EQ(suppressPeaks(x, 1, mask.data(), 1000), 1);
    EXPECT_EQ(x[10], 100.0f);
    EXPECT_EQ(x[9], 50.0f);
    EXPECT_EQ(x[49], 20.0f) << "masked bin inside the lobe";
    EXPECT_EQ(x[50], 0.0f);
    EXPECT_EQ(x[51], 0.0f);
}

}  // namespace
}  // namespace orvex
