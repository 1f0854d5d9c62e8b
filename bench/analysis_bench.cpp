// Analysis end to end: the runner over a 20 s stereo file, records, grains and display records
// written to the store. Reports seconds of audio per second of wall time and per second of
// process CPU time (the machine is shared, so the CPU figure is the steadier one), and CPU time
// per stereo frame (the mix and both channels) as a ratio of the floor measured first in the
// same run: the same transforms at the same sizes and plans, and a buffered write of the same
// bytes, with nothing else. Compare the least CPU figures of repeated runs.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>

#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FftEngine.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"
#include "engine/KVAnalysisRunner.h"
#include "history/KVEditHistory.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVAnalysisChunkFile.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVEncodedGrain.h"
#include "ChildProcess.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

test::Channels twentySeconds() {
    constexpr std::int64_t frames = 44100 * 20;
    test::Channels channels;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = test::noise(frames, 0.02, std::uint32_t(c + 1));
        for (int h = 1; h <= 5; ++h) test::mixInto(signal, test::sine(220.0 * h * (c ? 1.5 : 1.0), 44100.0, frames, 0.2 / h));
        channels.push_back(std::move(signal));
    }
    return channels;
}

constexpr std::int64_t kFrameSize = 4096, kOverlap = 32, kZeroPadding = 4;
constexpr double kAudioSeconds = 20.0;
// Stereo frames of 20 s: the mix and both channels each give one record per hop.
const FrameCount kStereoFrames = KVAnalysisRunner::expectedFrameCount(FrameCount(kAudioSeconds * 44100));
// Least CPU time per stereo frame of the floor in this run (microseconds).
double gFloorMicroseconds = std::numeric_limits<double>::infinity();

// The transforms one stream frame costs: the entropy of the frame and of every warped frame
// (size N), the frame and its lagged copy zero-padded (size 4N), and the synthesis of the
// stored grain (inverse, size 4N), all through the engine's own plans.
void streamFrameTransforms(FftEngine& small, FftEngine& large, std::int64_t entropies, std::vector<float>& input,
                           std::vector<float>& spectrum, std::vector<float>& output) {
    const std::int64_t m = kFrameSize * kZeroPadding;
    for (std::int64_t i = 0; i < entropies; ++i) small.realForward(input.data(), spectrum.data(), kFrameSize);
    large.realForward(input.data(), spectrum.data(), m);
    large.realForward(input.data() + kAnalysisHop, spectrum.data(), m);
    large.realInverse(spectrum.data(), output.data(), m, kFrameSize);
}

// The bytes one stereo frame stores: a record and a grain per stream, two display records and a
// summary for the mix, written through a buffered stream.
void writeStereoFrame(std::FILE* file, const std::vector<char>& bytes) {
    constexpr std::size_t kStored =
        3 * (sizeof(FrameRecord) + sizeof(KVEncodedGrain)) + 2 * sizeof(DisplayColumn) + sizeof(FrameSummary);
    std::fwrite(bytes.data(), 1, kStored, file);
}

void BM_AnalysisFloor(benchmark::State& state) {
    test::TempDir temp;
    const SpectralProcessor processor(kFrameSize, kOverlap, kZeroPadding, 44100.0, KVAnalysisRunner::kWarpLimit,
                                      KVAnalysisRunner::kWarpSteps);
    // The unwarped frame and every table but the identity.
    const auto entropies = static_cast<std::int64_t>(processor.warpFactors().size());
    const std::int64_t m = kFrameSize * kZeroPadding;
    FftEngine small(kFrameSize), large(m);
    small.prepare(kFrameSize);
    large.prepare(m);
    std::vector<float> input = test::noise(m + kAnalysisHop, 0.5, 5);
    std::vector<float> spectrum(static_cast<std::size_t>(m + 2)), output(static_cast<std::size_t>(m));
    std::vector<char> bytes(3 * sizeof(FrameRecord) + 3 * sizeof(KVEncodedGrain) + 3 * sizeof(DisplayColumn), 1);
    for (auto _ : state) {
        // The transforms of every frame, then the writes of every frame, each timed on its own.
        const double cpuBefore = processCpuSeconds();
        for (FrameCount f = 0; f < kStereoFrames; ++f)
            for (int stream = 0; stream < 3; ++stream) streamFrameTransforms(small, large, entropies, input, spectrum, output);
        const double cpuTransformed = processCpuSeconds();
        std::FILE* file = std::fopen(temp.file("floor.bin").c_str(), "wb");
        for (FrameCount f = 0; f < kStereoFrames; ++f) writeStereoFrame(file, bytes);
        std::fclose(file);
        const double cpuWritten = processCpuSeconds();
        const double perFrame = (cpuWritten - cpuBefore) * 1e6 / double(kStereoFrames);
        gFloorMicroseconds = std::min(gFloorMicroseconds, perFrame);
        state.counters["cpu_us_per_stereo_frame"] = perFrame;
        state.counters["fft_us"] = (cpuTransformed - cpuBefore) * 1e6 / double(kStereoFrames);
        state.counters["disk_us"] = (cpuWritten - cpuTransformed) * 1e6 / double(kStereoFrames);
        std::remove(temp.file("floor.bin").c_str());
    }
}
BENCHMARK(BM_AnalysisFloor)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kSecond);

// Seconds of audio per wall and per CPU second, and CPU per stereo frame against the floor.
void reportAnalysis(benchmark::State& state, double cpu) {
    const double audioSeconds = kAudioSeconds * double(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["audio_s_per_cpu_s"] = audioSeconds / cpu;
    state.counters["cpu_s"] = cpu / double(state.iterations());
    const double perFrame = cpu * 1e6 / (double(kStereoFrames) * double(state.iterations()));
    state.counters["cpu_us_per_stereo_frame"] = perFrame;
    state.counters["x_floor"] = perFrame / gFloorMicroseconds;
}

void BM_AnalyseTwentySecondsStereo(benchmark::State& state) {
    // Normal priority: at the runner's lowest priority a shared machine's load decides the figure.
    struct SteadyPlatform : HeadlessPlatform {
        void setCurrentThreadPriority(double) override {}
    };
    auto platform = std::make_shared<SteadyPlatform>();
    platform->setEchoAlerts(false);
    Platform::install(platform);
    test::TempDir temp;
    const std::string path = temp.file("bench.wav");
    test::writeWave(path, twentySeconds(), 44100);
    auto history = KVEditHistory::initWithContentsOfFile(path, 44100.0, false);
    const bool parallel = state.range(0) != 0;

    double cpu = 0.0;
    for (auto _ : state) {
        std::shared_ptr<KVAnalysisFileSet> store =
            KVAnalysisFileSet::initByOpeningFileAtPath(path, 44100.0, 4, 4096, 32, 2, false, true);
        const double cpuBefore = processCpuSeconds();
        auto runner = KVAnalysisRunner::initWithEditHistory(history, store, parallel);
        platform->pumpMainThreadUntil([&] { return runner->hasEnded(); }, std::chrono::minutes(10));
        cpu += processCpuSeconds() - cpuBefore;
        platform->pumpMainThread();
    }
    reportAnalysis(state, cpu);
    Platform::install(nullptr);
}
BENCHMARK(BM_AnalyseTwentySecondsStereo)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Repetitions(3)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The whole `orvex-cli analyse` command on the same file, run as the built binary from a file
// without an analysis folder to the end of its last thread.
void BM_CliAnalyseTwentySecondsStereo(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    bench::skipWithoutCli(state);
#else
    test::TempDir temp;
    const std::string path = temp.file("take.wav");
    test::writeWave(path, twentySeconds(), 44100);
    const std::vector<std::string> command{ORVEX_CLI_PATH, "analyse", path};
    const double cpu =
        bench::runEachIteration(state, command, [&] { std::filesystem::remove_all(temp.file("take.analysis")); });
    reportAnalysis(state, cpu);
#endif
}
BENCHMARK(BM_CliAnalyseTwentySecondsStereo)->Iterations(1)->Repetitions(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
