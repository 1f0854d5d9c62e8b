// What the store's integrity side files cost: the same orvex-cli commands on a 20 s stereo take,
// each run with the checks (the default) and with ORVEX_UNCHECKED_STORE set (no side file kept
// or read), as the built binary in a child process:
// - `analyse` from a file without an analysis folder (every record, grain and display record
//   summed as it is written);
// - `edit FILE sustained` on the stored analysis (every record read is checked, every selection
//   record and undo copy summed);
// - `export FILE OUT --segment` of that selection (every grain read is checked).
// Compare cpu_s of the two rows of each command (the checked one should cost under 3% more).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr double kSeconds = 20.0;

test::Channels chordAndClicks() {
    const auto frames = static_cast<std::int64_t>(kSeconds * 44100);
    test::Channels channels;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = test::noise(frames, 0.02, std::uint32_t(c + 7));
        for (int h = 1; h <= 6; ++h) test::mixInto(signal, test::sine(261.6 * h * (c ? 1.25 : 1.0), 44100.0, frames, 0.2 / h));
        for (std::int64_t at = 700; at + 32 < frames; at += 22050)
            for (int i = 0; i < 32; ++i) signal[std::size_t(at + i)] += (i % 2 ? -0.3f : 0.3f) * float(32 - i) / 32.0f;
        channels.push_back(std::move(signal));
    }
    return channels;
}

// Runs the children with or without the checks; the setting is put back at the end.
struct CheckSetting {
    explicit CheckSetting(bool checked) {
        if (checked)
            ::unsetenv("ORVEX_UNCHECKED_STORE");
        else
            ::setenv("ORVEX_UNCHECKED_STORE", "1", 1);
    }
    ~CheckSetting() { ::unsetenv("ORVEX_UNCHECKED_STORE"); }
};

void report(benchmark::State& state, double cpu) {
    const double audioSeconds = kSeconds * double(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["cpu_s"] = cpu / double(state.iterations());
}

#ifdef ORVEX_CLI_PATH
// One take per setting, analysed once (untimed) under that setting, so that the edit and the
// export read a store written the same way.
struct Take {
    test::TempDir folder;
    std::string path = folder.file("take.wav");
    bool analysed = false;

    explicit Take(bool checked) {
        test::writeWave(path, chordAndClicks(), 44100);
        const CheckSetting setting(checked);
        double cpu = 0.0;
        analysed = bench::runChild({ORVEX_CLI_PATH, "analyse", path}, cpu) &&
                   bench::runChild({ORVEX_CLI_PATH, "edit", path, "sustained"}, cpu);
    }
};

Take& takeFor(bool checked) {
    static Take checkedTake(true), uncheckedTake(false);
    return checked ? checkedTake : uncheckedTake;
}

void run(benchmark::State& state, const std::vector<std::string>& command, const std::function<void()>& prepare = {}) {
    const CheckSetting setting(state.range(0) != 0);
    report(state, bench::runEachIteration(state, command, prepare));
}
#endif

void BM_Analyse(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    bench::skipWithoutCli(state);
#else
    static test::TempDir temp;
    static const std::string path = [] {
        const std::string file = temp.file("fresh.wav");
        test::writeWave(file, chordAndClicks(), 44100);
        return file;
    }();
    run(state, {ORVEX_CLI_PATH, "analyse", path}, [] { std::filesystem::remove_all(temp.file("fresh.analysis")); });
#endif
}

void BM_EditSustained(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    bench::skipWithoutCli(state);
#else
    const Take& take = takeFor(state.range(0) != 0);
    if (!take.analysed) state.SkipWithError("orvex-cli analyse failed");
    run(state, {ORVEX_CLI_PATH, "edit", take.path, "sustained"});
#endif
}

void BM_ExportSegment(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    bench::skipWithoutCli(state);
#else
    const Take& take = takeFor(state.range(0) != 0);
    if (!take.analysed) state.SkipWithError("orvex-cli analyse failed");
    run(state, {ORVEX_CLI_PATH, "export", take.path, take.folder.file("out.wav"), "--segment"});
#endif
}

// Unchecked first, then checked, in turn: drifts of a shared machine reach both rows alike.
#define ORVEX_CHECKED_AND_NOT(bench) \
    BENCHMARK(bench)->ArgName("checked")->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond)
ORVEX_CHECKED_AND_NOT(BM_Analyse);
ORVEX_CHECKED_AND_NOT(BM_EditSustained);
ORVEX_CHECKED_AND_NOT(BM_ExportSegment);

}  // namespace
