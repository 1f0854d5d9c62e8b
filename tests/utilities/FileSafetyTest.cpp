// The analysis folder lock and the rules for output paths, on real files, links, pipes and
// devices made by the test.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"
#include "utilities/KVFolderLock.h"
#include "utilities/KVOutputTarget.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;
using Mode = KVFolderLock::Mode;

TEST(FolderLockTest, WritersExcludeEachOtherAndReaders) {
    struct Case {
        Mode first, second;
        bool secondInUse;
    };
    const Case cases[] = {{Mode::Exclusive, Mode::Exclusive, true},
                          {Mode::Exclusive, Mode::Shared, true},
                          {Mode::Shared, Mode::Exclusive, true},
                          {Mode::Shared, Mode::Shared, false}};
    TempDir temp;
    const std::string folder = temp.file("take.analysis");
    for (const Case& c : cases) {
        auto first = KVFolderLock::acquire(folder, c.first);
        ASSERT_TRUE(first.lock) << first.message;
        auto second = KVFolderLock::acquire(folder, c.second);
        EXPECT_EQ(second.inUse, c.secondInUse);
        EXPECT_EQ(second.lock == nullptr, c.secondInUse);
        if (c.secondInUse) {
            EXPECT_NE(second.message.find("in use"), std::string::npos) << second.message;
        }
    }
    // Every lock above was dropped with its object.
    EXPECT_TRUE(KVFolderLock::acquire(folder, Mode::Exclusive).lock);
}

// A missing folder is made and said so; one that cannot be made (its parent is a file) is a
// message, not "in use".
TEST(FolderLockTest, CreatesAMissingFolderAndSaysSoOrExplainsWhyNot) {
    TempDir temp;
    const std::string folder = temp.file("a/b.analysis");
    auto made = KVFolderLock::acquire(folder, Mode::Exclusive);
    ASSERT_TRUE(made.lock);
    EXPECT_TRUE(made.lock->createdFolder());
    EXPECT_TRUE(fs::exists(KVFolderLock::lockFilePath(folder)));
    made.lock.reset();
    EXPECT_FALSE(KVFolderLock::acquire(folder, Mode::Exclusive).lock->createdFolder());

    std::ofstream(temp.file("plain")) << "x";
    auto refused = KVFolderLock::acquire(temp.file("plain/x.analysis"), Mode::Exclusive);
    EXPECT_FALSE(refused.lock);
    EXPECT_FALSE(refused.inUse);
    EXPECT_FALSE(refused.message.empty());
}

TEST(OutputTargetTest, OnlyNewPathsAndRegularFilesOutsideAnalysisFoldersAreAccepted) {
    TempDir temp;
    const std::string source = temp.file("mix.wav");
    std::ofstream(source) << "RIFF";
    std::ofstream(temp.file("old.wav")) << "RIFF";
    fs::create_directories(temp.file("mix.analysis/deep"));
    fs::create_symlink(temp.file("old.wav"), temp.file("link.wav"));
    fs::create_hard_link(source, temp.file("hard.wav"));
    ASSERT_EQ(::mkfifo(temp.file("pipe.wav").c_str(), 0644), 0);
    struct Case {
        std::string path;
        const char* refusal;  // a word of the refusal, or null when accepted
    };
    const Case cases[] = {
        {temp.file("new.wav"), nullptr},
        {temp.file("old.wav"), nullptr},
        {source, "being worked on"},
        {temp.file("./sub/../mix.wav"), "being worked on"},
        {temp.file("hard.wav"), "being worked on"},
        {temp.file("link.wav"), "symbolic link"},
        {temp.file("pipe.wav"), "not a regular file"},
        {"/dev/null", "not a regular file"},
        {temp.file("mix.analysis"), "folder"},
        {temp.file("mix.analysis/mix.plist"), "analysis folder"},
        {temp.file("mix.analysis/deep/x.wav"), "analysis folder"},
        {"", "No output"},
    };
    fs::create_directories(temp.file("sub"));
    for (const Case& c : cases) {
        const std::string refusal = KVOutputTarget::refusalFor(c.path, {source});
        if (!c.refusal) {
            EXPECT_EQ(refusal, "") << c.path;
        } else {
            EXPECT_NE(refusal.find(c.refusal), std::string::npos) << c.path << ": " << refusal;
        }
    }
}

TEST(OutputTargetTest, StalePartialsOfDeadProcessesAreRemovedDownTheFolders) {
    TempDir temp;
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);  // child's pid now names no running process
    const std::string dead = temp.file(".out.wav.partial-" + std::to_string(child));
    const std::string mine = KVOutputTarget::partialPathFor(temp.file("out.wav"));
    fs::create_directories(temp.path() / "t-selection.analysis");
    const std::string deadDictionary =
        temp.file("t-selection.analysis/.t.plist.partial-" + std::to_string(child) + ".3");
    const std::string other = temp.file(".notes.partial-x1");
    for (const std::string& path : {dead, deadDictionary, mine, other}) std::ofstream(path) << "x";
    EXPECT_EQ(KVOutputTarget::removeStalePartialsBelow(temp.path().string()), 2);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_FALSE(fs::exists(deadDictionary));
    EXPECT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::exists(other));
}

}  // namespace
}  // namespace orvex::test
