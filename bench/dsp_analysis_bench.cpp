// Cost of the spectral analysis per analysed frame (one hop of 128 samples) for one
// (4096, 32, 4) stream fed a noisy chirp, split into its parts, and of frame synthesis.
#include <benchmark/benchmark.h>

#include <vector>

#include "dsp/FftEngine.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"
#include "dsp/WarpTable.h"
#include "support/Signals.h"

namespace {

using namespace orvex;

constexpr double kRate = 44100.0;
constexpr std::int64_t kHop = 128;

std::vector<float> noisyChirp() {
    auto signal = test::chirp(200, 8000, kRate, 10 * 44100, 0.4);
    test::mixInto(signal, test::noise(10 * 44100, 0.05, 3));
    return signal;
}

const std::vector<float>& corpus() {
    static const std::vector<float> signal = noisyChirp();
    return signal;
}

void keep(FrameRecord* record, std::int32_t, void*) { benchmark::DoNotOptimize(record->bins[100]); }

// Frame position that walks through the signal so every iteration sees a different frame.
struct Cursor {
    std::int64_t position = 0;
    const float* next(std::int64_t length) {
        const auto& s = corpus();
        if (position + length > std::int64_t(s.size())) position = 0;
        const float* p = s.data() + position;
        position += kHop;
        return p;
    }
};

void BM_AnalysedFrame(benchmark::State& state) {
    SpectralProcessor processor(4096, 32, 4, kRate);
    processor.setAnalysisCallback(&keep, nullptr, 0);
    Cursor cursor;
    for (auto _ : state) processor.feedSamples(kHop, cursor.next(kHop));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalysedFrame)->Unit(benchmark::kMicrosecond);

void BM_ChooseWarp(benchmark::State& state) {
    SpectralProcessor processor(4096, 32, 4, kRate);
    Cursor cursor;
    for (auto _ : state) benchmark::DoNotOptimize(processor.chooseWarp(cursor.next(4096)));
}
BENCHMARK(BM_ChooseWarp)->Unit(benchmark::kMicrosecond);

void BM_FrameSpectrum16384(benchmark::State& state) {
    SpectralProcessor processor(4096, 32, 4, kRate);
    Cursor cursor;
    float factor = -1.0454545f;
    for (auto _ : state) {
        processor.frameSpectrum(cursor.next(4096), factor);
        benchmark::DoNotOptimize(processor.candidates().data());
    }
}
BENCHMARK(BM_FrameSpectrum16384)->Unit(benchmark::kMicrosecond);

void BM_RecordEncoding(benchmark::State& state) {
    SpectralProcessor processor(4096, 32, 4, kRate);
    Cursor cursor;
    const FrameEstimate estimate = processor.analyzeFrame(cursor.next(4096));
    auto record = FrameRecord::create();
    for (auto _ : state) {
        processor.fillRecord(estimate, *record);
        benchmark::DoNotOptimize(record->bins[10]);
    }
}
BENCHMARK(BM_RecordEncoding)->Unit(benchmark::kMicrosecond);

void BM_SynthesizeFrame(benchmark::State& state) {
    SpectralProcessor analysis(4096, 32, 4, kRate), synthesis(4096, 32, 4, kRate);
    Cursor cursor;
    auto record = FrameRecord::create();
    analysis.fillRecord(analysis.analyzeFrame(cursor.next(4096) + 44100), *record);
    std::vector<float> grain(4096);
    for (auto _ : state) {
        synthesis.synthesizeFrame(record.get(), grain.data());
        benchmark::DoNotOptimize(grain.data());
    }
}
BENCHMARK(BM_SynthesizeFrame)->Unit(benchmark::kMicrosecond);

// The band-limited reading of one frame through the steepest warp: analysis and synthesis
// each make one per frame and stream.
void BM_BandLimitedWarp(benchmark::State& state) {
    const WarpTable table(1.1f, 4096);
    Cursor cursor;
    std::vector<float> out(4096);
    for (auto _ : state) {
        table.warpBandLimited(cursor.next(4096), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BandLimitedWarp)->Unit(benchmark::kMicrosecond);

// Reference point for the machine's current speed: one real FFT of each analysis size.
void BM_RealFft(benchmark::State& state) {
    const std::int64_t n = state.range(0);
    FftEngine engine(n);
    std::vector<float> input(corpus().begin(), corpus().begin() + n), output(n + 2);
    for (auto _ : state) {
        engine.realForward(input.data(), output.data(), n);
        benchmark::DoNotOptimize(output.data());
    }
}
BENCHMARK(BM_RealFft)->Arg(4096)->Arg(16384)->Unit(benchmark::kMicrosecond);

}  // namespace
