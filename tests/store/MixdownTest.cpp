// The master output store's layout and its placeholder record (the prefill that spares
// committed edits and the rebuild of an incompatible store are shown through the output
// controller's tests).

#include <gtest/gtest.h>

#include <algorithm>

#include "store/KVAnalysisPaths.h"
#include "store/KVMixdownStore.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

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

}  // namespace
}  // namespace orvex
