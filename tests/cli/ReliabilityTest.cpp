// orvex-cli under conditions a user meets by accident: links that loop, folders that may not be
// entered, outputs that name the source or a device, a second process on the same file, an edit
// cut short, damaged analysis files, clipping and malformed arguments. Every refusal is one
// line on standard error and a non-zero exit; nothing the user keeps is replaced.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "CliRunner.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"
#include "utilities/KVFolderLock.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;

// command with every " F" naming file, " O" an output and " P" a picture in folder.
std::string commandOn(std::string command, const std::string& file, const std::string& folder) {
    for (const auto& [mark, value] : {std::pair{" F", file}, {" O", folder + "/o.wav"}, {" P", folder + "/p.png"}})
        for (std::size_t at; (at = command.find(mark)) != std::string::npos;)
            command.replace(at + 1, 1, "'" + value + "'");
    return command;
}

class ReliabilityTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
        mTake = mTemp.file("take.wav");
        writeWave(mTake, {sine(220.0, 44100.0, kFrames, 0.3)}, 44100);
    }
    std::string q(const std::string& path) const { return "'" + path + "'"; }
    // orvex-cli on the take (see commandOn), outputs in the temporary folder.
    CliRun run(const std::string& command) const { return runCli(commandOn(command, mTake, mTemp.path().string())); }
    void analysed() const { EXPECT_EQ(run("analyse F").exitCode, 0); }
    // The run failed with exit code 1 and exactly one line on standard error containing words.
    static void refusedWith(const CliRun& run, const std::string& words, int exitCode = 1) {
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_NE(errorLine(run.err).find(words), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }

    TempDir mTemp;
    std::string mTake;
};

const char* const kCommands[] = {"analyse F",         "edit F sustained",         "commit F",
                                 "export F O --master", "reset-master F",         "snapshot F P",
                                 "process F --start 0 --end 2 --keep sustained -o O"};

TEST_F(ReliabilityTest, LinkLoopsAndClosedFoldersAreOneLineNotAnAbort) {
    fs::create_symlink(mTemp.file("b.wav"), mTemp.file("a.wav"));
    fs::create_symlink(mTemp.file("a.wav"), mTemp.file("b.wav"));
    const std::string closed = mTemp.file("closed");
    fs::create_directory(closed);
    ::chmod(mTemp.path().c_str(), 0755);
    ::chmod(closed.c_str(), 0700);
    for (const char* command : kCommands) {
        refusedWith(runCli(commandOn(command, mTemp.file("a.wav"), mTemp.path().string())), "loop");
        const int code = runUnprivileged([&] {
            const CliRun run = runCli(commandOn(command, closed + "/x.wav", "/tmp"));
            return run.exitCode == 1 && errorLine(run.err).find("may not be entered") != std::string::npos ? 0 : 1;
        });
        EXPECT_EQ(code, 0) << command;
    }
}

TEST_F(ReliabilityTest, OutputsNeverReplaceTheSourceTheAnalysisOrSpecialFiles) {
    analysed();
    const std::string folder = mTemp.file("take.analysis");
    const std::string plist = folder + "/take.plist";
    fs::create_symlink(mTemp.file("elsewhere.wav"), mTemp.file("link.wav"));
    fs::create_symlink(mTemp.file("elsewhere.png"), mTemp.file("link.png"));
    ASSERT_EQ(::mkfifo(mTemp.file("pipe.wav").c_str(), 0644), 0);
    const std::vector<char> source = fileBytes(mTake), dictionary = fileBytes(plist);
    struct Case {
        std::string arguments, words;
    };
    const Case cases[] = {
        {"export F F --master", "being worked on"},
        {"process F --start 0 --end 2 --keep sustained -o F", "being worked on"},
        {"export F '" + plist + "' --segment", "analysis folder"},
        {"export F '" + mTemp.file("link.wav") + "' --segment", "symbolic link"},
        {"export F '" + mTemp.file("pipe.wav") + "' --master", "not a regular file"},
        {"export F /dev/null --segment", "not a regular file"},
        {"snapshot F '" + mTemp.file("link.png") + "'", "symbolic link"},
    };
    for (const Case& c : cases) refusedWith(run(c.arguments), c.words);
    EXPECT_EQ(fileBytes(mTake), source);
    EXPECT_EQ(fileBytes(plist), dictionary);
    EXPECT_TRUE(fs::is_symlink(mTemp.file("link.wav")));
    EXPECT_FALSE(fs::exists(mTemp.file("elsewhere.wav")));
    EXPECT_FALSE(fs::exists(mTemp.file("elsewhere.png")));
    EXPECT_TRUE(fs::is_fifo(mTemp.file("pipe.wav")));

    // Any other name is written as WAVE, with a line saying so; an existing file is replaced.
    std::ofstream(mTemp.file("old.aiff")) << "old";
    const CliRun replaced = run("export F " + q(mTemp.file("old.aiff")) + " --master");
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_NE(replaced.err.find("written as a WAVE file"), std::string::npos) << replaced.err;
    EXPECT_EQ(readWithPython(mTemp.file("old.aiff")).frames, kFrames);
}

TEST_F(ReliabilityTest, ASecondWriterIsToldTheFolderIsInUseAndAnEditCutShortIsRolledBack) {
    analysed();
    auto held = KVFolderLock::acquire(mTemp.file("take.analysis"), KVFolderLock::Mode::Exclusive);
    ASSERT_TRUE(held.lock);
    for (const char* command : {"edit F transients", "analyse F --force", "export F O --master"})
        refusedWith(run(command), "in use");
    held.lock.reset();
    EXPECT_EQ(run("edit F transients").exitCode, 0);

    // A step recorded as open (the process died after its writes, before the history named it)
    // is rolled back by the next command, which says so; the selection is then as it was before
    // that step. The death is staged: the step's copies back in the undo files, the history as
    // it was before the step.
    const fs::path selection = mTemp.file("take.analysis/take-selection.analysis");
    const std::string records = (selection / "take-selection_ovw.ana.noindex").string();
    const std::vector<char> before = fileBytes(records);
    const std::vector<char> history = fileBytes((selection / "take-selection_history.noindex").string());
    ASSERT_EQ(run("edit F sustained").exitCode, 0);
    ASSERT_NE(fileBytes(records), before);
    for (const char* chunk : {"0", "1", "ovw"})
        for (const char* checksums : {"", ".crc"}) {
            const std::string name = std::string("take-selection_") + chunk;
            std::error_code absent;  // a mono take has no second channel
            fs::rename(selection / (name + ".step-2.noindex" + checksums), selection / (name + ".undo.noindex" + checksums),
                       absent);
        }
    std::ofstream(selection / "take-selection_history.noindex", std::ios::binary)
        .write(history.data(), std::streamsize(history.size()));
    std::ofstream(selection / "take-selection_open-step.noindex") << 2;
    const CliRun exported = run("export F O --segment");
    EXPECT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_NE(exported.err.find("rolled back"), std::string::npos) << exported.err;
    const std::vector<char> after = fileBytes(records);
    ASSERT_GE(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
}

TEST_F(ReliabilityTest, MissingOrCutShortDataIsNamedNotExportedAsSilence) {
    // A file that is not a sound, and a segment export before any analysis, leave nothing behind.
    std::ofstream(mTemp.file("notes.wav")) << "not a sound file\n";
    refusedWith(runCli("analyse " + q(mTemp.file("notes.wav"))), "Unreadable file");
    refusedWith(run("export F O --segment"), "analyse");
    for (const char* name : {"notes.analysis", "take.analysis/take-selection.analysis", "o.wav"})
        EXPECT_FALSE(fs::exists(mTemp.file(name))) << name;
    analysed();
    const std::string analysis = mTemp.file("take.analysis/take_ovw.ana.noindex");
    const std::string grains = mTemp.file("take.analysis/take-selection.analysis/take-selection_0.asp.noindex");
    ASSERT_EQ(run("edit F select-all").exitCode, 0);
    fs::resize_file(grains, fs::file_size(grains) / 2);
    refusedWith(run("export F O --segment"), "take-selection_0.asp.noindex holds");
    fs::remove(grains);
    refusedWith(run("export F O --segment"), "take-selection_0.asp.noindex is missing");
    fs::resize_file(analysis, fs::file_size(analysis) / 2);
    for (const char* command : {"export F O --segment", "edit F sustained", "commit F"})
        refusedWith(run(command), "take_ovw.ana.noindex holds");
    EXPECT_FALSE(fs::exists(mTemp.file("o.wav")));
}

TEST_F(ReliabilityTest, ArgumentErrorsShareOneExitCodeAndSayWhatIsWrong) {
    analysed();
    struct Case {
        std::string arguments, words;
    };
    const Case cases[] = {
        {"frobnicate", "subcommand"},
        {"analyse F --start 2 --end 1", "end is not after its start"},
        {"analyse F --start nan --end 2", "finite"},
        {"analyse F --start 9 --end 12", "after the end of the file"},
        {"export F out.wav", "Choose one of"},
        {"edit F box --from 0 --to 9 --low 100 --high 200", "beyond the analysed segment"},
        {"edit F pencil --path 1:220,2:220,5:220", "beyond the analysed segment"},
    };
    for (const Case& c : cases) refusedWith(run(c.arguments), c.words, 2);
}

TEST_F(ReliabilityTest, SuccessesSayWhatTheyDidAndShowOnlyRealWork) {
    analysed();
    CliRun done = run("edit F select-all");
    EXPECT_EQ(done.exitCode, 0);
    EXPECT_EQ(done.err.find("analysing"), std::string::npos) << done.err;
    done = run("export F O --master");
    EXPECT_NE(done.out.find("exported the master to"), std::string::npos) << done.out;
    done = run("reset-master F");
    EXPECT_NE(done.out.find("reset the master"), std::string::npos) << done.out;
    // Writer diagnostics only with --verbose; the error line in both cases, and no folder made.
    for (const bool verbose : {false, true}) {
        const std::string target = q(mTemp.file("none/m.wav"));
        done = run(std::string(verbose ? "--verbose " : "") + "export F " + target + " --master");
        EXPECT_EQ(done.exitCode, 1);
        EXPECT_NE(errorLine(done.err).find("Error creating file"), std::string::npos) << done.err;
        EXPECT_EQ(done.err.find("Cannot convert path") != std::string::npos, verbose) << done.err;
    }
    EXPECT_FALSE(fs::exists(mTemp.file("none")));
}

TEST_F(ReliabilityTest, ClippingIsCountedShortFilesExportTheirOwnFramesStalePartialsGo) {
    const std::string loud = mTemp.file("loud.wav"), shortFile = mTemp.file("short.wav");
    writeWave(loud, {std::vector<float>(std::size_t(kFrames), 1.0f)}, 44100);
    writeWave(shortFile, {sine(220.0, 44100.0, 30000, 0.3)}, 44100);
    CliRun run = runCli("export " + q(loud) + " " + q(mTemp.file("l.wav")) + " --master");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("samples were clipped"), std::string::npos) << run.err;

    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string stale = mTemp.file(".s.wav.partial-" + std::to_string(child));
    std::ofstream(stale) << "x";
    run = runCli("process " + q(shortFile) + " --start 0 --end 1 --keep sustained -o " + q(mTemp.file("s.wav")));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("clipped"), std::string::npos) << run.err;
    EXPECT_EQ(readWithPython(mTemp.file("s.wav")).frames, 30000);
    EXPECT_FALSE(fs::exists(stale));
}

}  // namespace
}  // namespace orvex::test
