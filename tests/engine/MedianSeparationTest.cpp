// The median separator on the shared tone + clicks analysis: each part keeps its own sound at
// its level and leaves the other out, and the two parts add up to the analysis.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "AnalysedSignal.h"
#include "engine/KVIsolationOperations.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex {
namespace {

constexpr std::int64_t kFrames = 88200;  // 2 s

class MedianSeparationTest : public test::SharedAnalysisTest {
protected:
    void SetUp() override {
        SharedAnalysisTest::SetUp();
        openSelection(kFrames);
    }

    // The signal's samples at positions of the segment, silence outside it.
    KVMedianMask::AudioReader reader() const {
        const test::Channels& mix = mShared->signal.mix;
        return [&mix](FramePos position, FrameCount length, float* const* buffers) {
            for (std::size_t c = 0; c < mix.size(); ++c)
                for (FrameCount i = 0; i < length; ++i) {
                    const FramePos t = position + i;
                    buffers[c][i] = t >= 0 && t < FramePos(mix[c].size()) ? mix[c][std::size_t(t)] : 0.0f;
                }
        };
    }

    void separate(bool transients) {
        mSelection->setFrameCount(0);
        mOps->separateByMedian(transients, KVMedianSettings{}, reader(), 2);
        ASSERT_EQ(mSelection->frameCount(), analysis().frameCount());
    }

    // Energy of channel 0 over the frames and bins given, in the selection and in the analysis.
    template <typename Frames, typename Bins>
    double keptDb(Frames frames, Bins bins) {
        double kept = 0.0, whole = 0.0;
        auto record = FrameRecord::create();
        for (FramePos f = 0; f < analysis().frameCount(); ++f) {
            if (!frames(f)) continue;
            for (auto [set, sum] : {std::pair{mSelection.get(), &kept}, std::pair{&analysis(), &whole}}) {
                if (set->readFrameRecord(f, *record, 0) != 0) continue;
                const std::vector<float> m = record->decodeMagnitudes();
                for (int k = 0; k < int(m.size()); ++k)
                    if (bins(k)) *sum += double(m[k]) * m[k];
            }
        }
        return 10.0 * std::log10(kept / whole);
    }

    // Frames whose window centre lies within reach samples of a click.
    bool nearClick(FramePos f, double reach) const {
        const double centre = double((f + 1) * kAnalysisHop) - 2048.0;
        return std::any_of(mShared->signal.clickPositions.begin(), mShared->signal.clickPositions.end(),
                           [&](std::int64_t c) { return std::abs(centre - double(c)) < reach; });
    }
};

// Bins within 8 bins (22 Hz) of one of the tone's five partials, and bins above 3 kHz where
// only the clicks (which alternate sign sample by sample) have energy.
bool partialBin(int k) {
    const double hz = k * kWorkingSampleRate / 16384.0;
    const double nearest = std::clamp(std::round(hz / 220.0), 1.0, 5.0);
    return std::abs(hz - nearest * 220.0) < 22.0;
}
bool clickBin(int k) { return k * kWorkingSampleRate / 16384.0 > 3000.0; }

TEST_F(MedianSeparationTest, EachPartKeepsItsSoundAndLeavesTheOtherOut) {
    const auto steady = [this](FramePos f) { return f > 40 && !nearClick(f, 6000.0); };
    const auto click = [this](FramePos f) { return nearClick(f, 1024.0); };
    separate(false);
    const double toneKept = keptDb(steady, partialBin), clickInSustained = keptDb(click, clickBin);
    separate(true);
    const double clickKept = keptDb(click, clickBin), toneInTransients = keptDb(steady, partialBin);
    RecordProperty("tone_kept_db", std::to_string(toneKept));
    RecordProperty("click_kept_db", std::to_string(clickKept));
    EXPECT_GT(toneKept, -1.0);
    EXPECT_GT(clickKept, -1.0);
    EXPECT_LT(toneInTransients, -20.0);
    EXPECT_LT(clickInSustained, -20.0);
}

// Rendered, the two parts add up to the rendered analysis to within -60 dB of its level.
TEST_F(MedianSeparationTest, ThePartsAddUpToTheAnalysis) {
    const std::vector<float> whole = test::renderChannel(analysis(), 1, kFrames);
    separate(false);
    std::vector<float> sum = test::renderChannel(*mSelection, 1, kFrames);
    separate(true);
    const std::vector<float> transients = test::renderChannel(*mSelection, 1, kFrames);
    double error = 0.0, level = 0.0;
    for (std::size_t t = 0; t < whole.size(); ++t) {
        error += std::pow(double(sum[t]) + transients[t] - whole[t], 2.0);
        level += double(whole[t]) * whole[t];
    }
    const double residualDb = 10.0 * std::log10(error / level);
    RecordProperty("residual_db", std::to_string(residualDb));
    EXPECT_LT(residualDb, -60.0);
}

}  // namespace
}  // namespace orvex
