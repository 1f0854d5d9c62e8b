// Cost per frame of the display derivations, of the frame record codecs and of harmonic
// processing, on a record that looks like an analysed frame: a 40-partial harmonic tone over a
// noise floor, 8192 bins. The machine is shared: compare CPU times, and take the least of a few
// repetitions (--benchmark_repetitions=9).
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FrameRecord.h"
#include "dsp/KVHarmonicProcessor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

using namespace orvex;

namespace {

constexpr int kBins = 8192;
constexpr double kBinWidth = 44100.0 / 16384.0;

struct FrameArrays {
    std::vector<float> magnitudes, frequencies, phases;
    std::vector<int> peaks;
};

FrameArrays analysedLookingFrame() {
    FrameArrays a{std::vector<float>(kBins), std::vector<float>(kBins), std::vector<float>(kBins), {}};
    std::mt19937 gen(1234);
    std::uniform_real_distribution<float> jitter(-0.5f, 0.5f), phase(-3.14159f, 3.14159f);
    for (int k = 0; k < kBins; ++k) {
        a.frequencies[k] = float((k + jitter(gen)) * kBinWidth);
        a.magnitudes[k] = 0.05f * (1.0f + jitter(gen));
        a.phases[k] = phase(gen);
    }
    for (int n = 1; n <= 40; ++n) {
        const double f = 220.0 * n * 1.003;
        const int centre = int(std::lround(f / kBinWidth));
        for (int k = centre - 3; k <= centre + 3; ++k) {
            a.frequencies[k] = float(f);  // a steady partial: neighbouring bins agree
            a.magnitudes[k] = float(80.0 / n / (1 + std::abs(k - centre)));
        }
        a.peaks.push_back(centre);
    }
    return a;
}

std::unique_ptr<FrameRecord> analysedLookingRecord() {
    FrameArrays a = analysedLookingFrame();
    auto r = FrameRecord::create();
    r->frameSize = 4096;
    r->zeroPaddingFactor = 4;
    r->overlap = 32;
    r->valid = 1;
    r->maximumSample = 0.4f;
    r->minimumSample = -0.35f;
    r->encode(a.magnitudes, a.frequencies, a.phases);
    for (int j = 0; j < 255; ++j) r->peakBins[j] = j < int(a.peaks.size()) ? a.peaks[j] : 4096;
    return r;
}

// A noisy frame: 254 distinct peaks spread from 20 Hz to 11 kHz, the harmonic column's worst
// case (every peak is a fundamental for every later one).
std::unique_ptr<FrameRecord> densePeakRecord() {
    auto r = analysedLookingRecord();
    for (int j = 0; j < 254; ++j) r->peakBins[j] = std::uint16_t(8 + j * 16);
    return r;
}

// One derivation from a stored-looking record, repeated.
template <class Derivation>
void BM_FromRecord(benchmark::State& state, Derivation derive) {
    auto r = analysedLookingRecord();
    for (auto _ : state) benchmark::DoNotOptimize(derive(*r));
}

void BM_HarmonicColumnDensePeaks(benchmark::State& state) {
    auto r = densePeakRecord();
    for (auto _ : state) benchmark::DoNotOptimize(harmonicColumn(*r));
}
BENCHMARK(BM_HarmonicColumnDensePeaks)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FromRecord, spectralColumn, spectralColumn)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FromRecord, harmonicColumn, harmonicColumn)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FromRecord, frameSummary, frameSummary)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_FromRecord, frequencyStability, [](const FrameRecord& r) { return r.frequencyStability(); })
    ->Unit(benchmark::kMicrosecond);

void BM_RecordEncode(benchmark::State& state) {
    FrameArrays a = analysedLookingFrame();
    auto r = FrameRecord::create();
    r->frameSize = 4096;
    r->zeroPaddingFactor = 4;
    r->valid = 1;
    for (auto _ : state) {
        r->encode(a.magnitudes, a.frequencies, a.phases);
        benchmark::DoNotOptimize(r->bins[100]);
    }
}
BENCHMARK(BM_RecordEncode)->Unit(benchmark::kMicrosecond);

void BM_RecordDecodeAll(benchmark::State& state) {
    auto r = analysedLookingRecord();
    std::vector<float> m(kBins), f(kBins), p(kBins);
    for (auto _ : state) {
        r->decodeMagnitudesInto(m);
        r->decodeFrequenciesInto(f);
        r->decodePhasesInto(p);
        benchmark::DoNotOptimize(p.data());
    }
}
BENCHMARK(BM_RecordDecodeAll)->Unit(benchmark::kMicrosecond);

// One frame record per channel (mix and one channel), shared by every frame index.
class OneFrameAnalysis : public FrameRecordSource {
public:
    explicit OneFrameAnalysis(const FrameRecord& record) : mRecord(FrameRecord::create()) {
        FrameRecord::copy(record, *mRecord);
    }
    std::int32_t numberOfChannels() const override { return 1; }
    Status readFrameRecord(FramePos, FrameRecord& into, std::int32_t) override {
        FrameRecord::copy(*mRecord, into);
        return 0;
    }
    Status writeFrameRecord(const FrameRecord&, FramePos, std::int32_t) override { return 0; }

private:
    std::unique_ptr<FrameRecord> mRecord;
};

// processFrame for both channels (mix and one channel) of one frame, by mode:
// (operation, series, variant).
void BM_HarmonicProcessFrame(benchmark::State& state) {
    auto record = analysedLookingRecord();
    auto source = std::make_shared<OneFrameAnalysis>(*record);
    auto destination = std::make_shared<OneFrameAnalysis>(*record);
    auto processor = KVHarmonicProcessor::initWithSource(source, destination, std::int32_t(state.range(0)),
                                                         std::int32_t(state.range(1)), 1, std::int32_t(state.range(2)));
    for (auto _ : state) benchmark::DoNotOptimize(processor->processFrame(0, 220.0f));
}
BENCHMARK(BM_HarmonicProcessFrame)
    ->Args({0, 1, 0})
    ->Args({1, 1, 0})
    ->Args({0, 3, 1})
    ->Args({0, 3, 0})
    ->Args({1, 3, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
