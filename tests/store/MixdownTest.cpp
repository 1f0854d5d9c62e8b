// The master output store: layout, the placeholder record, the compatibility check, and the
// prefill that cuts the working file into grains without touching committed edits.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "store/KVAnalysisPaths.h"
#include "store/KVMixdownStore.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

class MixdownTest : public test::PlatformFixture {
protected:
    std::string sound() { return temp().file("mix.wav"); }
    std::string leftData() { return temp().file("mix.analysis/mix-collection.analysis/mxl.asp.noindex"); }
    std::string rightData() { return temp().file("mix.analysis/mix-collection.analysis/mxr.asp.noindex"); }
    static KVEncodedGrain constantGrain(float value) {
        std::vector<float> samples(KVEncodedGrain::kSampleCount, value);
        KVEncodedGrain grain;
        grain.encode(samples.data());
        return grain;
    }
    static std::vector<float> stream(KVGrainCollection& c, FrameCount n) {
        std::vector<float> out(n);
        float* channels[1] = {out.data()};
        c.seekGrainRecord(0);
        c.readAudio(n, channels);
        return out;
    }
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
    EXPECT_TRUE(platform().alerts().empty());
}

TEST_F(MixdownTest, AnIncompatibleFolderStartsAfresh) {
    KVMixdownStore::openMixdownForFileAtPath(sound(), 20).left->writeRecord(constantGrain(0.5f), 3);
    PropertyList dict;
    dict.setInt("ORVXFileGroup_Version", 300);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(sound(), dict);
    auto mixdown = KVMixdownStore::openMixdownForFileAtPath(sound(), 5);
    ASSERT_EQ(platform().alerts().size(), 1u);
    EXPECT_EQ(platform().alerts()[0].title, "Incompatible Master File");
    EXPECT_EQ(mixdown.left->frameCount(), 6);  // the edit at record 3 is gone with the old file
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

// The prefilled mixdown streams back the working file, 4096 samples late, through the emphasis.
TEST_F(MixdownTest, PrefillReproducesTheWorkingFile) {
    const int frames = 60 * 128;
    const test::Channels channels = {test::sine(440.0, 44100.0, frames, 0.5), test::chirp(200.0, 3000.0, 44100.0, frames, 0.3)};
    test::writeWave(sound(), channels, 44100, 0);
    auto mixdown = KVMixdownStore::openMixdownForFileAtPath(sound(), frames / 128);
    std::recursive_mutex lock;
    ASSERT_EQ(KVMixdownStore::prefillMasterFiles(sound(), *mixdown.left, *mixdown.right, lock), frames / 128);
    const std::vector<float> left = stream(*mixdown.left, frames);
    const std::vector<float> right = stream(*mixdown.right, frames);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& out = c == 0 ? left : right;
        double worst = 0.0;
        for (int t = 8192; t < frames; ++t) {
            const double s = channels[c][t - 4096], prev = channels[c][t - 4097];
            worst = std::max(worst, std::fabs(out[t] - (1.25 * s - 0.25 * prev)));
        }
        EXPECT_LT(worst, 1e-3) << c;  // 24-bit file, 16-bit grains
    }
    std::atomic<bool> cancelled{true};
    EXPECT_EQ(KVMixdownStore::prefillMasterFiles(sound(), *mixdown.left, *mixdown.right, lock, &cancelled), 0);
    EXPECT_EQ(KVMixdownStore::prefillMasterFiles(temp().file("missing.wav"), *mixdown.left, *mixdown.right, lock), -1);
}

TEST_F(MixdownTest, AMonoFileFillsBothChannelsAlike) {
    test::writeWave(sound(), {test::noise(20 * 128, 0.5, 3)}, 44100, 0);
    auto mixdown = KVMixdownStore::recreateMixdownForFileAtPath(sound(), 20);
    std::recursive_mutex lock;
    KVMixdownStore::prefillMasterFiles(sound(), *mixdown.left, *mixdown.right, lock);
    EXPECT_EQ(test::fileBytes(leftData()).size(), 21u * 8208u);
    // Apart from the marker of the left records, both files hold the same bytes.
    std::vector<char> left = test::fileBytes(leftData()), right = test::fileBytes(rightData());
    for (std::size_t k = 0; k < 20; ++k) {
        std::memset(left.data() + k * 8208, 0, 4);
        std::memset(right.data() + k * 8208, 0, 4);
    }
    EXPECT_EQ(left, right);
}

}  // namespace
}  // namespace orvex
