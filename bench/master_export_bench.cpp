// Speed of the master output of a 3-minute stereo working file: the prefill that cuts the file
// into mixdown grains, and the export of the unedited mixdown as a 24-bit WAVE file, both as
// seconds of audio per second.

#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "control/KVMasterExport.h"
#include "control/KVMasterPrefill.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVMixdownStore.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr double kSeconds = 180.0;
constexpr FrameCount kFrames = static_cast<FrameCount>(kSeconds * 44100);

// One working file with its prefilled mixdown, shared by the benchmarks.
struct Material {
    test::TempDir folder;
    std::string working = folder.file("three minutes.wav");
    std::recursive_mutex lock;
    KVMixdownStore::Collections mixdown;

    Material() {
        Platform::install(std::make_shared<HeadlessPlatform>());
        auto left = test::chirp(50.0, 12000.0, 44100, kFrames, 0.4);
        test::mixInto(left, test::noise(kFrames, 0.1, 5));
        test::writeWave(working, {left, test::noise(kFrames, 0.5, 9)}, 44100);
        mixdown = KVMixdownStore::openMixdownForFileAtPath(working, kFrames / 128);
        prefill();
    }
    void prefill() {
        std::atomic<bool> cancel{false};
        KVMasterPrefill::run(working, *mixdown.left, *mixdown.right, lock, cancel);
    }
};

Material& material() {
    static Material shared;
    return shared;
}

void setAudioRate(benchmark::State& state) {
    state.counters["audio_s_per_s"] =
        benchmark::Counter(kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MasterExport(benchmark::State& state) {
    Material& m = material();
    const std::string target = m.folder.file("export.wav");
    std::atomic<bool> cancel{false};
    for (auto _ : state) {
        KVMasterExport exporter(m.working, 2, kFrames, m.lock);
        if (exporter.run(target, {}, cancel, {}) != KVMasterExport::Outcome::Written) state.SkipWithError("export failed");
    }
    setAudioRate(state);
}
BENCHMARK(BM_MasterExport)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

void BM_MasterPrefill(benchmark::State& state) {
    Material& m = material();
    for (auto _ : state) {
        // Every record counts as untouched again, so each pass writes them all.
        m.mixdown.left->setFrameCount(0);
        m.mixdown.right->setFrameCount(0);
        m.prefill();
    }
    setAudioRate(state);
}
BENCHMARK(BM_MasterPrefill)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

}  // namespace
