// A commit's journal takes back a commit cut short, and only such a commit.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "store/KVGrainCollection.h"
#include "store/FileSizeLimit.h"
#include "store/MasterCommitJournal.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

class CommitJournalTest : public test::PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        left = KVGrainCollection::initByOpeningFileAtPath(temp().file("mxl.xxx"), false, true);
        right = KVGrainCollection::initByOpeningFileAtPath(temp().file("mxr.xxx"), false, true);
        for (FramePos k = 0; k < 6; ++k) write(k, float(k + 1));
    }
    // Grain k of both sides marked by its maximum field.
    void write(FramePos k, float mark) {
        KVEncodedGrain grain{};
        grain.maximum = mark;
        left->writeRecord(grain, k);
        grain.maximum = -mark;
        right->writeRecord(grain, k);
    }
    float mark(FramePos k) {
        KVEncodedGrain l{}, r{};
        left->readRecords(&l, k, 1);
        right->readRecords(&r, k, 1);
        return l.maximum == -r.maximum ? l.maximum : -1.0f;
    }
    std::string journal() { return temp().file("commit.journal"); }

    std::unique_ptr<KVGrainCollection> left, right;
};

TEST_F(CommitJournalTest, CommitCutShortIsTakenBackWholeCommitIsKept) {
    const struct {
        bool finished;
        std::vector<float> marks;
    } cases[] = {{false, {1, 2, 3, 4, 5, 6}}, {true, {1, 20, 30, 40, 5, 6}}};
    for (const auto& c : cases) {
        for (FramePos k = 0; k < 6; ++k) write(k, float(k + 1));
        ASSERT_TRUE(MasterCommitJournal::save(*left, *right, 1, 3));
        write(1, 20.0f);
        write(2, 30.0f);
        if (c.finished) {
            write(3, 40.0f);
            MasterCommitJournal::close(*left, *right);
        }
        EXPECT_EQ(MasterCommitJournal::rollBack(*left, *right), !c.finished);
        for (FramePos k = 0; k < 6; ++k) EXPECT_EQ(mark(k), c.marks[k]) << k << (c.finished ? " finished" : " cut");
        EXPECT_FALSE(std::filesystem::exists(journal()));
    }
}

TEST_F(CommitJournalTest, JournalTornBeforeItWasWholeIsRemovedAndChangesNothing) {
    std::ofstream(journal() + ".partial") << "torn";
    std::ofstream(journal()) << "short";  // not a whole journal either
    write(2, 30.0f);
    EXPECT_FALSE(MasterCommitJournal::rollBack(*left, *right));
    EXPECT_EQ(mark(2), 30.0f);
    EXPECT_FALSE(std::filesystem::exists(journal()));
    EXPECT_FALSE(std::filesystem::exists(journal() + ".partial"));
}

// The master has no room to take a cut commit back: the journal, the only record of the master
// before the commit, stays until a later open has room, and the failure is the master's.
TEST_F(CommitJournalTest, AJournalThatCannotBeWrittenBackStaysForTheNextOpen) {
    ASSERT_TRUE(MasterCommitJournal::save(*left, *right, 1, 3));
    write(1, 20.0f);
    write(2, 30.0f);
    {
        test::FileSizeLimit limit(sizeof(KVEncodedGrain));  // record 0 only
        EXPECT_FALSE(MasterCommitJournal::rollBack(*left, *right));
    }
    EXPECT_TRUE(std::filesystem::exists(journal()));
    EXPECT_EQ(mark(1), 20.0f);
    EXPECT_EQ(left->writeFailure().title(), "Error writing data");
    EXPECT_EQ(countFailures("Error writing data"), 1);
    EXPECT_TRUE(MasterCommitJournal::rollBack(*left, *right));
    for (FramePos k = 0; k < 6; ++k) EXPECT_EQ(mark(k), float(k + 1)) << k;
    EXPECT_FALSE(std::filesystem::exists(journal()));
}

}  // namespace
}  // namespace orvex
