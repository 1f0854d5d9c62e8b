#pragma once
// Runs a command line as a child process with its output discarded, for benchmarks that time
// orvex-cli commands whole.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace orvex::bench {

// False unless the child exits with 0. cpuSeconds gets the child's user and system time.
inline bool runChild(const std::vector<std::string>& arguments, double& cpuSeconds) {
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

// Ends a benchmark of a command in a build without orvex-cli.
inline void skipWithoutCli(benchmark::State& state) {
    state.SkipWithError("orvex-cli is not built in this configuration");
    for (auto _ : state) {
    }
}

// Runs the command once per iteration, after prepare (untimed); the children's CPU seconds.
// A failing command ends the loop with an error on state.
inline double runEachIteration(benchmark::State& state, const std::vector<std::string>& command,
                               const std::function<void()>& prepare = {}) {
    double cpu = 0.0;
    for (auto _ : state) {
        if (prepare) {
            state.PauseTiming();
            prepare();
            state.ResumeTiming();
        }
        double childCpu = 0.0;
        if (!runChild(command, childCpu)) {
            state.SkipWithError((command.at(1) + " failed").c_str());
            break;
        }
        cpu += childCpu;
    }
    return cpu;
}

}  // namespace orvex::bench
