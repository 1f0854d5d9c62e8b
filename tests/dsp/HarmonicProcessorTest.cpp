#include "dsp/FrameRecord.h"
#include "dsp/KVHarmonicProcessor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <vector>

using namespace orvex;

namespace {

// Frame records by (frame, channel) in memory.
class MemoryAnalysis : public FrameRecordSource {
public:
    explicit MemoryAnalysis(std::int32_t channels) : mChannels(channels) {}
    std::int32_t numberOfChannels() const override { return mChannels; }
    Status readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel) override {
        auto found = mRecords.find({frame, channel});
        if (found == mRecords.end()) return -1;
        FrameRecord::copy(*found->second, into);
        return 0;
    }
    Status writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel) override {
        auto& slot = mRecords[{frame, channel}];
        if (!slot) slot = FrameRecord::create();
        FrameRecord::copy(record, *slot);
        return 0;
    }
    const FrameRecord* at(FramePos frame, std::int32_t channel) const {
        auto found = mRecords.find({frame, channel});
        return found == mRecords.end() ? nullptr : found->second.get();
    }
    std::vector<std::uint8_t> bytesAt(FramePos frame, std::int32_t channel) const {
        std::vector<std::uint8_t> b(sizeof(FrameRecord));
        std::memcpy(b.data(), at(frame, channel), b.size());
        return b;
    }

private:
    std::int32_t mChannels;
    std::map<std::pair<FramePos, std::int32_t>, std::unique_ptr<FrameRecord>> mRecords;
};

constexpr double kBinWidth = 44100.0 / 16384.0;

// A valid 8192-bin record: every bin at its nominal frequency with a flat floor, plus steady
// partials (five bins at the partial's frequency) of the given magnitudes.
struct Partial {
    float frequency;
    float magnitude;
};
std::unique_ptr<FrameRecord> recordWith(const std::vector<Partial>& partials, float floor) {
    auto r = FrameRecord::create();
    r->frameSize = 4096;
    r->zeroPaddingFactor = 4;
    r->valid = 1;
    std::vector<float> f(8192), m(8192, floor), p(8192, 0.0f);
    for (int k = 0; k < 8192; ++k) f[k] = float(k * kBinWidth);
    int j = 0;
    for (const Partial& partial : partials) {
        const int centre = int(std::lround(partial.frequency / kBinWidth));
        for (int k = centre - 2; k <= centre + 2; ++k) {
            f[k] = partial.frequency;
            m[k] = partial.magnitude;
        }
        r->peakBins[j++] = std::uint16_t(centre);
    }
    for (; j < 255; ++j) r->peakBins[j] = 4096;
    r->encode(m, f, p);
    return r;
}

struct Fixture {
    std::shared_ptr<MemoryAnalysis> source = std::make_shared<MemoryAnalysis>(1);
    std::shared_ptr<MemoryAnalysis> destination = std::make_shared<MemoryAnalysis>(1);
    void putSource(FramePos frame, const FrameRecord& r) {
        source->writeFrameRecord(r, frame, -1);
        source->writeFrameRecord(r, frame, 0);
    }
    std::unique_ptr<KVHarmonicProcessor> processor(int operation, int series, int snap = 0, int variant = 0) {
        return KVHarmonicProcessor::initWithSource(source, destination, operation, series, std::uint8_t(snap), variant);
    }
};

}  // namespace

TEST(HarmonicProcessorFilters, MedianFilterTakesTheUpperMiddleOfEachWindow) {
    // Against a sort of every window (2 w values from i - w, edges repeated), on noise with
    // repeated values.
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> level(0, 40);
    std::vector<float> noise(3000);
    for (float& v : noise) v = level(gen) * 0.05f;
    for (int w : {1, 2, 3, 40, 100}) {
        std::vector<float> filtered = noise;
        KVHarmonicProcessor::medianFilter(filtered, w);
        for (int i = 0; i < 3000; ++i) {
            std::vector<float> window;
            for (int j = 0; j < 2 * w; ++j) window.push_back(noise[std::clamp(i - w + j, 0, 2999)]);
            std::sort(window.begin(), window.end());
            ASSERT_EQ(filtered[i], window[w]) << w << " " << i;
        }
    }
}

TEST(HarmonicProcessorFilters, StabilityWeightPullsSteadyLowBinsDown) {
    std::vector<float> m(8192, 1.0f), g(8192);
    for (int k = 0; k < 8192; ++k) g[k] = float(k * 10.0);  // far apart: never weighted
    g[4096] = g[4095];                                        // d = 0 at half way: factor 1/2
    g[2048] = g[2047] + 1.0f;                                 // d = 1 at a quarter
    g[1] = g[0];                                              // d = 0 at bin 1
    std::vector<std::uint32_t> skip(8192, 0);
    std::vector<float> skipped = m;
    skip[4096] = 1;
    KVHarmonicProcessor::stabilityWeight(m, g);
    KVHarmonicProcessor::stabilityWeight(skipped, g, skip.data());
    EXPECT_FLOAT_EQ(m[4096], 0.5f);
    EXPECT_NEAR(m[2048], 0.75 * 1.0 * 0.4643991 + 0.25, 1e-6);
    EXPECT_NEAR(m[1], 1.0 / 8192, 1e-7);
    EXPECT_EQ(m[0], 1.0f);
    EXPECT_EQ(m[3000], 1.0f);
    EXPECT_EQ(skipped[4096], 1.0f);
    EXPECT_FLOAT_EQ(skipped[2048], m[2048]);
}

// The partial at the fundamental is copied (on the mix and every channel, with the header);
// other partials and the floor are left out.
TEST(HarmonicProcessorExtract, ThePartialAtTheFundamentalIsCopiedAndNothingElse) {
    Fixture fx;
    auto source = recordWith({{440.0f, 5.0f}, {1000.0f, 8.0f}}, 0.01f);
    source->noisiness = 0.25f;
    fx.putSource(3, *source);
    EXPECT_EQ(fx.processor(0, 1)->processFrame(3, 440.0f), 440.0f);
    const double band = 440.0 * (std::pow(2.0, 0.65 / 12) - 1) + 1.0;  // 17.8 Hz
    const std::vector<float> expected = source->decodeMagnitudes();
    for (int channel : {-1, 0}) {
        const FrameRecord* written = fx.destination->at(3, channel);
        ASSERT_NE(written, nullptr);
        EXPECT_EQ(written->noisiness, 0.25f);
        EXPECT_EQ(written->fundamental, 0.0f);
        EXPECT_EQ(written->decodeFrequencies(), source->decodeFrequencies());
        const auto m = written->decodeMagnitudes(), f = written->decodeFrequencies();
        for (int k = 0; k < 8192; ++k) {
            if (f[k] == 440.0f)
                ASSERT_NEAR(m[k], expected[k], 1e-3) << k;
            else if (std::abs(f[k] - 440.0) < band)
                ASSERT_GT(m[k], 0.0f) << k;
            else
                ASSERT_EQ(m[k], 0.0f) << k;
        }
    }
}

TEST(HarmonicProcessorExtract, ExtractingTwiceEqualsExtractingOnce) {
    for (int variant : {0, 1}) {
        for (int series : {1, 3}) {
            Fixture once, twice;
            auto source = recordWith({{220.0f, 3.0f}, {440.0f, 2.0f}, {700.0f, 4.0f}}, 0.02f);
            once.putSource(0, *source);
            twice.putSource(0, *source);
            once.processor(0, series, 0, variant)->processFrame(0, 220.0f);
            auto p = twice.processor(0, series, 0, variant);
            p->processFrame(0, 220.0f);
            p->processFrame(0, 220.0f);
            EXPECT_EQ(once.destination->bytesAt(0, 0), twice.destination->bytesAt(0, 0)) << series << variant;
        }
    }
}

TEST(HarmonicProcessorFundamental, SnapAndClamp) {
    Fixture fx;
    auto source = recordWith({{430.0f, 5.0f}, {2000.0f, 5.0f}}, 0.01f);
    fx.putSource(0, *source);
    EXPECT_NEAR(fx.processor(0, 1, 1)->processFrame(0, 440.0f), 430.0, 0.2);  // 10 Hz away: moved
    EXPECT_EQ(fx.processor(0, 1, 1)->processFrame(0, 1500.0f), 1500.0f);  // 500 Hz away: kept
    EXPECT_EQ(fx.processor(0, 1, 0)->processFrame(0, 440.0f), 440.0f);    // snapping off
    EXPECT_EQ(fx.processor(0, 1, 0)->processFrame(0, 30000.0f), 22050.0f);
    EXPECT_EQ(fx.processor(0, 1, 0)->processFrame(0, -5.0f), 0.0f);

    // A peak list naming only a 0 Hz bin leaves the fundamental alone.
    auto silentPeaks = recordWith({}, 0.01f);
    for (int j = 0; j < 255; ++j) silentPeaks->peakBins[j] = 0;
    fx.putSource(1, *silentPeaks);
    EXPECT_EQ(fx.processor(0, 1, 1)->processFrame(1, 441.0f), 441.0f);
}

TEST(HarmonicProcessorFundamental, MissingSourceFrameStopsBeforeLaterChannels) {
    Fixture fx;
    auto source = recordWith({{440.0f, 5.0f}}, 0.0f);
    fx.source->writeFrameRecord(*source, 0, -1);  // mix only; channel 0 has no record
    EXPECT_EQ(fx.processor(0, 1)->processFrame(0, 440.0f), -1.0f);
    EXPECT_NE(fx.destination->at(0, -1), nullptr);
    EXPECT_EQ(fx.destination->at(0, 0), nullptr);
    EXPECT_EQ(fx.processor(0, 1)->processFrame(7, 440.0f), -1.0f);
    EXPECT_EQ(fx.destination->at(7, -1), nullptr);
}

TEST(HarmonicProcessorAttenuate, HarmonicSeriesStopsAt22050Hz) {
    // Destination bins at 7400 Hz multiples and one at 22200 Hz (a harmonic beyond the limit).
    Fixture fx;
    auto destination = FrameRecord::create();
    destination->frameSize = 4096;
    destination->zeroPaddingFactor = 4;
    destination->valid = 1;
    std::vector<float> f(8192, 0.0f), m(8192, 1.0f);
    f[100] = 3700.0f;   // half the fundamental
    f[200] = 7400.0f;
    f[300] = 14800.0f;
    f[400] = 22200.0f;
    f[500] = 9000.0f;   // no harmonic
    destination->encodeMagnitudesAndFrequencies(m, f);
    fx.destination->writeFrameRecord(*destination, 0, -1);
    fx.destination->writeFrameRecord(*destination, 0, 0);
    fx.putSource(0, *recordWith({}, 0.25f));
    EXPECT_EQ(fx.processor(1, 3, 0, 1)->processFrame(0, 7400.0f), 7400.0f);
    auto got = fx.destination->at(0, 0)->decodeMagnitudes();
    EXPECT_NEAR(got[200], 0.25, 1e-4);
    EXPECT_NEAR(got[300], 0.25, 1e-4);
    EXPECT_EQ(got[100], 1.0f);  // multiples 1, 2, 3 only
    EXPECT_EQ(got[400], 1.0f);
    EXPECT_EQ(got[500], 1.0f);

    fx.processor(1, 2, 0, 1)->processFrame(0, 7400.0f);  // halves too
    EXPECT_NEAR(fx.destination->at(0, 0)->binMagnitude(100), 0.25, 1e-4);
    EXPECT_EQ(fx.destination->at(0, 0)->binMagnitude(400), 1.0f);
}

// Unknown operations and variants leave the destination as it was; attenuating the fundamental
// alone takes its partial down to the source's floor and leaves 880 Hz, 1000 Hz and the floor
// alone; the series with variant 2 takes 880 Hz too.
TEST(HarmonicProcessorAttenuate, PartialsFallToTheSourceFloorAndUnknownModesChangeNothing) {
    Fixture fx;
    fx.putSource(0, *recordWith({{440.0f, 5.0f}, {1000.0f, 8.0f}}, 0.01f));
    auto destination = recordWith({{440.0f, 3.0f}, {880.0f, 2.0f}, {1000.0f, 8.0f}}, 0.02f);
    fx.destination->writeFrameRecord(*destination, 0, -1);
    fx.destination->writeFrameRecord(*destination, 0, 0);
    const auto before = fx.destination->bytesAt(0, 0);
    fx.processor(2, 1)->processFrame(0, 440.0f);        // no such operation
    fx.processor(0, 3, 0, 7)->processFrame(0, 440.0f);  // no such variant
    EXPECT_EQ(fx.destination->bytesAt(0, 0), before);
    fx.processor(1, 1)->processFrame(0, 440.0f);
    auto m = fx.destination->at(0, 0)->decodeMagnitudes();
    for (int k = 161; k <= 165; ++k) EXPECT_NEAR(m[k], 0.01, 1e-3) << k;  // the partial is gone
    for (int k = 325; k <= 329; ++k) EXPECT_NEAR(m[k], 2.0, 1e-3) << k;   // 880 Hz untouched
    for (int k = 370; k <= 374; ++k) EXPECT_NEAR(m[k], 8.0, 1e-3) << k;   // 1000 Hz untouched
    EXPECT_NEAR(m[600], 0.02, 1e-4);
    fx.processor(1, 3, 0, 2)->processFrame(0, 440.0f);
    EXPECT_LT(fx.destination->at(0, 0)->binMagnitude(327), 0.05f);
}
