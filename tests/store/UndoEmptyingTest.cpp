// A new undo step starts from an empty undo file even when the last step left copies in it:
// a process that dies inside the second step rolls back to the state after the first step,
// never further, and the folder holds no file beyond the store's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <vector>

#include "store/KVAnalysisFileSet.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

using test::fileBytes;
using test::partialsRecord;

class UndoEmptyingTest : public test::PlatformFixture {
protected:
    std::unique_ptr<KVAnalysisFileSet> open(bool recreate) {
        return KVAnalysisFileSet::initByOpeningFileAtPath(temp().file("take.wav"), 44100.0, 4, 4096, 32, 1, true,
                                                          recreate);
    }
    std::string records(const std::string& chunk) {
        return temp().file("take.analysis/take_" + chunk + ".ana.noindex");
    }
    // One step that writes tag into frames 0..3 of every chunk.
    static void step(KVAnalysisFileSet& set, int tag, bool commit) {
        set.beginUndoStep();
        for (int f = 0; f < 4; ++f)
            for (int c = -1; c < 1; ++c) set.writeFrameRecord(*partialsRecord(tag + f), f, c);
        if (commit) set.commitUndoStep();
    }
};

TEST_F(UndoEmptyingTest, AnInterruptedSecondStepRollsBackOnlyItself) {
    std::vector<std::vector<char>> afterFirst;
    {
        auto set = open(true);
        step(*set, 10, true);
        for (const char* chunk : {"ovw", "0"}) afterFirst.push_back(fileBytes(records(chunk)));
        step(*set, 50, false);  // dropped without its commit, like a killed process
    }
    auto set = open(false);
    EXPECT_TRUE(set->rolledBackInterruptedStep());
    EXPECT_EQ(fileBytes(records("ovw")), afterFirst[0]);
    EXPECT_EQ(fileBytes(records("0")), afterFirst[1]);
    set.reset();

    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp().file("take.analysis")))
        names.insert(entry.path().filename().string());
    for (const auto& name : names) EXPECT_EQ(name.find(".fresh"), std::string::npos) << name;
}

}  // namespace
}  // namespace orvex
