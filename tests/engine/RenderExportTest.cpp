#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "AnalysedSignal.h"
#include "engine/KVSegmentExporter.h"
#include "engine/KVSelectionPlaySource.h"
#include "platform/HeadlessPlatform.h"
#include "support/Signals.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 44100;

// Normalised cross-correlation of a and b at lag (b delayed by lag against a).
double correlationAt(const std::vector<float>& a, const std::vector<float>& b, int lag) {
    double sum = 0.0, ea = 0.0, eb = 0.0;
    for (std::size_t i = 8192; i + 8192 < a.size(); ++i) {
        const std::int64_t j = std::int64_t(i) + lag;
        if (j < 0 || j >= std::int64_t(b.size())) continue;
        sum += double(a[i]) * b[std::size_t(j)];
        ea += double(a[i]) * a[i];
        eb += double(b[std::size_t(j)]) * b[std::size_t(j)];
    }
    return sum / std::sqrt(ea * eb + 1e-30);
}

class RenderExportTest : public test::SharedAnalysisTest {
protected:
    void SetUp() override {
        SharedAnalysisTest::SetUp();
        openSelection(kFrames);
        mOps->selectAll();
    }
    std::recursive_mutex mLock;
    std::atomic<bool> mStop{false};
};

TEST_F(RenderExportTest, UneditedSelectionExportsTheSegmentSampleAlignedAndNoLonger) {
    const std::string out = temp().file("segment.wav");
    KVSegmentExporter exporter(*mSelection, kFrames, mLock);
    int lastPercent = -1;
    ASSERT_EQ(exporter.exportSelectionToPath(out, {}, mStop, [&](int p) { lastPercent = p; }),
              KVSegmentExporter::Outcome::Written);
    EXPECT_EQ(lastPercent, 100);
    int rate = 0;
    const test::Channels exported = test::readSound(out, &rate);
    ASSERT_EQ(exported.size(), 2u);
    EXPECT_EQ(rate, 44100);
    for (int c = 0; c < 2; ++c) {
        const std::vector<float>& source = mShared->signal.mix[std::size_t(c)];
        ASSERT_EQ(std::int64_t(exported[std::size_t(c)].size()), kFrames);
        int best = 0;
        double bestValue = -2.0;
        for (int lag = -300; lag <= 300; ++lag) {
            const double value = correlationAt(source, exported[std::size_t(c)], lag);
            if (value > bestValue) bestValue = value, best = lag;
        }
        EXPECT_EQ(best, 0) << "channel " << c;
        EXPECT_GT(bestValue, 0.95) << "channel " << c;
    }
    EXPECT_FALSE(fs::exists(temp().file(".segment.wav.partial-" + std::to_string(::getpid()))));
}

TEST_F(RenderExportTest, FailedExportLeavesNoFileAndExistingTargetUntouched) {
    KVSegmentExporter exporter(*mSelection, kFrames, mLock);
    EXPECT_EQ(exporter.exportSelectionToPath(temp().file("missing/segment.wav"), {}, mStop, {}),
              KVSegmentExporter::Outcome::CannotCreate);
    EXPECT_FALSE(fs::exists(temp().file("missing")));
    EXPECT_EQ(KVExportWriter::resultOf(KVSegmentExporter::Outcome::CannotCreate, "x").title(), "Error creating file");
}

TEST_F(RenderExportTest, PlaySourceFollowsSelectionAudioAndPlayOriginal) {
    std::atomic<bool> playOriginal{false};
    auto empty = test::openEmptyFileSet(temp().file("other-selection.analysis"), 2);
    KVSelectionPlaySource withoutSelection(analysis(), empty.get(), playOriginal);
    EXPECT_EQ(&withoutSelection.source(), &analysis());
    KVSelectionPlaySource source(analysis(), mSelection.get(), playOriginal);
    mSelection->frameCount();
    EXPECT_EQ(&source.source(), mSelection.get());
    playOriginal = true;
    EXPECT_EQ(&source.source(), &analysis());
    playOriginal = false;
    // The selected audio played from the start follows the signal (one grain of lead-in).
    std::vector<float> left(kFrames), right(kFrames);
    source.setPlayPosition(0);
    for (std::int64_t at = 0; at + 512 <= kFrames; at += 512) {
        float* block[2] = {left.data() + at, right.data() + at};
        source.readPlayFrames(512, block);
    }
    const std::vector<float>& tone = mShared->signal.mix[1];
    EXPECT_GT(correlationAt(tone, right, 4096), 0.9);
}

}  // namespace
}  // namespace orvex
