#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <thread>

#include "AnalysisHelpers.h"
#include "dsp/SpectralProcessor.h"
#include "support/Signals.h"

namespace orvex {
namespace {

using test::RecordSink;

constexpr double kRate = 44100.0;

// ---- set-up: factor list, tables, windows -------------------------------------------------

TEST(SpectralProcessorSetup, WarpTablesReadWithALinearlyChangingSpeedAveragingOne) {
    const std::int64_t n = 4096;
    SpectralProcessor processor(n, 32, 4, kRate);
    const auto& identity = processor.warpTable(0).positions();
    for (std::int64_t k = 0; k < n; ++k) ASSERT_EQ(identity[k], float(k));
    for (size_t t = 1; t < processor.warpFactors().size(); ++t) {
        const float s = processor.warpFactors()[t];
        const auto& p = processor.warpTable(t).positions();
        const double a = s > 0 ? 1.0 / s : -s, b = s > 0 ? s : -1.0 / s;
        EXPECT_EQ(p[0], 0.0f);
        EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
        EXPECT_LE(p[n - 1], float(n - 1));
        // Independent closed form: p[k] = sum_{j<k} r(j) - k e with r linear from a to b.
        const double excess = (a + b) / 2 - 1 + (a - b) / (2.0 * n);
        for (std::int64_t k : {1, 100, 2048, 3000}) {
            const double expected = a * k + (b - a) * double(k) * double(k - 1) / (2.0 * n) - k * excess;
            EXPECT_NEAR(p[k], std::min(expected, double(n - 1)), 0.05) << s << " " << k;
        }
    }
}

// ---- framing ------------------------------------------------------------------------------

// With N 4096 and overlap 4 the first frame holds 3072 zeros and the first 1024 samples:
// a constant input of 1 shows up as the largest windowed sample of each frame.
TEST(SpectralProcessorFraming, FramesCompleteEveryHopAndStartWithZeros) {
    SpectralProcessor processor(4096, 4, 1, kRate);
    RecordSink sink;
    int userChannel = -1;
    sink.attach(processor, userChannel);
    const std::vector<float> ones(3 * 1024 + 1000, 1.0f);
    processor.feedSamples(static_cast<std::int64_t>(ones.size()), ones.data());
    ASSERT_EQ(sink.records.size(), 3u);
    EXPECT_EQ(sink.channels[0], -1);
    const auto hann = processor.hannWindow();
    EXPECT_FLOAT_EQ(sink.records[0]->maximumSample, hann[3072]);
    EXPECT_FLOAT_EQ(sink.records[1]->maximumSample, 1.0f);
    EXPECT_EQ(sink.records[0]->minimumSample, 0.0f);
    EXPECT_EQ(sink.records[0]->frameSize, 4096);
    EXPECT_EQ(sink.records[0]->overlap, 4);
    EXPECT_EQ(sink.records[0]->zeroPaddingFactor, 1);
    EXPECT_EQ(sink.records[0]->valid, 1);
    EXPECT_EQ(sink.records[0]->frameIndex, -1);
}

// Records do not depend on how the samples arrive: in one block, in uneven blocks, or on
// processors running on other threads at once (the runner, the store, the preview share nothing).
TEST(SpectralProcessorFraming, UnevenBlocksAndOtherThreadsGiveIdenticalRecords) {
    const auto signal = test::chirp(300, 3000, kRate, 3000);
    auto analyse = [&](RecordSink& sink, bool uneven) {
        SpectralProcessor processor(1024, 8, 2, kRate);
        sink.attach(processor);
        for (size_t start = 0, size = uneven ? 1 : signal.size(); start < signal.size(); start += size, size = size * 3 % 577 + 1)
            processor.feedSamples(static_cast<std::int64_t>(std::min(size, signal.size() - start)), signal.data() + start);
    };
    RecordSink alone, pieces, first, second;
    analyse(alone, false);
    analyse(pieces, true);
    std::thread a([&] { analyse(first, false); }), b([&] { analyse(second, true); });
    a.join();
    b.join();
    ASSERT_EQ(alone.records.size(), signal.size() / 128);
    for (const RecordSink* other : {&pieces, &first, &second}) {
        ASSERT_EQ(other->records.size(), alone.records.size());
        for (size_t i = 0; i < alone.records.size(); ++i)
            ASSERT_EQ(std::memcmp(other->records[i].get(), alone.records[i].get(), sizeof(FrameRecord)), 0) << i;
    }
}

// ---- estimation against known signals --------------------------------------------------------

// A sine at 1000 Hz (with and without zero padding) and one at 15 kHz, in the frame that ends 41
// hops after the start, report their frequency, magnitude and phase against a double-precision
// DFT of the windowed frame; only the 1000 Hz one is a peak (peaks are looked for below 11 kHz).
TEST(SpectralProcessorEstimation, SinesReportTheirFrequencyMagnitudeAndPhase) {
    const struct {
        double frequency;
        std::int64_t padding;
        bool peak;
    } cases[] = {{1000.0, 4, true}, {1000.0, 1, true}, {15000.0, 4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frequency << " Hz, padding " << c.padding);
        SpectralProcessor p(4096, 32, c.padding, kRate);
        std::vector<float> x(4096);
        std::vector<double> windowed(4096);
        for (std::int64_t n = 0; n < 4096; ++n) {
            const double v = 0.5 * std::sin(2 * std::numbers::pi * c.frequency * double(41 * 128 - 4096 + n) / kRate);
            x[n] = static_cast<float>(v);
            windowed[n] = test::hann(n, 4096) * v;
        }
        const FrameEstimate estimate = p.analyzeFrame(x.data());
        const double df = kRate / (4096.0 * c.padding);
        const auto centre = static_cast<std::int64_t>(std::lround(c.frequency / df));
        EXPECT_EQ(estimate.warpFactor, 1.0f);
        for (std::int64_t k = centre - c.padding; k <= centre + c.padding; ++k) {
            EXPECT_NEAR(p.frequencies()[k], c.frequency, 0.25 * df) << "bin " << k;
            EXPECT_GT(p.candidates()[k], 0.0f) << "bin " << k;
            const auto reference = test::dftBin(windowed, 4096 * c.padding, double(k));
            EXPECT_NEAR(p.magnitudes()[k], 2 * std::abs(reference), 2e-3 * 2 * std::abs(reference));
            EXPECT_NEAR(p.phases()[k], std::arg(reference), 0.006) << "bin " << k;
        }
        EXPECT_LT(estimate.noisiness, 0.5f);
        EXPECT_LE(estimate.minimum, -0.49f);
        EXPECT_GE(estimate.maximum, 0.49f);
        FrameRecord record;
        p.fillRecord(estimate, record);
        const auto* peaks = record.peakBins;
        EXPECT_EQ(std::find(peaks, peaks + 255, centre) != peaks + 255, c.peak);
        if (!c.peak) {
            EXPECT_EQ(std::count(peaks, peaks + 255, 4096), 255);
        }
        EXPECT_NEAR(record.binFrequency(int(centre)), c.frequency, (c.peak ? 0.25 : 0.5) * df);
    }
}

// The chosen warp is applied: a glide's frame is analysed warped, and its peak grows well
// above the peak of the same frame analysed without warping.
TEST(SpectralProcessorEstimation, ChirpIsAnalysedWithTheChosenWarp) {
    const auto glide = test::chirp(1000, 3000, kRate, 44100);
    const float* frame = glide.data() + 20000;
    SpectralProcessor warping(4096, 32, 4, kRate), plain(4096, 32, 4, kRate, 1.0f, 11);
    ASSERT_EQ(plain.warpFactors().size(), 1u);
    const FrameEstimate warped = warping.analyzeFrame(frame);
    plain.analyzeFrame(frame);
    EXPECT_NE(warped.warpFactor, 1.0f);
    EXPECT_EQ(warped.warpFactor, warping.chooseWarp(frame).factor);
    EXPECT_GT(*std::max_element(warping.magnitudes().begin(), warping.magnitudes().end()),
              1.2f * *std::max_element(plain.magnitudes().begin(), plain.magnitudes().end()));
}

TEST(SpectralProcessorEstimation, SilenceGivesTheSilentFrameRecord) {
    SpectralProcessor processor(4096, 32, 4, kRate);
    RecordSink sink;
    sink.attach(processor, 1);
    const std::vector<float> zeros(4096, 0.0f);
    processor.feedSamples(4096, zeros.data());
    ASSERT_EQ(sink.records.size(), 32u);
    const FrameRecord& r = *sink.records.back();
    EXPECT_EQ(sink.channels.back(), 1);
    EXPECT_EQ(r.noisiness, 0.0f);
    EXPECT_EQ(r.warpFactor, 1.0f);
    EXPECT_EQ(r.minimumSample, 0.0f);
    EXPECT_EQ(r.maximumSample, 0.0f);
    EXPECT_EQ(r.valid, 1);
    EXPECT_EQ(r.regionBounds[0], 0);
    for (int j = 0; j < 255; ++j) EXPECT_EQ(r.peakBins[j], 4096) << j;
    for (int j = 1; j < 255; ++j) EXPECT_EQ(r.regionBounds[j], 4096) << j;
    EXPECT_EQ(r.peakBins[255], 0);
    for (float m : r.decodeMagnitudes()) ASSERT_EQ(m, 0.0f);
    EXPECT_EQ(processor.spectralEntropy(zeros.data()), 0.0f);
    EXPECT_EQ(processor.chooseWarp(zeros.data()).factor, 1.0f);
}

}  // namespace
}  // namespace orvex
