// Whole orvex-cli commands end to end, each run as the built binary in a child process:
// - the one-shot main job, `process` on a 30 s stereo 44.1 kHz file (analyse the whole file,
//   keep the sustained part, export the segment); each pass starts from a file without an
//   analysis folder, so nothing stored is reused;
// - `edit FILE sustained` and `edit FILE transients` on a 20 s stereo analysis.
// Reports seconds of audio per wall second and per CPU second of the child (the machine is
// shared, so the CPU figure is the steadier one). See bench/README.md for the commands to run.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace {

using namespace orvex;

constexpr double kSeconds = 30.0;
constexpr double kEditSeconds = 20.0;

// Seconds of a harmonic tone of six partials, clicks every 0.25 s and a little noise.
test::Channels toneClicksNoise(double seconds) {
    const auto kFrames = static_cast<std::int64_t>(seconds * 44100);
    test::Channels channels;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = test::noise(kFrames, 0.03, std::uint32_t(c + 3));
        for (int h = 1; h <= 6; ++h) test::mixInto(signal, test::sine(196.0 * h, 44100.0, kFrames, 0.25 / h));
        for (std::int64_t at = 1000; at + 32 < kFrames; at += 11025)
            for (int i = 0; i < 32; ++i) signal[std::size_t(at + i)] += (i % 2 ? -0.4f : 0.4f) * float(32 - i) / 32.0f;
        channels.push_back(std::move(signal));
    }
    return channels;
}

// Seconds of audio per wall and per CPU second of the children, and their CPU per command.
void report(benchmark::State& state, double seconds, double cpu) {
    const double audioSeconds = seconds * double(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["audio_s_per_cpu_s"] = audioSeconds / cpu;
    state.counters["cpu_s"] = cpu / double(state.iterations());
}

void BM_ProcessThirtySecondsStereo(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    bench::skipWithoutCli(state);
#else
    test::TempDir temp;
    const std::string take = temp.file("take.wav");
    test::writeWave(take, toneClicksNoise(kSeconds), 44100);
    const std::vector<std::string> command = {ORVEX_CLI_PATH, "process", take,         "--start", "0", "--end",
                                              "30",           "--keep",  "sustained", "-o",      temp.file("kept.wav")};
    const double cpu = bench::runEachIteration(state, command, [&] {
        std::filesystem::remove_all(temp.file("take.analysis"));
        std::filesystem::remove(temp.file("kept.wav"));
    });
    report(state, kSeconds, cpu);
#endif
}
BENCHMARK(BM_ProcessThirtySecondsStereo)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

#ifdef ORVEX_CLI_PATH
// A 20 s stereo take with its stored analysis, made once and untimed by `orvex-cli analyse`.
struct AnalysedTake {
    test::TempDir folder;
    std::string path = folder.file("take.wav");
    bool analysed = false;

    AnalysedTake() {
        test::writeWave(path, toneClicksNoise(kEditSeconds), 44100);
        double cpu = 0.0;
        analysed = bench::runChild({ORVEX_CLI_PATH, "analyse", path}, cpu);
    }
};

// One take for every edit below, so that undo and redo find the edits made before them.
AnalysedTake& sharedTake() {
    static AnalysedTake take;
    return take;
}
#endif

// The whole `orvex-cli edit FILE sustained|transients` command on the 20 s stereo analysis:
// opening the file and its stored analysis, the operation over every frame with its undo copy,
// and the end of every thread.
void BM_CliEdit(benchmark::State& state, const char* operation) {
#ifndef ORVEX_CLI_PATH
    (void)operation;
    bench::skipWithoutCli(state);
#else
    AnalysedTake& take = sharedTake();
    if (!take.analysed) state.SkipWithError("orvex-cli analyse failed");
    const double cpu = bench::runEachIteration(state, {ORVEX_CLI_PATH, "edit", take.path, operation});
    report(state, kEditSeconds, cpu);
#endif
}
BENCHMARK_CAPTURE(BM_CliEdit, sustained, "sustained")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliEdit, transients, "transients")->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

// The history's steps on the same take, after the edits above: a box over 1 s and one octave,
// then undo and redo of a whole-segment step (each run undoes, then redoes, the last edit).
void BM_CliStep(benchmark::State& state, std::vector<std::string> arguments) {
#ifndef ORVEX_CLI_PATH
    (void)arguments;
    bench::skipWithoutCli(state);
#else
    AnalysedTake& take = sharedTake();
    if (!take.analysed) state.SkipWithError("orvex-cli analyse failed");
    std::vector<std::string> command{ORVEX_CLI_PATH, "edit", take.path};
    command.insert(command.end(), arguments.begin(), arguments.end());
    const double cpu = bench::runEachIteration(state, command);
    state.counters["cpu_s"] = cpu / double(state.iterations());
#endif
}
BENCHMARK_CAPTURE(BM_CliStep, box_1s_octave,
                  std::vector<std::string>{"box", "--tool", "box", "--from", "5", "--to", "6", "--low", "440", "--high", "880"})
    ->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliStep, select_all, std::vector<std::string>{"select-all"})
    ->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliStep, undo_whole_segment, std::vector<std::string>{"undo"})
    ->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(BM_CliStep, redo_whole_segment, std::vector<std::string>{"redo"})
    ->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
