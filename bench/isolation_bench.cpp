// Whole-segment isolation on a 20 s stereo analysis: isolate sustained and isolate transients
// (each record read and decoded once, floors from a sliding-window minimum), the median
// separator (its mask alone and the whole command), a multi-pencil path over 5 s of it, a box
// over 1 s x one octave, and the undo and redo of a whole-segment step.
// Counters give seconds of audio per second.

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>

#include "dsp/SpectralProcessor.h"
#include "engine/KVBoxGeometry.h"
#include "engine/KVIsolationOperations.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVAnalysisFileSet.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr std::int64_t kPieceFrames = 2 * 44100;  // analysed once, repeated to 20 s
constexpr int kRepeats = 10;
constexpr double kSeconds = 20.0;

void appendRecord(FrameRecord* record, std::int32_t channel, void* userData) {
    static_cast<std::vector<std::vector<std::unique_ptr<FrameRecord>>>*>(userData)->at(channel + 1).push_back(
        [&] {
            auto copy = FrameRecord::create();
            FrameRecord::copy(*record, *copy);
            return copy;
        }());
}

// A 20 s stereo analysis of a harmonic tone with clicks and noise: 2 s analysed, its records
// appended ten times over.
struct BenchAnalysis {
    test::TempDir folder;
    std::unique_ptr<KVAnalysisFileSet> analysis, selection;
    std::atomic<bool> cancel{false};
    test::Channels audio;  // the 20 s the analysis stands for

    BenchAnalysis() {
        auto platform = std::make_shared<HeadlessPlatform>();
        platform->setEchoAlerts(false);
        Platform::install(platform);
        std::vector<float> left = test::sine(220.0, 44100.0, kPieceFrames, 0.2);
        for (int h = 2; h <= 5; ++h) test::mixInto(left, test::sine(220.0 * h, 44100.0, kPieceFrames, 0.2 / h));
        test::mixInto(left, test::noise(kPieceFrames, 0.01, 3));
        for (std::int64_t at = 5000; at < kPieceFrames; at += 11025) left[at] += 0.7f;
        std::vector<float> right = left;
        for (float& v : right) v *= 0.7f;
        const test::Channels channels{left, right};
        audio.assign(2, {});
        for (int r = 0; r < kRepeats; ++r)
            for (int c = 0; c < 2; ++c) audio[c].insert(audio[c].end(), channels[c].begin(), channels[c].end());
        std::vector<std::vector<std::unique_ptr<FrameRecord>>> records(3);
        for (std::int32_t c = -1; c < 2; ++c) {
            std::vector<float> input(kPieceFrames);
            for (std::int64_t i = 0; i < kPieceFrames; ++i)
                input[i] = c < 0 ? 0.5f * (left[i] + right[i]) : channels[c][i];
            SpectralProcessor processor(4096, 32, 4, 44100.0);
            processor.setAnalysisCallback(appendRecord, &records, c);
            processor.feedSamples(kPieceFrames, input.data());
        }
        analysis = KVAnalysisFileSet::initByOpeningFileAtPath(folder.file("bench.wav"), 44100.0, 4, 4096, 32, 2, false,
                                                              true);
        for (int r = 0; r < kRepeats; ++r)
            for (std::size_t f = 0; f < records[0].size(); ++f)
                for (std::int32_t c = -1; c < 2; ++c) analysis->appendFrameRecord(*records[c + 1][f], c);
        selection = KVAnalysisFileSet::initByOpeningFileAtPath(folder.file("bench.analysis/bench-selection.analysis"),
                                                               44100.0, 4, 4096, 32, 2, true, true);
    }
};

BenchAnalysis& shared() {
    static BenchAnalysis bench;
    return bench;
}

template <void (KVIsolationOperations::*Operation)()>
void BM_WholeSegment(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    KVIsolationOperations ops(*bench.analysis, *bench.selection, bench.cancel);
    for (auto _ : state) {
        bench.selection->beginWholeSegmentStep("Keep");
        (ops.*Operation)();
        bench.selection->commitUndoStep();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK_TEMPLATE(BM_WholeSegment, &KVIsolationOperations::isolateDeterministic)
    ->Name("IsolateSustained/20s_stereo")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK_TEMPLATE(BM_WholeSegment, &KVIsolationOperations::isolateStochastic)
    ->Name("IsolateTransients/20s_stereo")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

KVMedianMask::AudioReader readerOf(const test::Channels& audio) {
    return [&audio](FramePos position, FrameCount length, float* const* buffers) {
        for (std::size_t c = 0; c < audio.size(); ++c)
            for (FrameCount i = 0; i < length; ++i) {
                const FramePos t = position + i;
                buffers[c][i] = t >= 0 && t < FramePos(audio[c].size()) ? audio[c][std::size_t(t)] : 0.0f;
            }
    };
}

// The median separator's mask of 20 s stereo: the spectrogram and its two median filters.
void BM_MedianMask(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    for (auto _ : state) {
        KVMedianMask mask(bench.analysis->frameCount(), kIsolationBins, KVMedianSettings{});
        benchmark::DoNotOptimize(mask.build(readerOf(bench.audio), 2));
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MedianMask)->Name("MedianMask/20s_stereo")->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

// Keep sustained by the median separator, mask and records.
void BM_MedianSustained(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    KVIsolationOperations ops(*bench.analysis, *bench.selection, bench.cancel);
    for (auto _ : state) {
        bench.selection->beginWholeSegmentStep("Keep Sustained");
        ops.separateByMedian(false, KVMedianSettings{}, readerOf(bench.audio), 2);
        bench.selection->commitUndoStep();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MedianSustained)->Name("MedianSustained/20s_stereo")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A multi pencil along 220 Hz over 5 s (1722 frames) of the analysis.
void BM_MultiPencil5s(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    KVIsolationOperations ops(*bench.analysis, *bench.selection, bench.cancel);
    const std::int64_t pitch = 342, frames = 5 * 44100 / 128;
    const std::vector<KVPathPoint> path{{100, pitch}, {100 + frames / 2, pitch + 2}, {100 + frames, pitch}};
    KVPencilSettings settings;
    settings.documentMode = DocumentMode::Extract;
    for (auto _ : state) {
        bench.selection->beginUndoStep();
        ops.pencilPath(path, settings);
        bench.selection->commitUndoStep();
    }
    state.counters["audio_s_per_s"] = benchmark::Counter(5.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MultiPencil5s)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

// A box over 1 s x one octave (A4 to A5) taken out of a whole selection: each repetition
// takes the next second, so every box changes what it covers. The cost should follow the box's
// area, not the segment's length.
void BM_BoxSecondByOctave(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    KVIsolationOperations ops(*bench.analysis, *bench.selection, bench.cancel);
    static bool wholeSelection = false;
    if (!wholeSelection) {
        bench.selection->beginUndoStep();
        ops.selectAll();
        bench.selection->commitUndoStep();
        wholeSelection = true;
    }
    static int next = 0;
    const float frames = 44100.0f / 128.0f, a4 = 69.0f * 6.0f, octave = 72.0f;
    for (auto _ : state) {
        bench.selection->beginUndoStep();
        ops.boxTool(AnalysisTool::box, SelectionMode::Subtract, false, frames * float(1 + next++ % 18), a4, frames, octave);
        bench.selection->commitUndoStep();
    }
}
BENCHMARK(BM_BoxSecondByOctave)->Name("BoxSecondByOctave/20s_stereo")->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

// Undo and redo of a whole-segment step (keep transients by the median method, made once): each
// exchanges the selection's files with those of its level, whatever the segment's length.
void undoOrRedoWholeSegment(benchmark::State& state, bool redo) {
    BenchAnalysis& bench = shared();
    static bool made = false;
    if (!made) {
        KVIsolationOperations ops(*bench.analysis, *bench.selection, bench.cancel);
        bench.selection->beginWholeSegmentStep("Keep Transients");
        ops.separateByMedian(true, KVMedianSettings{}, readerOf(bench.audio), 2);
        bench.selection->commitUndoStep();
        made = true;
    }
    for (auto _ : state) {
        if (redo) {
            state.PauseTiming();
            bench.selection->undoLastStep();
            state.ResumeTiming();
            benchmark::DoNotOptimize(bench.selection->redoLastStep());
        } else {
            benchmark::DoNotOptimize(bench.selection->undoLastStep());
            state.PauseTiming();
            bench.selection->redoLastStep();
            state.ResumeTiming();
        }
    }
}
void BM_UndoWholeSegment(benchmark::State& state) { undoOrRedoWholeSegment(state, false); }
void BM_RedoWholeSegment(benchmark::State& state) { undoOrRedoWholeSegment(state, true); }
BENCHMARK(BM_UndoWholeSegment)->Name("UndoWholeSegment/20s_stereo")->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();
BENCHMARK(BM_RedoWholeSegment)->Name("RedoWholeSegment/20s_stereo")->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime();

// The store's part of every operation: writing the same records back (grain synthesis, undo copy).
void BM_StoreRewrite(benchmark::State& state) {
    BenchAnalysis& bench = shared();
    auto record = FrameRecord::create();
    const FrameCount frames = bench.analysis->frameCount();
    for (auto _ : state) {
        bench.selection->beginUndoStep();
        for (FramePos f = 0; f < frames; ++f)
            for (std::int32_t c = -1; c < 2; ++c) {
                bench.analysis->readFrameRecord(f, *record, c);
                bench.selection->writeFrameRecord(*record, f, c);
            }
        bench.selection->commitUndoStep();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StoreRewrite)->Name("ReadAndWriteOnly/20s_stereo")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
