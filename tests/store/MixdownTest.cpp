// The master output store: layout, the placeholder record and the prefill that cuts the
// working file into grains without touching committed edits (the rebuild of an incompatible
// store is shown through the output controller's tests).

#include <gtest/gtest.h>

#include <algorithm>

#include "store/KVAnalysisPaths.h"
#include "store/KVMixdownStore.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

using test::constantGrain;

class MixdownTest : public test::PlatformFixture {
protected:
    std::string sound() { return temp().file("mix.wav"); }
    std::string leftData() { return temp().file("mix.analysis/mix-collection.analysis/mxl.asp.noindex"); }
    std::string rightData() { return temp().file("mix.analysis/mix-collection.analysis/mxr.asp.noindex"); }
};

TEST_F(MixdownTest, OpeningLaysOutBothCollectionsWithAPlaceholder) {
    auto mixdown = KVMixdownStore::openMixdownForFileAtPath(sound(), 10);
    ASSERT_TRUE(mixdown.left && mixdown.right);
    EXPECT_EQ(mixdown.left->filePath(), leftData());
    EXPECT_EQ(mixdown.right->filePath(), rightData());
    EXPECT_EQ(test::fileSize(leftData()), 11u * 8208u);
    EXPECT_EQ(test::fileSize(rightData()), 11u * 8208u);
    const std::vector<char> bytes = test::fileBytes(leftData());
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char b) { return b == 0; }));
    EXPECT_TRUE(failures().empty());
}

TEST_F(MixdownTest, PrefillLeavesCommittedEditsAlone) {
    auto mixdown = KVMixdownStore::openMixdownForFileAtPath(sound(), 4);
    mixdown.left->writeRecord(constantGrain(0.5f), 1);
    mixdown.right->writeRecord(constantGrain(-0.5f), 1);
    std::vector<float> source(KVEncodedGrain::kSampleCount, 0.2f);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(KVMixdownStore::prefillRecord(*mixdown.left, *mixdown.right, source.data(), source.data(), k), k != 1) << k;
    KVEncodedGrain left[3], right[3];
    mixdown.left->readRecords(left, 0, 3);
    mixdown.right->readRecords(right, 0, 3);
    EXPECT_EQ(left[1].maximum, 0.5f);
    EXPECT_EQ(right[1].minimum, -0.5f);
    EXPECT_EQ(left[0].marker, KVEncodedGrain::kPrefillMarker);
    EXPECT_EQ(right[0].marker, 0.0f);
    EXPECT_FLOAT_EQ(right[2].maximum, 0.2f);
    // A prefilled record may be prefilled again (its maximum is below the threshold only when
    // the source is that quiet), a record of 0.0005 counts as unedited.
    mixdown.left->writeRecord(constantGrain(0.0005f), 3);
    EXPECT_TRUE(KVMixdownStore::prefillRecord(*mixdown.left, *mixdown.right, source.data(), source.data(), 3));
}

}  // namespace
}  // namespace orvex
