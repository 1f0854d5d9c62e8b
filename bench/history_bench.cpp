// Read throughput of the edit history: the reader alone, the file step over it and the
// two-layer segment history, in the block sizes of the analysis runner and of playback.
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <memory>

#include "audiofile/KVAudioFileReader.h"
#include "history/KVEditHistory.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr FrameCount kFileFrames = 441000;  // ten seconds of stereo at 44.1 kHz

struct Material {
    test::TempDir temp;
    std::string path = temp.file("bench.wav");
    Material() {
        test::writeWave(path, {test::noise(kFileFrames, 0.5, 1), test::noise(kFileFrames, 0.5, 2)}, 44100);
    }
};

Material& material() {
    static Material shared;
    return shared;
}

// Reads the whole range [0, frames) block by block through read(position, block, buffers).
template <typename Read>
void readThrough(benchmark::State& state, FrameCount frames, Read&& read) {
    const auto block = std::int32_t(state.range(0));
    float** buffers = KVAudioFileReader::allocateBuffersForChannels(2, block);
    for (auto _ : state) {
        for (FramePos p = 0; p < frames; p += block) benchmark::DoNotOptimize(read(p, block, buffers));
    }
    KVAudioFileReader::freeBuffers(buffers, 2);
    state.SetItemsProcessed(state.iterations() * frames);
}

void BM_ReaderDirect(benchmark::State& state) {
    auto reader = KVAudioFileReader::initWithFileAtPath(material().path, 44100.0, 2);
    readThrough(state, kFileFrames, [&](FramePos p, std::int32_t n, float** b) { return reader->readAt(p, n, b); });
}

void BM_FileStep(benchmark::State& state) {
    auto history = KVEditHistory::initWithContentsOfFile(material().path, 44100.0, false);
    readThrough(state, kFileFrames, [&](FramePos p, std::int32_t n, float** b) { return history->readAt(p, n, b); });
}

void BM_SegmentHistory(benchmark::State& state) {
    auto history = KVEditHistory::initWithSegmentOfFile(material().path, 44100.0, 44100, kFileFrames - 44100);
    const FrameCount frames = history->numberOfFrames();
    readThrough(state, frames, [&](FramePos p, std::int32_t n, float** b) { return history->readAt(p, n, b); });
}

BENCHMARK(BM_ReaderDirect)->Arg(512)->Arg(8192)->Arg(441000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileStep)->Arg(512)->Arg(8192)->Arg(441000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SegmentHistory)->Arg(512)->Arg(8192)->Arg(441000)->Unit(benchmark::kMillisecond);

}  // namespace
