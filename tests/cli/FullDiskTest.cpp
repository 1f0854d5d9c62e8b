// A disk that fills up at ten points of a shell script's work (analyse, edit, commit, export),
// each command run as its own orvex-cli process: the command ends with one line and a non-zero
// exit, and every byte of the analysis folder is as it was before the command. The disk is a
// simulated one of a given number of free bytes (ORVEX_SIMULATED_FREE_BYTES) for the store and
// the dictionary, and a file-size limit for the exported file, so each point is deterministic.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "CliRunner.h"
#include "store/FileSizeLimit.h"
#include "support/Shell.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;
using Snapshot = std::map<std::string, std::string>;

constexpr int kRate = 44100;

std::string q(const std::string& text) { return "'" + text + "'"; }

// orvex-cli on a disk with only `freeBytes` left for the analysis folder.
CliRun runOnFullDisk(std::uint64_t freeBytes, const std::string& arguments) {
    const std::string errPath = (fs::temp_directory_path() / ("orvex-full-err-" + std::to_string(::getpid()))).string();
    CliRun run;
    run.out = runCommand("ORVEX_SIMULATED_FREE_BYTES=" + std::to_string(freeBytes) + " " + q(cliProgram()) + " " +
                             arguments + " 2>" + q(errPath),
                         &run.exitCode);
    std::ifstream in(errPath);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    fs::remove(errPath);
    return run;
}

class FullDiskTest : public testing::Test {
protected:
    void SetUp() override {
        mTake = mTemp.file("mix.wav");
        writeWave(mTake, {sine(440.0, kRate, 3 * kRate, 0.3), sine(1000.0, kRate, 3 * kRate, 0.2)}, kRate);
    }
    // Every file of the analysis folder with its bytes (the advisory lock file aside).
    Snapshot folderBytes() const {
        Snapshot files;
        const fs::path folder = mTemp.path() / "mix.analysis";
        std::error_code error;
        for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
             it.increment(error)) {
            if (!it->is_regular_file() || it->path().filename() == "lock.noindex") continue;
            std::ifstream in(it->path(), std::ios::binary);
            files[fs::relative(it->path(), folder).string()].assign(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }
    void ok(const std::string& arguments) {
        const CliRun run = runCli(arguments);
        ASSERT_EQ(run.exitCode, 0) << arguments << "\n" << run.err;
    }
    // The command fails in one line naming the full disk and leaves the folder as it was.
    void failsAndLeavesTheFolder(std::uint64_t freeBytes, const std::string& arguments, const std::string& what) {
        const Snapshot before = folderBytes();
        const CliRun run = runOnFullDisk(freeBytes, arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments << " with " << freeBytes << " bytes free\n" << run.err;
        EXPECT_EQ(errorLine(run.err), "orvex-cli: No space left on device while writing the " + what + " of mix.wav\n")
            << arguments << " with " << freeBytes << " bytes free";
        EXPECT_EQ(run.out, "");
        const Snapshot after = folderBytes();
        EXPECT_EQ(after.size(), before.size()) << arguments << " with " << freeBytes << " bytes free";
        for (const auto& [name, bytes] : before)
            EXPECT_TRUE(after.count(name) && after.at(name) == bytes)
                << name << " changed by " << arguments << " with " << freeBytes << " bytes free";
    }

    TempDir mTemp;
    std::string mTake;
};

TEST_F(FullDiskTest, EveryCommandThatMeetsAFullDiskFailsInOneLineAndLeavesTheFolderAsItWas) {
    // Analyse: at the dictionary, early in the records, late in the records. A folder the
    // command made is gone again.
    for (std::uint64_t free : {0ull, 3000000ull, 15000000ull, 40000000ull}) failsAndLeavesTheFolder(free, "analyse " + q(mTake), "analysis");
    EXPECT_FALSE(fs::exists(mTemp.path() / "mix.analysis"));
    ok("analyse " + q(mTake));

    // An edit on an empty selection: at its first undo copies and midway.
    for (std::uint64_t free : {0ull, 3000000ull})
        failsAndLeavesTheFolder(free, "edit " + q(mTake) + " sustained", "selection");
    // An edit over a stored one: the earlier edit stays, and so does its undo.
    ok("edit " + q(mTake) + " sustained");
    failsAndLeavesTheFolder(1000000, "edit " + q(mTake) + " box --from 0.5 --to 1.5 --low 300 --high 600", "selection");

    // A commit: at the start of its journal and midway through it.
    ok("reset-master " + q(mTake));
    for (std::uint64_t free : {0ull, 5000000ull}) failsAndLeavesTheFolder(free, "commit " + q(mTake), "master");

    // An export meets the full disk in its own file: nothing is left of it.
    ok("commit " + q(mTake));
    const Snapshot before = folderBytes();
    const std::string out = mTemp.file("out.wav");
    CliRun run;
    {
        FileSizeLimit limit(200000);
        run = runCli("export " + q(mTake) + " " + q(out) + " --segment");
    }
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(errorLine(run.err).find("could not be written to"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(folderBytes(), before);
    for (const auto& entry : fs::directory_iterator(mTemp.path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial"), std::string::npos) << entry.path();
}

// Undo writes frames back into places the selection already holds, so a full disk does not
// stop it.
TEST_F(FullDiskTest, AnUndoNeedsNoFreeSpace) {
    ok("analyse " + q(mTake));
    ok("edit " + q(mTake) + " sustained");
    const CliRun run = runOnFullDisk(0, "edit " + q(mTake) + " undo");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "undo done\n");
    EXPECT_FALSE(fs::exists(mTemp.path() / "mix.analysis/mix-selection.analysis/mix-selection_open-step.noindex"));
}

}  // namespace
}  // namespace orvex::test
