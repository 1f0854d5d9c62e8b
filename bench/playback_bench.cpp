// Cost of one output cycle: the engine alone (clear and dispatch) and with the document's render
// method reading a stereo step through the manual output, for a few block sizes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/AudioEngine.h"
#include "playback/KVAudioEngineController.h"
#include "playback/KVDocumentPlayback.h"
#include "playback/ManualAudioBackend.h"

namespace {

using namespace orvex;

// A stereo step of constant samples: the read is a plain copy, so the figures show the render path.
class ConstantStep : public KVPlayStep {
public:
    std::int64_t numberOfChannels() const override { return 2; }
    FrameCount numberOfFrames() const override { return 44100 * 60; }
    FrameCount readAt(FramePos, FrameCount length, float* const* buffers) override {
        for (int c = 0; c < 2; ++c) std::fill_n(buffers[c], length, 0.25f);
        return length;
    }
};

struct Rig {
    explicit Rig(bool withDocument) {
        // The engine's start-up messages would interleave with the benchmark table.
        AudioEngine::setLogging(false);
        auto backend = std::make_unique<ManualAudioBackend>();
        output = backend.get();
        engine = std::make_unique<KVAudioEngineController>(std::move(backend));
        playback = std::make_unique<KVDocumentPlayback>(monitor, nullptr);
        playback->setEngineController(engine.get());
        playback->setEditStep(std::make_shared<ConstantStep>());
        playback->setLoopEnabled(true);
        playback->setPlaybackVolume(0.7);
        if (withDocument) playback->play(0);
    }
    std::recursive_mutex monitor;
    ManualAudioBackend* output = nullptr;
    std::unique_ptr<KVAudioEngineController> engine;
    std::unique_ptr<KVDocumentPlayback> playback;
};

void runCycles(benchmark::State& state, bool withDocument) {
    Rig rig(withDocument);
    const auto frames = static_cast<FrameCount>(state.range(0));
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    for (auto _ : state) {
        rig.output->pullStereo(left.data(), right.data(), frames);
        benchmark::DoNotOptimize(left.data());
    }
    state.SetItemsProcessed(state.iterations() * frames);
}

void BM_EngineCycleWithoutClient(benchmark::State& state) { runCycles(state, false); }
void BM_DocumentRenderCycle(benchmark::State& state) { runCycles(state, true); }

BENCHMARK(BM_EngineCycleWithoutClient)->Arg(512)->Arg(4096);
BENCHMARK(BM_DocumentRenderCycle)->Arg(64)->Arg(512)->Arg(4096);

}  // namespace
