// Reading and writing speed of the audio-file layer, in seconds of audio per second.
#include <benchmark/benchmark.h>

#include <memory>

#include "audiofile/KVAudioFileReader.h"
#include "audiofile/KVAudioFileWriter.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr int kSeconds = 60;

// A 60 s stereo 48 kHz 24-bit file of a sine and noise, made once.
const std::string& sourceFile() {
    static test::TempDir folder;
    static const std::string path = [] {
        const std::string file = folder.file("source48k.wav");
        auto left = test::sine(1000.0, 48000, 48000LL * kSeconds, 0.4);
        test::mixInto(left, test::noise(48000LL * kSeconds, 0.2, 3));
        test::writeWave(file, {left, test::noise(48000LL * kSeconds, 0.5, 4)}, 48000);
        return file;
    }();
    return path;
}

void BM_Read48kAs44k1In441000FrameBlocks(benchmark::State& state) {
    const std::string& path = sourceFile();
    float** buffers = KVAudioFileReader::allocateBuffersForChannels(2, 441000);
    for (auto _ : state) {
        auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100, 2);
        FrameCount total = 0;
        for (std::int32_t got; (got = reader->readFrames(441000, buffers)) > 0;) total += got;
        benchmark::DoNotOptimize(total);
    }
    KVAudioFileReader::freeBuffers(buffers, 2);
    state.counters["audio_s_per_s"] = benchmark::Counter(double(kSeconds), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Read48kAs44k1In441000FrameBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WriteStereo24Bit(benchmark::State& state) {
    test::TempDir folder;
    const std::string path = folder.file("out.wav");
    const auto left = test::sine(440.0, 44100, 441000, 0.5), right = test::noise(441000, 0.5, 5);
    float** buffers = KVAudioFileWriter::allocateBuffersForChannels(2, 441000);
    for (auto _ : state) {
        auto writer = KVAudioFileWriter::initWithFile(path, 44100, 2, 24, KVAudioFileWriter::kTypeWAVE);
        for (int block = 0; block < kSeconds / 10; ++block) {
            state.PauseTiming();
            std::copy(left.begin(), left.end(), buffers[0]);  // writing clips in place
            std::copy(right.begin(), right.end(), buffers[1]);
            state.ResumeTiming();
            writer->writeFrames(441000, buffers);
        }
        writer->closeFile();
    }
    KVAudioFileWriter::freeBuffers(buffers, 2);
    state.counters["audio_s_per_s"] = benchmark::Counter(double(kSeconds), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_WriteStereo24Bit)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
