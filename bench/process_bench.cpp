// The one-shot main job of orvex-cli end to end: `process` on a 30 s stereo 44.1 kHz file
// (analyse the whole file, keep the sustained part, export the segment), run as the built
// binary in a child process. Each pass starts from a file without an analysis folder, so
// nothing stored is reused. Reports seconds of audio per wall second and per CPU second of the
// child (the machine is shared, so the CPU figure is the steadier one).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/Signals.h"
#include "support/TempDir.h"

extern char** environ;

namespace {

using namespace orvex;

constexpr double kSeconds = 30.0;
constexpr std::int64_t kFrames = static_cast<std::int64_t>(kSeconds * 44100);

// A harmonic tone of six partials, clicks every 0.25 s and a little noise.
test::Channels toneClicksNoise() {
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

// Runs the command line as a child process; false unless it exits with 0. cpuSeconds gets the
// child's user and system time.
bool runChild(const std::vector<std::string>& arguments, double& cpuSeconds) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return false;
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return false;
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_ProcessThirtySecondsStereo(benchmark::State& state) {
#ifndef ORVEX_CLI_PATH
    state.SkipWithError("orvex-cli is not built in this configuration");
    for (auto _ : state) {
    }
#else
    test::TempDir temp;
    const std::string take = temp.file("take.wav");
    test::writeWave(take, toneClicksNoise(), 44100);
    const std::vector<std::string> command = {ORVEX_CLI_PATH, "process", take,         "--start", "0", "--end",
                                              "30",           "--keep",  "sustained", "-o",      temp.file("kept.wav")};
    double cpu = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(temp.file("take.analysis"));
        std::filesystem::remove(temp.file("kept.wav"));
        state.ResumeTiming();
        double childCpu = 0.0;
        if (!runChild(command, childCpu)) {
            state.SkipWithError("orvex-cli process failed");
            break;
        }
        cpu += childCpu;
    }
    const double audioSeconds = kSeconds * double(state.iterations());
    state.counters["audio_s_per_s"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    state.counters["audio_s_per_cpu_s"] = audioSeconds / cpu;
    state.counters["cpu_s"] = cpu / double(state.iterations());
#endif
}
BENCHMARK(BM_ProcessThirtySecondsStereo)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
