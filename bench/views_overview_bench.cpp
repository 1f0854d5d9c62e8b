// Redraw of the input overview's cached picture for a 15-minute stereo file at 1600 x 300
// pixels (4096 columns, the analysed range and the selection shaded), in ms per frame, on the
// offscreen platform. The time per iteration is the time per redraw.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>

#include "views/KVWaveSegmentView.h"

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "views_overview_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *app;
}

void BM_InputOverviewRedraw15Minutes1600px(benchmark::State& state) {
    application();
    orvex::KVWaveSegmentView view;
    view.resize(1600, 300);
    const orvex::FrameCount frames = 15 * 60 * 44100;
    view.setNumFrames(frames);
    view.setNumberOfChannels(2);
    auto columns = std::make_shared<orvex::OverviewColumns>(4096);
    for (int i = 0; i < 4096; ++i) {
        const float level = 0.2f + 0.7f * std::fabs(std::sin(i * 0.013f));
        columns->set(i, {-level, -level * 0.5f, level, level * 0.5f});
    }
    view.showColumns(columns);
    view.setAnalysisStartFrame(60 * 44100);
    view.setAnalysisEndFrame(120 * 44100);
    view.setSelectionEndFrame(200 * 44100);
    view.setSelectionStartFrame(90 * 44100);
    for (auto _ : state) {
        view.rebuildPicture();
        benchmark::DoNotOptimize(view.cachedPicture().constBits());
    }
}
BENCHMARK(BM_InputOverviewRedraw15Minutes1600px)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
