// Analysis end to end: the runner over a 20 s stereo file, records, grains and display records
// written to the store. Reports seconds of audio per second of wall time and per second of
// process CPU time (the machine is shared, so the CPU figure is the steadier one).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>

#include "engine/KVAnalysisRunner.h"
#include "history/KVEditHistory.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVAnalysisFileSet.h"
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
    const double audioSeconds = 20.0 * double(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["audio_s_per_cpu_s"] = audioSeconds / cpu;
    state.counters["cpu_s"] = cpu / double(state.iterations());
    Platform::install(nullptr);
}
BENCHMARK(BM_AnalyseTwentySecondsStereo)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
