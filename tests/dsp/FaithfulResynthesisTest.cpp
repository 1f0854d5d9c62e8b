#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "AnalysisHelpers.h"
#include "dsp/BandLimitedInterpolator.h"
#include "dsp/FastMath.h"
#include "dsp/SpectralProcessor.h"
#include "dsp/WarpInverse.h"
#include "support/Signals.h"

// An analysed stream resynthesised frame by frame and overlap-added must give back the input:
// these tests measure that against the input itself (SNR) and the building blocks against
// exact values computed here in double precision.
namespace orvex {
namespace {

constexpr double kRate = 44100.0;
constexpr std::int64_t kFrame = 4096;
constexpr std::int64_t kHop = 128;

double snrDb(const std::vector<double>& reference, const std::vector<double>& estimate) {
    double signal = 0, error = 0;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        signal += reference[i] * reference[i];
        error += (reference[i] - estimate[i]) * (reference[i] - estimate[i]);
    }
    return 10.0 * std::log10(signal / std::max(error, 1e-300));
}

// Analyses input with the store's parameters, resynthesises every record and overlap-adds the
// frames where they belong (record k covers samples 128 k - 3968 .. 128 k + 127). Returns the
// output aligned with the input, and the share of frames that chose a warp.
std::vector<double> analyseAndResynthesise(const std::vector<float>& input, double* warpedShare = nullptr) {
    SpectralProcessor analysis(kFrame, 32, 4, kRate), synthesis(kFrame, 32, 4, kRate);
    test::RecordSink sink;
    sink.attach(analysis);
    std::vector<float> padded(input);
    padded.resize(input.size() + kFrame, 0.0f);  // frames past the end complete the last samples
    analysis.feedSamples(static_cast<std::int64_t>(padded.size()), padded.data());
    std::vector<double> out(input.size(), 0.0);
    std::vector<float> frame(kFrame);
    std::size_t warped = 0;
    for (std::size_t k = 0; k < sink.records.size(); ++k) {
        warped += sink.records[k]->warpFactor != 1.0f ? 1 : 0;
        synthesis.synthesizeFrame(sink.records[k].get(), frame.data());
        const std::int64_t start = std::int64_t(k) * kHop - (kFrame - kHop);
        for (std::int64_t j = 0; j < kFrame; ++j)
            if (start + j >= 0 && start + j < std::int64_t(out.size())) out[std::size_t(start + j)] += frame[std::size_t(j)];
    }
    if (warpedShare) *warpedShare = double(warped) / double(sink.records.size());
    return out;
}

std::vector<double> asDouble(const std::vector<float>& x) { return {x.begin(), x.end()}; }

// Fades of 10 ms: a sine that starts with a jump is a click, whose highs no warped frame keeps.
std::vector<float> faded(std::vector<float> x) {
    const std::size_t ramp = 441;
    for (std::size_t i = 0; i < ramp; ++i) {
        const float g = float(0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / ramp));
        x[i] *= g;
        x[x.size() - 1 - i] *= g;
    }
    return x;
}

// Sines over the whole band and a glide that makes most frames choose a warp: the resynthesis
// is the input within 80 dB (sines) and 70 dB (glide, warped frames), with no gain and no lag.
TEST(FaithfulResynthesis, SinesAndGlidesComeBackWhole) {
    for (double f : {50.0, 440.0, 3000.0, 8000.0, 12000.0, 16000.0}) {
        const auto tone = faded(test::sine(f, kRate, 22050, 0.3, 0.4));
        EXPECT_GT(snrDb(asDouble(tone), analyseAndResynthesise(tone)), 80.0) << f;
    }
    auto glide = test::chirp(300, 6000, kRate, 22050, 0.2);
    test::mixInto(glide, test::chirp(4000, 1200, kRate, 22050, 0.1));
    glide = faded(glide);
    double warped = 0;
    const auto out = analyseAndResynthesise(glide, &warped);
    EXPECT_GT(warped, 0.3);
    EXPECT_GT(snrDb(asDouble(glide), out), 70.0);
}

// A constant (all in the DC bin, whose frequency estimate lies below 20 Hz) and noise below
// 16 kHz: nothing is dropped, and the DC bin is not doubled.
TEST(FaithfulResynthesis, DcAndNoiseComeBackWhole) {
    std::vector<float> level(22050, 0.25f);
    const auto out = analyseAndResynthesise(level);
    for (std::size_t i = 2000; i < out.size() - 2000; i += 997) EXPECT_NEAR(out[i], 0.25, 1e-4) << i;

    // Noise from many random partials below 16 kHz.
    std::mt19937 generator(11);
    std::uniform_real_distribution<double> frequency(30.0, 16000.0), phase(0.0, 6.28);
    std::vector<float> noise(22050, 0.0f);
    for (int p = 0; p < 300; ++p) test::mixInto(noise, test::sine(frequency(generator), kRate, 22050, 0.01, phase(generator)));
    noise = faded(noise);
    EXPECT_GT(snrDb(asDouble(noise), analyseAndResynthesise(noise)), 65.0);
}

// The band-limited reading against exact values of sines read at fractional positions.
TEST(FaithfulResynthesis, BandLimitedReadingIsExactUpTo18kHz) {
    const BandLimitedInterpolator& interpolator = BandLimitedInterpolator::shared();
    const std::int64_t n = 512;
    for (double f : {100.0, 5000.0, 12000.0, 18000.0}) {
        std::vector<float> x(n);
        for (std::int64_t i = 0; i < n; ++i) x[std::size_t(i)] = float(std::sin(2 * std::numbers::pi * f * i / kRate + 0.2));
        double worst = 0;
        for (double p = 100.0; p < 400.0; p += 0.37) {
            const double exact = std::sin(2 * std::numbers::pi * f * p / kRate + 0.2);
            worst = std::max(worst, std::fabs(interpolator.at(x.data(), n, p) - exact));
        }
        // The kernel's own error (below -85 dB) plus that of taking the nearest of its 4097
        // tabulated phases, a timing error of at most 1/8192 sample.
        EXPECT_LT(worst, 6e-5 + 2 * std::numbers::pi * f / kRate / 8192) << f;
    }
    const std::vector<float> ones(64, 1.0f);
    EXPECT_NEAR(interpolator.at(ones.data(), 64, 31.3), 1.0f, 1e-6f);
    EXPECT_NEAR(interpolator.at(ones.data(), 64, 63.5), 0.5f, 0.05f);  // zeros outside the run
}

// Undoing a warp: the frame read at the table's positions and windowed, put through the
// inverse, is the unwarped windowed frame w(t) x(t).
TEST(FaithfulResynthesis, WarpInverseGivesTheUnwarpedWindowedFrame) {
    const auto x = test::chirp(200, 9000, kRate, kFrame, 0.5);
    for (float factor : {1.1090908f, -1.1090908f, 1.0090909f}) {
        const WarpTable table(factor, kFrame);
        std::vector<float> warped(kFrame), unwarped(kFrame);
        table.warpBandLimited(x.data(), warped.data());
        for (std::int64_t k = 0; k < kFrame; ++k) warped[std::size_t(k)] *= float(test::hann(k, kFrame));
        WarpInverse(table).apply(warped.data(), unwarped.data());
        double worst = 0;
        for (std::int64_t t = 64; t < kFrame - 64; ++t)
            worst = std::max(worst, std::fabs(unwarped[std::size_t(t)] - test::hann(t, kFrame) * x[std::size_t(t)]));
        EXPECT_LT(worst, 2e-4) << factor;
    }
}

// The stored phase against the double-precision library over every octant and both axes.
TEST(FaithfulResynthesis, AccuratePhaseStaysWithinItsStatedError) {
    double worst = 0;
    for (int i = 0; i <= 20000; ++i) {
        const double angle = -std::numbers::pi + 2 * std::numbers::pi * i / 20000.0;
        for (double radius : {1e-20, 1.0, 3e4}) {
            const auto y = float(radius * std::sin(angle)), x = float(radius * std::cos(angle));
            worst = std::max(worst, std::fabs(fastmath::atan2Accurate(y, x) - std::atan2(double(y), double(x))));
        }
    }
    EXPECT_LT(worst, 4e-7);
    EXPECT_EQ(fastmath::atan2Accurate(0.0f, 0.0f), 0.0f);
    EXPECT_NEAR(fastmath::atan2Accurate(0.0f, -2.0f), std::numbers::pi, 1e-6);
    EXPECT_NEAR(fastmath::atan2Accurate(-3.0f, 0.0f), -std::numbers::pi / 2, 1e-6);
}

// A bin whose phase is regenerated and that has no measured frequency sounds at its own bin,
// not at 0 Hz.
TEST(FaithfulResynthesis, RegeneratedBinWithoutFrequencyKeepsItsPlace) {
    SpectralProcessor synthesis(kFrame, 32, 4, kRate);
    FrameRecord record;
    std::vector<float> magnitudes(8192, 0.0f), frequencies(8192, 0.0f), phases(8192, kPhaseUnknown);
    const int bin = 1486;  // 4000 Hz
    magnitudes[bin] = 100.0f;
    record.valid = 1;
    record.frameSize = kFrame;
    record.zeroPaddingFactor = 4;
    record.overlap = 32;
    record.encode(magnitudes, frequencies, phases);
    std::vector<float> out(kFrame);
    synthesis.synthesizeFrame(&record, out.data());
    double mean = 0, energy = 0;
    for (float v : out) {
        mean += v;
        energy += double(v) * v;
    }
    EXPECT_GT(energy, 1e-6);
    EXPECT_LT(std::fabs(mean) * std::fabs(mean), 1e-6 * energy * kFrame);
}

}  // namespace
}  // namespace orvex
