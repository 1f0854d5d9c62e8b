// Scrolling the analysis view over a 900 s stereo analysis at 1600 x 1000: milliseconds per
// repaint (median and 99th percentile as counters).
//
// Analysing 900 s of stereo audio takes many minutes and writes about 60 GB, so the store is
// made synthetically: 3 s of a 440 + 880 Hz tone with a chirp are analysed for real, and the
// overview's display records (the only files the view reads) are repeated to 310 078 frames;
// the frame-record file is extended as a sparse file, so the store counts 900 s of frames.
// The selection store holds the same number of frames, all unselected (sparse, read as zeros).
// The store lives in the system's temporary folder ($TMPDIR) and needs about 7.5 GB there
// while the program runs. The first pass runs cold: the store's pages are written to the disk
// and dropped from the page cache before it, as for an analysis opened days after it was made;
// the passes after it find what the first one read in the cache.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include "dsp/SpectralProcessor.h"
#include "platform/HeadlessPlatform.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVAnalysisPaths.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "views/AnalysisScrollArea.h"
#include "views/KVAnalysisView.h"

namespace {

using namespace orvex;
namespace fs = std::filesystem;

constexpr FrameCount kFrames = 310078;  // 900 s at a hop of 128
constexpr std::int64_t kSeedFrames = 3 * 44100;

void append(FrameRecord* record, std::int32_t channel, void* store) {
    static_cast<KVAnalysisFileSet*>(store)->appendFrameRecord(*record, channel);
}

std::string overviewBase(const std::string& setPath) {
    return fs::path(KVAnalysisPaths::overviewChunkPath(setPath)).replace_extension().string();
}

// Repeats the first `have` records of a record file until it holds kFrames of them.
void repeatRecords(const std::string& path, std::size_t recordSize, FrameCount have) {
    std::vector<char> seed(recordSize * std::size_t(have));
    std::ifstream(path, std::ios::binary).read(seed.data(), std::streamsize(seed.size()));
    std::ofstream out(path, std::ios::binary | std::ios::app);
    for (FrameCount at = have; at < kFrames; at += have)
        out.write(seed.data(), std::streamsize(recordSize * std::size_t(std::min(have, kFrames - at))));
}

void extendSparse(const std::string& path, std::size_t recordSize) {
    std::error_code error;
    fs::resize_file(path, recordSize * std::size_t(kFrames), error);
}

// The analysis and selection stores of a 900 s stereo segment beside soundPath.
void makeStores(const std::string& soundPath) {
    {
        auto set = KVAnalysisFileSet::initByOpeningFileAtPath(soundPath, 44100.0, 4, 4096, 32, 2, false, true);
        std::vector<float> mix = test::sine(440.0, 44100.0, kSeedFrames, 0.3);
        test::mixInto(mix, test::sine(880.0, 44100.0, kSeedFrames, 0.2));
        test::mixInto(mix, test::chirp(200.0, 4000.0, 44100.0, kSeedFrames, 0.2));
        SpectralProcessor processor(4096, 32, 4, 44100.0);
        processor.setAnalysisCallback(append, set.get(), -1);
        processor.feedSamples(kSeedFrames, mix.data());
        set->markComplete();
    }
    const std::string base = overviewBase(soundPath);
    const FrameCount seeded = FrameCount(fs::file_size(base + ".ana.noindex") / sizeof(FrameRecord));
    repeatRecords(base + ".dsp.noindex", sizeof(DisplayColumn), seeded);
    repeatRecords(base + ".trk.noindex", sizeof(DisplayColumn), seeded);
    repeatRecords(base + ".cdx.noindex", sizeof(FrameSummary), seeded);
    extendSparse(base + ".ana.noindex", sizeof(FrameRecord));

    const std::string selectionPath = KVAnalysisPaths::selectionFileSetPath(soundPath);
    KVAnalysisFileSet::initByOpeningFileAtPath(selectionPath, 44100.0, 4, 4096, 32, 2, true, true);
    const std::string selection = overviewBase(selectionPath);
    for (const char* file : {".ana.noindex", ".dsp.noindex", ".trk.noindex"})
        extendSparse(selection + file, file[1] == 'a' ? sizeof(FrameRecord) : sizeof(DisplayColumn));
    extendSparse(selection + ".cdx.noindex", sizeof(FrameSummary));
}

struct Fixture {
    Fixture() {
        folder = std::make_unique<test::TempDir>();
        platform = std::make_shared<HeadlessPlatform>();
        platform->setEchoAlerts(false);
        Platform::install(platform);
        const std::string sound = folder->file("long.wav");
        std::ofstream(sound) << "";
        makeStores(sound);
        analysis = KVAnalysisFileSet::initByOpeningFileAtPath(sound, 44100.0, 4, 4096, 32, 2, false, false);
        selection = KVAnalysisFileSet::initByOpeningFileAtPath(KVAnalysisPaths::selectionFileSetPath(sound), 44100.0,
                                                               4, 4096, 32, 2, true, false);
        analysis->markComplete();
        area = std::make_unique<AnalysisScrollArea>();
        area->resize(1600 + area->verticalScrollBar()->sizeHint().width() + 2,
                     1000 + area->horizontalScrollBar()->sizeHint().height() + 2);
        area->show();
        area->view()->setStores(analysis.get(), selection.get());
        QApplication::processEvents();
    }
    ~Fixture() { Platform::install(nullptr); }

    // Writes the store's files to the disk and drops their pages from the page cache.
    void evictStores() const {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(folder->path(), error)) {
            if (!entry.is_regular_file(error)) continue;
            const int fd = ::open(entry.path().c_str(), O_RDONLY);
            if (fd < 0) continue;
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }

    std::unique_ptr<test::TempDir> folder;
    std::shared_ptr<HeadlessPlatform> platform;
    std::unique_ptr<KVAnalysisFileSet> analysis, selection;
    std::unique_ptr<AnalysisScrollArea> area;
};

// Made on first use and destroyed in main while the application still exists, so the widgets
// go before it and the temporary folder (several GB of stores) is removed at the end.
std::unique_ptr<Fixture> gFixture;

Fixture& fixture() {
    if (!gFixture) gFixture = std::make_unique<Fixture>();
    return *gFixture;
}

double threadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) * 1e-6;
}

// Scrolls by step columns per repaint across the whole segment (wrapping at its end), from the
// start of the segment shown and, when cold is set, the store's pages dropped from the cache.
void BM_ScrollRepaint(benchmark::State& state) {
    Fixture& f = fixture();
    QScrollBar* bar = f.area->horizontalScrollBar();
    const int step = int(state.range(0));
    std::vector<double> ms, cpuMs;
    bar->setValue(0);
    f.area->viewport()->repaint();
    if (state.range(1) != 0) f.evictStores();
    for (auto _ : state) {
        const int next = bar->value() + step > bar->maximum() ? 0 : bar->value() + step;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        bar->setValue(next);
        f.area->viewport()->repaint();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        ms.push_back(took.count());
        cpuMs.push_back(threadCpuMs() - cpuStart);
        state.SetIterationTime(took.count() / 1000.0);
    }
    const auto percentile = [](std::vector<double>& v, std::size_t per100) {
        std::sort(v.begin(), v.end());
        return v[std::min(v.size() - 1, v.size() * per100 / 100)];
    };
    state.counters["median_ms"] = percentile(ms, 50);
    state.counters["p99_ms"] = percentile(ms, 99);
    // The same on the thread's own processor time: what a busy machine's waiting leaves out.
    state.counters["cpu_median_ms"] = percentile(cpuMs, 50);
    state.counters["cpu_p99_ms"] = percentile(cpuMs, 99);
    state.counters["columns"] = double(f.area->view()->width());
    state.counters["viewport_w"] = f.area->viewport()->width();
    state.counters["viewport_h"] = f.area->viewport()->height();
}
// 40 columns per repaint: a smooth scroll (40 repaints cross the 900 s in about 2 minutes of
// dragging); 1600: page jumps, every repaint reads and paints a whole window.
// Arguments: step, cold.
BENCHMARK(BM_ScrollRepaint)->Args({40, 1})->Iterations(4000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollRepaint)->Args({40, 0})->Iterations(4000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollRepaint)->Args({1600, 0})->Iterations(400)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gFixture.reset();
    return 0;
}
