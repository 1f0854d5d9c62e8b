// orvex-cli killed (SIGKILL) at random moments of analyse, edit, undo, redo, apply, the undo of apply,
// commit and export: the next
// command must find the state from before the interrupted command or the one after it, never
// a mixture, and no file that neither state holds may be left behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <thread>

#include "CliRunner.h"
#include "support/Signals.h"

extern char** environ;

namespace orvex::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Fixed so that every run kills at the same fractions of each command's duration.
constexpr std::uint32_t kGeneratorConstant = 20261207;
// Attempts per command, of which only those that kill the command before it ends count.
constexpr int kMostAttemptsPerCommand = 200;

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    int exitCode = -1;
    bool killed = false;
    std::string err;
};

// Runs orvex-cli in folder with the given arguments; with killAfter, sends SIGKILL after that
// long unless the program has ended first.
Outcome runIn(const fs::path& folder, const std::vector<std::string>& arguments,
              std::optional<Clock::duration> killAfter = std::nullopt) {
    const std::string program = cliProgram(), errPath = (folder.parent_path() / "stderr.txt").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Outcome outcome;
    if (spawned != 0) return outcome;
    int status = 0;
    if (killAfter) {
        const auto deadline = Clock::now() + *killAfter;
        while (Clock::now() < deadline && ::waitpid(pid, &status, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        if (::waitpid(pid, &status, WNOHANG) == 0) ::kill(pid, SIGKILL);
    }
    ::waitpid(pid, &status, 0);
    outcome.killed = WIFSIGNALED(status);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.err = contents(errPath);
    return outcome;
}

std::set<std::string> filesBelow(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder, ignored))
        if (!entry.is_directory(ignored)) names.insert(fs::relative(entry.path(), folder, ignored).string());
    return names;
}

void replaceFolder(const fs::path& from, const fs::path& to) {
    std::error_code ignored;
    fs::remove_all(to, ignored);
    fs::copy(from, to, fs::copy_options::recursive, ignored);
}

// An exported sound (its bytes), or nothing when the export is refused.
std::optional<std::string> exported(const fs::path& folder, const std::string& kind) {
    const Outcome run = runIn(folder, {"export", "t.wav", "check.wav", kind});
    std::optional<std::string> bytes;
    if (run.exitCode == 0) bytes = contents(folder / "check.wav");
    std::error_code ignored;
    fs::remove(folder / "check.wav", ignored);
    return bytes;
}

// One interrupted command: the state folder it starts from, the one it ends in when it runs
// to the end, and what the next command observes.
struct Interruption {
    std::string name;
    std::vector<std::string> arguments;
    std::string before, after;
    std::function<std::optional<std::string>(const fs::path&)> observe;
    int kills;  // how many kills to make
};

class CliInterruptionTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
        // In memory when possible: the analysis is rewritten from scratch for every kill.
        std::error_code ignored;
        const bool shm = ::access("/dev/shm", W_OK) == 0;
        std::string pattern = (shm ? std::string("/dev/shm") : fs::temp_directory_path(ignored).string()) +
                              "/orvex-interrupt-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        mRoot = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        if (!mRoot.empty()) fs::remove_all(mRoot, ignored);
    }

    fs::path state(const std::string& name) const { return mRoot / name; }

    // Runs arguments uninterrupted on a copy of before, keeps the result as state after and
    // returns how long the command took.
    Clock::duration makeState(const std::string& before, const std::string& after,
                              const std::vector<std::string>& arguments) {
        replaceFolder(state(before), state(after));
        const auto start = Clock::now();
        const Outcome run = runIn(state(after), arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Clock::now() - start;
    }

    // Kills the command at random moments until step.kills kills; after each, checks what
    // the next command observes and the files left. Returns the kills made.
    int interrupt(const Interruption& step, Clock::duration duration, std::mt19937& generator) {
        const fs::path work = state("work");
        std::set<std::string> allowed = filesBelow(state(step.before));
        allowed.merge(filesBelow(state(step.after)));
        const std::optional<std::string> before = observeCopy(step, step.before);
        const std::optional<std::string> after = observeCopy(step, step.after);
        EXPECT_NE(before, after) << step.name << ": the command changes nothing that the check sees";
        std::uniform_real_distribution<double> fraction(0.0, 1.0);
        int kills = 0;
        for (int attempt = 0; attempt < kMostAttemptsPerCommand && kills < step.kills; ++attempt) {
            replaceFolder(state(step.before), work);
            const auto delay = std::chrono::duration_cast<Clock::duration>(duration * fraction(generator));
            if (!runIn(work, step.arguments, delay).killed) continue;
            ++kills;
            const std::optional<std::string> seen = step.observe(work);
            EXPECT_TRUE(seen == before || seen == after)
                << step.name << " killed after " << std::chrono::duration<double>(delay).count()
                << " s: the next command finds a mixture of the states before and after; it said: "
                << contents(mRoot / "stderr.txt");
            for (const std::string& name : filesBelow(work))
                EXPECT_TRUE(allowed.count(name)) << step.name << " killed: stray file " << name;
        }
        return kills;
    }

    // What the check observes in a copy of a state (the check itself may write).
    std::optional<std::string> observeCopy(const Interruption& step, const std::string& name) {
        replaceFolder(state(name), state("probe"));
        return step.observe(state("probe"));
    }

    fs::path mRoot;
};

TEST_F(CliInterruptionTest, KilledCommandsLeaveTheStateBeforeOrAfterThemAndNoStrayFiles) {
    // A 0.6 s mono tone with a click: analysed as the 2 s minimum segment.
    const std::int64_t frames = 26460;
    auto tone = sine(440.0, 44100.0, frames, 0.3);
    mixInto(tone, sine(1320.0, 44100.0, frames, 0.1));
    tone[13000] += 0.5f;
    fs::create_directories(state("fresh"));
    writeWave(state("fresh/t.wav").string(), {tone}, 44100, 0);

    const auto analyse = makeState("fresh", "analysed", {"analyse", "t.wav"});
    const auto edit = makeState("analysed", "edited", {"edit", "t.wav", "sustained"});
    const auto commit = makeState("edited", "committed", {"commit", "t.wav"});
    const auto undo = makeState("edited", "undone", {"edit", "t.wav", "undo"});
    const auto redo = makeState("undone", "redone", {"edit", "t.wav", "redo"});
    const auto apply = makeState("edited", "applied", {"edit", "t.wav", "apply"});
    const auto unapply = makeState("applied", "unapplied", {"edit", "t.wav", "undo"});
    // An older export lies where the new one goes: it must stay whole until replaced whole.
    ASSERT_EQ(runIn(state("analysed"), {"export", "t.wav", "out.wav", "--segment"}).exitCode, 0);
    fs::copy_file(state("analysed/out.wav"), state("edited/out.wav"));
    fs::remove(state("analysed/out.wav"));
    const auto exportTime = makeState("edited", "exported", {"export", "t.wav", "out.wav", "--segment"});

    auto segment = [](const fs::path& folder) { return exported(folder, "--segment"); };
    auto master = [](const fs::path& folder) { return exported(folder, "--master"); };
    // Undo and redo outside the window then commit the selection to the master, an operation of
    // its own: the selection is seen, and the master is opened so that it settles its commit.
    auto selectionThenMaster = [](const fs::path& folder) {
        const auto selection = exported(folder, "--segment");
        exported(folder, "--master");
        return selection;
    };
    // Apply changes the analysis as well: the selection is seen as selectionSeen sees it, then (on
    // a probe copy, so that select all leaves no level in the folder checked) the analysis as
    // select all copies it.
    auto andAnalysis = [](std::function<std::optional<std::string>(const fs::path&)> selectionSeen) {
        return [selectionSeen](const fs::path& folder) {
            const auto selection = selectionSeen(folder);
            const fs::path probe = folder.parent_path() / "analysis-probe";
            replaceFolder(folder, probe);
            const bool selected = runIn(probe, {"edit", "t.wav", "select-all"}).exitCode == 0;
            const auto analysis = exported(probe, "--segment");
            std::error_code ignored;
            fs::remove_all(probe, ignored);
            return std::optional<std::string>((selection ? *selection : "none") + "|" +
                                              (selected && analysis ? *analysis : "none"));
        };
    };
    // The file as it lies; then the same export again must succeed and leave nothing else.
    auto output = [](const fs::path& folder) {
        const auto bytes = contents(folder / "out.wav");
        EXPECT_EQ(runIn(folder, {"export", "t.wav", "out.wav", "--segment"}).exitCode, 0);
        return std::optional<std::string>(bytes);
    };
    // Analysis and edits take longest, so they get fewer of the kills.
    const Interruption steps[] = {
        {"analyse", {"analyse", "t.wav"}, "fresh", "analysed", segment, 6},
        {"edit", {"edit", "t.wav", "sustained"}, "analysed", "edited", segment, 10},
        {"undo", {"edit", "t.wav", "undo"}, "edited", "undone", selectionThenMaster, 10},
        {"redo", {"edit", "t.wav", "redo"}, "undone", "redone", selectionThenMaster, 10},
        {"apply", {"edit", "t.wav", "apply"}, "edited", "applied", andAnalysis(segment), 8},
        {"undo apply", {"edit", "t.wav", "undo"}, "applied", "unapplied", andAnalysis(selectionThenMaster), 8},
        {"commit", {"commit", "t.wav"}, "edited", "committed", master, 22},
        {"export", {"export", "t.wav", "out.wav", "--segment"}, "edited", "exported", output, 22},
    };
    const Clock::duration durations[] = {analyse, edit, undo, redo, apply, unapply, commit, exportTime};
    std::mt19937 generator(kGeneratorConstant);
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto start = Clock::now();
        const int kills = interrupt(steps[i], durations[i], generator);
        EXPECT_EQ(kills, steps[i].kills) << steps[i].name << " ended before enough kills";
        std::printf("%s: %d kills within its %.2f s, checked in %.1f s\n", steps[i].name.c_str(), kills,
                    std::chrono::duration<double>(durations[i]).count(),
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
}

}  // namespace
}  // namespace orvex::test
