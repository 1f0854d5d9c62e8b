// Throughput of the analysis store: frames written into a file set (records, grain synthesis,
// display records), records read back at random, grains streamed, and, for comparison, plain
// pwrite of the same number of bytes to the same disk.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <random>
#include <vector>

#include "platform/HeadlessPlatform.h"
#include "store/Crc32c.h"
#include "store/KVAnalysisFileSet.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

// Bytes one mono frame adds to a file set: channel record and grain, overview record, grain,
// two display columns and summary.
constexpr std::size_t kBytesPerMonoFrame =
    2 * sizeof(FrameRecord) + 2 * sizeof(KVEncodedGrain) + 2 * sizeof(DisplayColumn) + sizeof(FrameSummary);

std::unique_ptr<FrameRecord> analysedLikeRecord(int tag) {
    auto record = FrameRecord::create();
    record->valid = 1;
    record->frameSize = 4096;
    record->overlap = 32;
    record->zeroPaddingFactor = 4;
    std::minstd_rand generator(static_cast<unsigned>(tag + 1));
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> magnitudes(8192), frequencies(8192), phases(8192);
    for (int k = 0; k < 8192; ++k) {
        magnitudes[k] = unit(generator) * (k % 97 == 0 ? 50.0f : 0.5f);
        frequencies[k] = (float(k) + unit(generator) - 0.5f) * 44100.0f / 16384.0f;
        phases[k] = (unit(generator) * 2.0f - 1.0f) * 3.14159f;
    }
    for (int p = 0; p < 84; ++p) record->peakBins[p] = static_cast<std::uint16_t>(97 * (p + 1));
    record->encode(magnitudes, frequencies, phases);
    return record;
}

std::unique_ptr<KVAnalysisFileSet> openSet(const test::TempDir& dir, bool keepsUndo) {
    return KVAnalysisFileSet::initByOpeningFileAtPath(dir.file("bench.wav"), 44100.0, 4, 4096, 32, 1, keepsUndo, true);
}

void installQuietPlatform() {
    auto platform = std::make_shared<HeadlessPlatform>();
    platform->setEchoAlerts(false);
    Platform::install(platform);
}

// Appending one frame to channel 0 and one to the overview, as the analysis of a mono file does.
void BM_WriteFramesIntoFileSet(benchmark::State& state) {
    installQuietPlatform();
    test::TempDir dir;
    auto set = openSet(dir, state.range(0) != 0);
    std::vector<std::unique_ptr<FrameRecord>> records;
    for (int i = 0; i < 8; ++i) records.push_back(analysedLikeRecord(i));
    std::int64_t frames = 0;
    for (auto _ : state) {
        const FrameRecord& record = *records[frames % 8];
        set->appendFrameRecord(record, 0);
        set->appendFrameRecord(record, -1);
        ++frames;
    }
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(frames * std::int64_t(kBytesPerMonoFrame));
}
BENCHMARK(BM_WriteFramesIntoFileSet)->Arg(0)->Arg(1)->ArgName("undo")->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The disk's own rate for the same amount of data per frame, written with pwrite in
// record-sized pieces to a growing file.
void BM_RawPwrite(benchmark::State& state) {
    test::TempDir dir;
    const int fd = ::open(dir.file("raw.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<char> block(kBytesPerMonoFrame, 7);
    std::int64_t frames = 0;
    for (auto _ : state) {
        const auto written = ::pwrite(fd, block.data(), block.size(), off_t(frames) * off_t(block.size()));
        benchmark::DoNotOptimize(written);
        ++frames;
    }
    ::close(fd);
    state.counters["frames/s"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(frames * std::int64_t(kBytesPerMonoFrame));
}
BENCHMARK(BM_RawPwrite)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Reading whole records of random frames from a file set of 4000 frames (page cache warm).
void BM_ReadRecordsAtRandom(benchmark::State& state) {
    installQuietPlatform();
    test::TempDir dir;
    auto set = openSet(dir, false);
    const int frames = 4000;
    auto record = analysedLikeRecord(1);
    for (int f = 0; f < frames; ++f) set->chunkFileForChannel(0)->appendFrameRecord(*record);
    std::minstd_rand generator(3);
    std::uniform_int_distribution<int> pick(0, frames - 1);
    auto into = FrameRecord::create();
    std::int64_t reads = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(set->readFrameRecord(pick(generator), *into, 0));
        ++reads;
    }
    state.counters["records/s"] = benchmark::Counter(double(reads), benchmark::Counter::kIsRate);
    state.SetBytesProcessed(reads * std::int64_t(sizeof(FrameRecord)));
}
BENCHMARK(BM_ReadRecordsAtRandom)->Unit(benchmark::kMicrosecond);

// Streaming rendered audio from a channel's grains, 512 samples per call.
void BM_StreamGrains(benchmark::State& state) {
    installQuietPlatform();
    test::TempDir dir;
    auto collection = KVGrainCollection::initByOpeningFileAtPath(dir.file("grains.kva"), false, true);
    std::vector<float> samples(KVEncodedGrain::kSampleCount, 0.25f);
    KVEncodedGrain grain;
    grain.encode(samples.data());
    for (int k = 0; k < 4000; ++k) collection->writeRecord(grain, k);
    std::vector<float> out(512);
    float* channels[1] = {out.data()};
    std::int64_t produced = 0;
    for (auto _ : state) {
        if (collection->currentSample() > 3900 * 128) collection->seekGrainRecord(0);
        collection->readAudio(512, channels);
        produced += 512;
    }
    state.counters["x realtime"] = benchmark::Counter(double(produced) / 44100.0, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_StreamGrains)->Unit(benchmark::kMicrosecond);

// The integrity sum of one frame record (50 228 bytes), in bytes per second.
void BM_Crc32cOfAFrameRecord(benchmark::State& state) {
    std::vector<unsigned char> record(50228);
    std::mt19937 random(5);
    for (auto& byte : record) byte = static_cast<unsigned char>(random());
    for (auto _ : state) benchmark::DoNotOptimize(Crc32c::of(record.data(), record.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * std::int64_t(record.size()));
}
BENCHMARK(BM_Crc32cOfAFrameRecord);

}  // namespace
