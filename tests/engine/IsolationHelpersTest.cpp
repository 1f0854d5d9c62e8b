// The building blocks of the isolation operations against direct computations: the sliding
// minimum against a scan of the whole window, the box fitted to an analysis, the low-peak
// search on hand-made spectra.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>
#include <random>

#include "common/Pitch.h"
#include "engine/KVBoxGeometry.h"
#include "engine/KVIsolationSpectra.h"
#include "engine/KVSlidingMinimum.h"

namespace orvex {
namespace {

TEST(IsolationHelpers, SlidingMinimumMatchesAScanOfTheWindow) {
    constexpr std::size_t kBins = 37, kCapacity = 9;
    KVSlidingMinimum window(kBins, kCapacity);
    std::deque<std::vector<float>> model;
    std::mt19937 generator(3);
    std::uniform_real_distribution<float> value(0.0f, 100.0f);
    std::vector<float> got(kBins);
    window.minimum(got);
    EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](float v) { return std::isinf(v); }));
    for (int step = 0; step < 2000; ++step) {
        const bool push = model.empty() || (model.size() < kCapacity && generator() % 3 != 0);
        if (push) {
            std::vector<float> spectrum(kBins);
            for (float& v : spectrum) v = value(generator);
            window.push(spectrum);
            model.push_back(spectrum);
        } else {
            window.pop();
            model.pop_front();
        }
        ASSERT_EQ(window.size(), model.size());
        window.minimum(got);
        for (std::size_t k = 0; k < kBins; ++k) {
            float expected = std::numeric_limits<float>::infinity();
            for (const auto& spectrum : model) expected = std::min(expected, spectrum[k]);
            ASSERT_EQ(got[k], expected) << "step " << step << " bin " << k;
        }
    }
}

TEST(IsolationHelpers, BoxIsFittedToTheAnalysisAndItsWindowsHaveTheirShapes) {
    // A box dragged past the end is cut to end at the last frame (its frames stay below it).
    auto past = KVBoxGeometry::fit(90.0f, 300.0f, 40.0f, 12.0f, 100);
    ASSERT_TRUE(past);
    EXPECT_EQ(past->first(), 90);
    EXPECT_EQ(past->last(), 98);
    EXPECT_EQ(past->before(), 89);
    EXPECT_EQ(past->after(), 99);
    // A box narrower than a frame still covers one; one starting past the end covers the last.
    auto narrow = KVBoxGeometry::fit(10.0f, 300.0f, 0.25f, 12.0f, 100);
    EXPECT_EQ(narrow->first(), 10);
    EXPECT_EQ(narrow->last(), 10);
    auto beyond = KVBoxGeometry::fit(250.0f, 300.0f, 5.0f, 12.0f, 100);
    EXPECT_EQ(beyond->first(), 99);
    EXPECT_EQ(beyond->last(), 99);
    EXPECT_FALSE(KVBoxGeometry::fit(0.0f, 300.0f, 5.0f, 12.0f, 0));
    // Pitch 414 is A4 (69 x 6); a band reaching above the top is cut at 22 049 Hz.
    auto band = KVBoxGeometry::fit(0.0f, 414.0f, 5.0f, 480.0f, 100);
    EXPECT_NEAR(band->lowFrequency(), 440.0f, 1e-3f);
    EXPECT_EQ(band->highFrequency(), 22049.0f);
    EXPECT_TRUE(band->inBand(22048.9f));
    EXPECT_FALSE(band->inBand(22049.0f));

    // The box's windows.
    auto box = KVBoxGeometry::fit(10.0f, 0.0f, 20.0f, 6.0f, 100);
    // Raised cosine to the 0.2 power: 0 at the start, 1 in the middle, 0.5^0.2 at a quarter.
    EXPECT_NEAR(box->timeBell(10), 0.0f, 1e-6f);
    EXPECT_NEAR(box->timeBell(20), 1.0f, 1e-6f);
    EXPECT_NEAR(box->timeBell(15), std::pow(0.5, 0.2), 1e-5);
    // Edge ramp: 0.2 per frame up, a plateau, 0.2 per frame down to the box's end.
    const float ramp[] = {0.0f, 0.2f, 0.4f, 0.6f, 0.8f, 1.0f};
    for (int d = 0; d < 6; ++d) EXPECT_NEAR(box->edgeRamp(10 + d), ramp[d], 1e-6f);
    EXPECT_NEAR(box->edgeRamp(29), 0.2f, 1e-6f);
    EXPECT_NEAR(box->denoiseWeight(12), 0.2f, 1e-6f);
    EXPECT_NEAR(box->denoiseWeight(20), 0.5f, 1e-6f);
    // A box starting between frames never weighs its first frame below 0.
    auto between = KVBoxGeometry::fit(10.5f, 0.0f, 20.0f, 6.0f, 100);
    EXPECT_EQ(between->first(), 10);
    EXPECT_EQ(between->edgeRamp(10), 0.0f);
}

TEST(IsolationHelpers, LowPeaksComeStrongestFirstBelowTheLimitAndMarkTheirHarmonics) {
    std::vector<float> spectrum(8192, 0.0f);
    auto lobe = [&](int centre, float height) {
        for (int d = -2; d <= 2; ++d) spectrum[centre + d] = height / float(1 + d * d);
    };
    lobe(100, 5.0f);
    lobe(300, 9.0f);
    lobe(1000, 7.0f);
    lobe(2000, 20.0f);  // 5383 Hz: strongest, but above 4000 Hz
    lobe(5000, 50.0f);  // outside the lower 4096 bins
    lobe(600, 3.0f);
    std::vector<float> work;
    const std::vector<int> peaks = strongLowPeaks(spectrum, 5, 4000.0f, work);
    EXPECT_EQ(peaks, (std::vector<int>{300, 1000, 100, 600}));
    EXPECT_EQ(strongLowPeaks(spectrum, 2, 4000.0f, work), (std::vector<int>{300, 1000}));
    EXPECT_TRUE(strongLowPeaks(std::vector<float>(8192, 0.0f), 5, 4000.0f, work).empty());

    // Harmonic marks repeat at every multiple of a peak.
    std::vector<std::uint8_t> mask(40, 0);
    markHarmonicBins(mask, {7}, 0, 1);
    std::vector<int> marked;
    for (int b = 0; b < 40; ++b)
        if (mask[b]) marked.push_back(b);
    EXPECT_EQ(marked, (std::vector<int>{7, 8, 14, 15, 21, 22, 28, 29, 35, 36}));
    std::fill(mask.begin(), mask.end(), 0);
    markHarmonicBins(mask, {0}, -2, 2);  // a peak at bin 0 marks its neighbourhood once
    EXPECT_EQ(std::count(mask.begin(), mask.end(), 1), 3);
}

}  // namespace
}  // namespace orvex
