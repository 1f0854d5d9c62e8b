// Exports, working copies and dictionaries reach the disk before they count as written: the
// finished file is synced under its temporary name, renamed, then its folder synced (so a power
// cut leaves the old file or the new one). Seen through the sync seam, with orvex-cli run in
// this process; a sync that fails fails the export with one line and leaves the old file.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "CliRunner.h"
#include "platform/DurableFile.h"
#include "platform/HeadlessPlatform.h"
#include "playback/AudioEngine.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

// One call of the seam: what was synced, and whether the target existed at that moment.
struct Sync {
    std::string path;
    bool targetThere;
};

class DurableExportTest : public testing::Test {
protected:
    void SetUp() override {
        AudioEngine::setLogging(false);  // as orvex-cli itself runs
        auto platform = std::make_shared<HeadlessPlatform>();
        platform->setEchoAlerts(false);
        Platform::install(platform);
        mTake = mTemp.file("take.wav");
        writeWave(mTake, {sine(220.0, 44100.0, 3 * 44100, 0.3)}, 44100);
    }
    void TearDown() override {
        DurableFile::setSyncHook({});
        Platform::install(nullptr);
    }
    // Records every sync while target is watched; failing names a path that fails with EIO.
    void watch(const std::string& target, const std::string& failing = "") {
        mSyncs.clear();
        DurableFile::setSyncHook([this, target, failing](int fd, const std::string& path) {
            std::lock_guard<std::mutex> guard(mMutex);
            mSyncs.push_back({path, fs::exists(target)});
            return !failing.empty() && path.find(failing) != std::string::npos ? EIO : ::fsync(fd);
        });
    }
    int cli(std::vector<std::string> arguments) { return runInProcess(std::move(arguments), mErr); }
    // The partial of target was synced while target did not yet exist, and the folder right
    // after, once target was in place.
    void expectSyncedThenRenamed(const std::string& target) {
        std::lock_guard<std::mutex> guard(mMutex);
        const std::string partial = "." + fs::path(target).filename().string() + ".partial-";
        const auto file = std::find_if(mSyncs.begin(), mSyncs.end(),
                                       [&](const Sync& s) { return s.path.find(partial) != std::string::npos; });
        ASSERT_NE(file, mSyncs.end()) << target;
        EXPECT_FALSE(file->targetThere) << target;
        ASSERT_NE(file + 1, mSyncs.end()) << target;
        EXPECT_EQ(fs::path(file[1].path), fs::path(target).parent_path()) << target;
        EXPECT_TRUE(file[1].targetThere) << target;
    }

    TempDir mTemp;
    std::string mTake, mErr;
    std::mutex mMutex;
    std::vector<Sync> mSyncs;
};

TEST_F(DurableExportTest, EveryFileIsSyncedBeforeItsRenameAndItsFolderAfter) {
    watch(mTemp.file("take.analysis/take.plist"));
    ASSERT_EQ(cli({"analyse", mTake}), 0) << mErr;
    expectSyncedThenRenamed(mTemp.file("take.analysis/take.plist"));
    ASSERT_EQ(cli({"edit", mTake, "select-all"}), 0) << mErr;

    const std::string segment = mTemp.file("segment.wav"), master = mTemp.file("master.wav");
    watch(segment);
    ASSERT_EQ(cli({"export", mTake, segment, "--segment"}), 0) << mErr;
    expectSyncedThenRenamed(segment);
    watch(master);
    ASSERT_EQ(cli({"export", mTake, master, "--master"}), 0) << mErr;
    expectSyncedThenRenamed(master);
    watch(mTemp.file("stems-rest.wav"));
    ASSERT_EQ(cli({"export", mTake, mTemp.file("stems.wav"), "--stems"}), 0) << mErr;
    expectSyncedThenRenamed(mTemp.file("stems-rest.wav"));

    const std::string other = mTemp.file("fast.wav"), copy = mTemp.file("fast[orvx].wav");
    writeWave(other, {sine(220.0, 48000.0, 48000, 0.3)}, 48000);
    watch(copy);
    ASSERT_EQ(cli({"info", other, "--working"}), 0) << mErr;
    expectSyncedThenRenamed(copy);
}

TEST_F(DurableExportTest, AFailedSyncFailsTheExportInOneLineAndKeepsTheOldFile) {
    ASSERT_EQ(cli({"analyse", mTake}), 0) << mErr;
    const std::string target = mTemp.file("out.wav");
    std::ofstream(target) << "the older export";
    for (const char* kind : {"--master", "--segment"}) {
        watch(target, ".out.wav.partial-");
        EXPECT_EQ(cli({"export", mTake, target, kind}), 1) << kind;
        // One message line; the master's progress bar may close with an empty line after it.
        const auto at = mErr.find("orvex-cli: ");
        ASSERT_NE(at, std::string::npos) << mErr;
        EXPECT_EQ(at, mErr.rfind("orvex-cli: ")) << mErr;
        EXPECT_EQ(mErr.find_first_not_of('\n', mErr.find('\n', at)), std::string::npos) << mErr;
        EXPECT_NE(mErr.find("could not be written to " + target, at), std::string::npos) << mErr;
        const std::vector<char> kept = fileBytes(target);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "the older export");
    }
    for (const auto& entry : fs::directory_iterator(mTemp.path()))
        EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace orvex::test
