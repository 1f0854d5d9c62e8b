#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "AnalysisHelpers.h"
#include "dsp/FastMath.h"
#include "dsp/SpectralProcessor.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"

namespace orvex {
namespace {

constexpr double kRate = 44100.0;

// One analysed frame resynthesised alone is the Hann-windowed input frame windowed again and
// scaled by 4/3 x (2 / overlap), so that 32 such frames 128 samples apart add up to the input.
TEST(Resynthesis, SingleFrameIsTheWindowedInputFrame) {
    SpectralProcessor analysis(4096, 32, 4, kRate), synthesis(4096, 32, 4, kRate);
    const auto tone = test::sine(300, kRate, 4096, 0.5);
    const FrameEstimate estimate = analysis.analyzeFrame(tone.data());
    FrameRecord record;
    analysis.fillRecord(estimate, record);
    ASSERT_EQ(record.warpFactor, 1.0f);
    std::vector<float> out(4096);
    synthesis.synthesizeFrame(&record, out.data());
    const double gain = 4.0 / 3.0 * (2.0 / 32.0);
    double worst = 0;
    for (std::int64_t k = 0; k < 4096; ++k) {
        const double w = test::hann(k, 4096);
        worst = std::max(worst, std::fabs(out[k] - gain * w * w * tone[k]));
    }
    EXPECT_LT(worst, 1e-4 * gain * 0.5);
    EXPECT_EQ(record.maximumSample, *std::max_element(out.begin(), out.end()));
    EXPECT_EQ(record.minimumSample, *std::min_element(out.begin(), out.end()));
}

// A record whose warp factor field is 0 (never set) or NaN plays unwarped instead of
// reading outside the frame.
TEST(Resynthesis, UnusableWarpFactorPlaysUnwarped) {
    SpectralProcessor analysis(4096, 32, 4, kRate), synthesis(4096, 32, 4, kRate);
    const auto tone = test::sine(500, kRate, 4096, 0.5);
    FrameRecord record;
    analysis.fillRecord(analysis.analyzeFrame(tone.data()), record);
    ASSERT_EQ(record.warpFactor, 1.0f);
    std::vector<float> reference(4096), out(4096);
    synthesis.synthesizeFrame(&record, reference.data());
    for (float factor : {0.0f, std::nanf(""), -INFINITY}) {
        record.warpFactor = factor;
        synthesis.synthesizeFrame(&record, out.data());
        EXPECT_EQ(out, reference) << factor;
    }
    WarpTable absurd(1e-30f, 256);
    for (float p : absurd.positions()) ASSERT_TRUE(p >= 0.0f && p <= 255.0f);
}

// The synthesis sine and cosine against the double-precision library: a dense sweep of the
// wrapped phase range (every quadrant boundary) and random arguments up to 1e5 rad.
TEST(Resynthesis, SineCosineApproximationStaysWithinItsStatedError) {
    auto worstError = [](float x) {
        float sine, cosine;
        fastmath::sinCosApprox(x, sine, cosine);
        return std::max(std::fabs(sine - std::sin(double(x))), std::fabs(cosine - std::cos(double(x))));
    };
    double worst = 0;
    for (float x = -7.0f; x <= 7.0f; x += 1.0f / 4096.0f) worst = std::max(worst, worstError(x));
    for (int q = -8; q <= 8; ++q) {
        const float boundary = float(q * std::numbers::pi / 4);
        worst = std::max({worst, worstError(boundary), worstError(std::nextafter(boundary, 10.0f)),
                          worstError(std::nextafter(boundary, -10.0f))});
    }
    EXPECT_LT(worst, 1e-7);
    std::mt19937 generator(5);
    for (float limit : {1e4f, 1e5f}) {
        std::uniform_real_distribution<float> uniform(-limit, limit);
        double far = 0;
        for (int i = 0; i < 200000; ++i) far = std::max(far, worstError(uniform(generator)));
        EXPECT_LT(far, limit == 1e4f ? 1e-7 : 1e-6) << limit;
    }
}

// ---- streaming synthesis with regenerated phases --------------------------------------------

// Fills a (4096, 4, 1) record with one bin at 1000 Hz and every phase unknown.
struct ToneRequest {
    int calls = 0;
    static void fill(FrameRecord* record, std::int32_t channel, void* userData) {
        auto* self = static_cast<ToneRequest*>(userData);
        ++self->calls;
        EXPECT_EQ(channel, -1);
        record->frameSize = 4096;
        record->zeroPaddingFactor = 1;
        record->overlap = 4;
        record->valid = 1;
        record->warpFactor = 1.0f;
        std::vector<float> magnitudes(2048, 0.0f), frequencies(2048, 0.0f), phases(2048, kPhaseUnknown);
        magnitudes[93] = 1000.0f;
        frequencies[93] = 1000.0f;
        record->encode(magnitudes, frequencies, phases);
    }
};

std::vector<float> pull(SpectralProcessor& processor, std::int64_t count, std::int64_t block = 512) {
    std::vector<float> out(count);
    for (std::int64_t i = 0; i < count; i += block) processor.pullSamples(std::min(block, count - i), out.data() + i);
    return out;
}

TEST(Resynthesis, UnknownPhasesGiveAContinuousToneAtTheStoredFrequency) {
    SpectralProcessor preview(4096, 4, 1, kRate);
    ToneRequest request;
    preview.setSynthesisCallback(&ToneRequest::fill, &request, -1);
    const auto out = pull(preview, 65536);
    EXPECT_EQ(request.calls, 65536 / 1024);
    EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 1024, [](float v) { return v == 0.0f; })) << "latency";
    // The strongest component is 1000 Hz, not the bin's own 990 Hz.
    const std::int64_t from = 8192, to = 65536;
    const std::vector<float> steady(out.begin() + from, out.begin() + to);
    double best = 0, bestFrequency = 0;
    for (double f = 980; f <= 1020; f += 0.5) {
        const double a = test::amplitudeAt(steady, f, kRate);
        if (a > best) best = a, bestFrequency = f;
    }
    EXPECT_NEAR(bestFrequency, 1000.0, 0.5);
    // Continuous: no block of the steady part falls silent.
    double lowest = 1e9, highest = 0;
    for (std::int64_t b = from; b + 256 <= to; b += 256) {
        double energy = 0;
        for (std::int64_t i = b; i < b + 256; ++i) energy += double(out[i]) * out[i];
        lowest = std::min(lowest, energy);
        highest = std::max(highest, energy);
    }
    EXPECT_GT(lowest, 0.25 * highest);
    EXPECT_GT(best, 0.5 * std::sqrt(2.0 * highest / 256));
}

// Without a callback the processor plays silence and its phase state stays where it was:
// a tone started after the silence is the tone of a fresh processor, delayed.
TEST(Resynthesis, SilenceWithoutCallbackLeavesPhaseStateAlone) {
    SpectralProcessor delayed(4096, 4, 1, kRate), fresh(4096, 4, 1, kRate);
    const auto silence = pull(delayed, 4096);
    EXPECT_TRUE(std::all_of(silence.begin(), silence.end(), [](float v) { return v == 0.0f; }));
    ToneRequest a, b;
    delayed.setSynthesisCallback(&ToneRequest::fill, &a, -1);
    fresh.setSynthesisCallback(&ToneRequest::fill, &b, -1);
    const auto late = pull(delayed, 8192);
    const auto early = pull(fresh, 8192);
    for (std::int64_t i = 0; i < 8192; ++i) ASSERT_NEAR(late[i], early[i], 1e-6) << i;
}

}  // namespace
}  // namespace orvex
