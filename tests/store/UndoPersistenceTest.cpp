// The undo steps of a file set survive closing and reopening it: a later open can undo the
// last, once, and a damaged copy file restores what it can without harm.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "store/StoreRecords.h"

namespace orvex {
namespace {

using test::fileBytes;
using test::fileSize;
using test::partialsRecord;

constexpr std::size_t kRecord = sizeof(FrameRecord);
const std::vector<std::string> kChunks = {"ovw", "0", "1"};

class UndoPersistenceTest : public test::FileSetFixture {
protected:
    // Frames 0..5 of every chunk hold records tagged by chunk and frame.
    std::unique_ptr<KVAnalysisFileSet> openWithFrames(int channels, const std::string& name = "take") {
        auto set = open(channels, true, true, name);
        for (int f = 0; f < 6; ++f)
            for (int c = -1; c < channels; ++c) set->writeFrameRecord(*partialsRecord(10 * (c + 2) + f), f, c);
        return set;
    }
};

// A process that dies inside a step (the set is dropped without its commit) leaves the
// selection as it was before the step once the set is opened again; a committed step stays.
TEST_F(UndoPersistenceTest, AnInterruptedStepIsRolledBackOnOpen) {
    const std::string marker = temp().file("take.analysis/take_open-step.noindex");
    for (const bool commit : {false, true}) {
        std::vector<std::vector<char>> before, after;
        {
            auto set = openWithFrames(2);
            for (const auto& chunk : kChunks) before.push_back(fileBytes(data(chunk, ".ana.noindex")));
            set->beginUndoStep();
            EXPECT_TRUE(std::filesystem::exists(marker));
            for (int c = -1; c < 2; ++c) set->writeFrameRecord(*partialsRecord(90 + c), 2, c);
            if (commit) set->commitUndoStep();
            for (const auto& chunk : kChunks) after.push_back(fileBytes(data(chunk, ".ana.noindex")));
        }
        auto set = open(2);
        EXPECT_EQ(set->rolledBackInterruptedStep(), !commit);
        EXPECT_FALSE(std::filesystem::exists(marker));
        for (std::size_t i = 0; i < kChunks.size(); ++i)
            EXPECT_EQ(fileBytes(data(kChunks[i], ".ana.noindex")), commit ? after[i] : before[i])
                << commit << " " << kChunks[i];
    }
}

// The step rewrites frames and adds frame 8 past the end: a reopened set undoes all of it once,
// records and their grains as before and the added frame empty. An interrupted run left a
// record of foreign bytes and half a record behind the overview's copies of the step: only
// whole copies are restored.
TEST_F(UndoPersistenceTest, AReopenedSetUndoesTheLastStepOnceAndOnlyWholeCopies) {
    std::vector<std::vector<char>> before, grainsBefore;
    {
        auto set = openWithFrames(2);
        for (const auto& chunk : kChunks) {
            before.push_back(fileBytes(data(chunk, ".ana.noindex")));
            grainsBefore.push_back(fileBytes(data(chunk, ".asp.noindex")));
        }
        set->beginUndoStep();
        for (int c = -1; c < 2; ++c) {
            set->writeFrameRecord(*partialsRecord(90), 1, c);
            set->writeFrameRecord(*partialsRecord(91), 8, c);
            set->writeFrameRecord(*partialsRecord(92), 1, c);
        }
        set->commitUndoStep();
    }
    {
        std::ofstream copies(data("ovw", ".step-1.noindex"), std::ios::binary | std::ios::app);
        const std::vector<char> junk(kRecord + kRecord / 2, '\x7f');
        copies.write(junk.data(), std::streamsize(junk.size()));
    }
    const auto startsWith = [](const std::vector<char>& whole, const std::vector<char>& start) {
        return whole.size() >= start.size() && std::equal(start.begin(), start.end(), whole.begin());
    };
    {
        auto set = open(2);
        ASSERT_TRUE(set->undoLastStep());
        auto added = FrameRecord::create();
        for (std::size_t i = 0; i < kChunks.size(); ++i) {
            EXPECT_EQ(fileSize(data(kChunks[i], ".ana.noindex")), 9 * kRecord) << kChunks[i];
            EXPECT_TRUE(startsWith(fileBytes(data(kChunks[i], ".ana.noindex")), before[i])) << kChunks[i];
            EXPECT_TRUE(startsWith(fileBytes(data(kChunks[i], ".asp.noindex")), grainsBefore[i])) << kChunks[i];
            EXPECT_EQ(fileSize(data(kChunks[i], ".undo.noindex")), 0u) << kChunks[i];
            ASSERT_EQ(set->readFrameRecord(8, *added, int(i) - 1), 0);
            EXPECT_TRUE(test::sameBytes(added.get(), FrameRecord::create().get(), kRecord)) << kChunks[i];
        }
    }
    auto set = open(2);
    EXPECT_EQ(set->undoLastStep().title(), "No data to undo");
    EXPECT_TRUE(startsWith(fileBytes(data("ovw", ".ana.noindex")), before[0]));
}

// Inside a step the writes of a chunk are gathered into blocks: every stored file (records,
// grains, display records, the step's copies) ends with the bytes that writing frame by frame
// outside a step leaves (its copies in the undo file), whatever the order of the frames.
TEST_F(UndoPersistenceTest, GatheredWritesOfAStepStoreWhatFrameByFrameWritesStore) {
    const std::vector<std::vector<int>> patterns = {
        {0, 1, 2, 3, 4, 5},
        {2, 2, 3},
        {5, 4, 3},
        {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23},
        {1, 2, 3, 10, 11, 3, 4}};
    const std::vector<std::string> suffixes = {".ana.noindex", ".asp.noindex", ".undo.noindex", ".dsp.noindex",
                                               ".trk.noindex", ".cdx.noindex"};
    for (std::size_t p = 0; p < patterns.size(); ++p) {
        const std::string gathered = "g" + std::to_string(p), direct = "d" + std::to_string(p);
        std::vector<std::unique_ptr<KVAnalysisFileSet>> sets;
        for (const std::string& name : {gathered, direct}) {
            sets.push_back(openWithFrames(2, name));
            sets.back()->beginUndoStep();  // empties the undo file of the frames above
            if (name == direct) sets.back()->commitUndoStep();
        }
        int tag = 50;
        for (const int frame : patterns[p])
            for (int c = -1; c < 2; ++c, ++tag)
                for (auto& set : sets) set->writeFrameRecord(*partialsRecord(tag), frame, c);
        sets[0]->commitUndoStep();
        for (const std::string& chunk : kChunks)
            for (const std::string& suffix : suffixes) {
                const auto file = [&](const std::string& name, const std::string& kind) {
                    return temp().file(name + ".analysis/" + name + "_" + chunk + kind);
                };
                const bool copies = suffix == ".undo.noindex";
                EXPECT_EQ(fileBytes(file(gathered, copies ? ".step-1.noindex" : suffix)), fileBytes(file(direct, suffix)))
                    << "pattern " << p << " " << chunk << suffix;
            }
    }
}

}  // namespace
}  // namespace orvex
