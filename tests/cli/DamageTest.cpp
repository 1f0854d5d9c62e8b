// Stored data damaged behind the store's back, each case as a user meets it through orvex-cli:
// a flipped byte in the selection, the analysis or the master is named with its record and
// nothing is exported or changed; a master cut short, emptied or deleted is refused (never
// refilled from the source) until it is reset; a half selection and a folder in place of the
// dictionary stop `analyse` instead of passing for a stored analysis.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CliRunner.h"
#include "support/Shell.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr std::size_t kRecordBytes = 50228;  // one analysis frame record
constexpr std::size_t kGrainBytes = 8208;    // one encoded grain

std::string q(const std::string& text) { return "'" + text + "'"; }

class DamageTest : public testing::Test {
protected:
    void SetUp() override {
        mTake = mTemp.file("mix.wav");
        writeWave(mTake, {sine(440.0, kRate, 3 * kRate, 0.3), sine(1000.0, kRate, 3 * kRate, 0.2)}, kRate);
        ok("analyse " + q(mTake));
        ok("edit " + q(mTake) + " sustained");
        ok("commit " + q(mTake));
    }
    void ok(const std::string& arguments) {
        const CliRun run = runCli(arguments);
        ASSERT_EQ(run.exitCode, 0) << arguments << "\n" << run.err;
    }
    // The command fails; its last line holds `expected`.
    void fails(const std::string& arguments, const std::string& expected) {
        const CliRun run = runCli(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments;
        EXPECT_NE(errorLine(run.err).find(expected), std::string::npos) << arguments << "\n" << run.err;
    }
    fs::path folder(const std::string& name = "") const { return mTemp.path() / "mix.analysis" / name; }
    fs::path selection(const std::string& name) const { return folder("mix-selection.analysis") / name; }
    fs::path master(const std::string& name) const { return folder("mix-collection.analysis") / name; }
    std::string out() const { return mTemp.file("out.wav"); }

    TempDir mTemp;
    std::string mTake;
};

TEST_F(DamageTest, AFlippedByteInSelectionAnalysisOrMasterIsNamedAndNothingIsExportedOrChanged) {
    test::flipByte(selection("mix-selection_0.asp.noindex").string(), 12 * kGrainBytes + 500);
    fails("export " + q(mTake) + " " + q(out()) + " --segment",
          "record 12 of mix-selection_0.asp.noindex does not match its checksum");
    EXPECT_FALSE(fs::exists(out()));

    // An edit that reads a damaged analysis frame is taken back whole.
    const std::vector<char> before = test::fileBytes(selection("mix-selection_1.ana.noindex").string());
    test::flipByte(folder("mix_1.ana.noindex").string(), 200 * kRecordBytes + 4000);
    fails("edit " + q(mTake) + " transients", "record 200 of mix_1.ana.noindex does not match its checksum");
    EXPECT_EQ(test::fileBytes(selection("mix-selection_1.ana.noindex").string()), before);

    test::flipByte(master("mxl.asp.noindex").string(), 40 * kGrainBytes + 3000);
    fails("export " + q(mTake) + " " + q(out()) + " --master", "record 40 of mxl.asp.noindex does not match its checksum");
    EXPECT_FALSE(fs::exists(out()));
}

TEST_F(DamageTest, AMasterThatLostGrainsIsRefusedUntilItIsReset) {
    const fs::path left = master("mxl.asp.noindex");
    for (const std::string damage : {"half", "empty", "delete"}) {
        const auto grains = fs::file_size(left) / kGrainBytes;
        if (damage == "half") fs::resize_file(left, grains / 2 * kGrainBytes);
        if (damage == "empty") fs::resize_file(left, 0);
        if (damage == "delete") fs::remove(left);
        const std::string held = damage == "delete"
                                     ? "the master's mxl.asp.noindex is missing"
                                     : "the master's mxl.asp.noindex holds " +
                                           std::to_string(damage == "half" ? grains / 2 : 0) + " of ";
        // Twice: the first refusal must not have made the file anew.
        for (int run = 0; run < 2; ++run) {
            fails("export " + q(mTake) + " " + q(out()) + " --master", held);
            fails("commit " + q(mTake), held);
        }
        EXPECT_FALSE(fs::exists(out()));
        ok("reset-master " + q(mTake));
        ok("export " + q(mTake) + " " + q(out()) + " --master");
        fs::remove(out());
        ok("commit " + q(mTake));
    }
}

TEST_F(DamageTest, AnalyseRefusesAHalfSelectionAndAFolderInPlaceOfTheDictionary) {
    const fs::path grains = selection("mix-selection_0.asp.noindex");
    fs::resize_file(grains, fs::file_size(grains) / kGrainBytes / 2 * kGrainBytes);
    fails("analyse " + q(mTake), "The stored selection is damaged: mix-selection_0.asp.noindex holds");
    ok("analyse " + q(mTake) + " --force");
    ok("edit " + q(mTake) + " sustained");

    fs::remove(folder("mix.plist"));
    fs::create_directory(folder("mix.plist"));
    fails("analyse " + q(mTake), "is not a file");
}

}  // namespace
}  // namespace orvex::test
