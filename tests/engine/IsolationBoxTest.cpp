// Box tools on a short analysed signal: each changes only the frames and bins of its box, undo
// brings back every frame it changed, and the background box leaves the harmonic bins alone.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "AnalysedSignal.h"
#include "common/Pitch.h"
#include "engine/KVIsolationOperations.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

constexpr std::int64_t kFrames = 44100 / 4;  // 86 analysis frames
constexpr float kBinHz = 44100.0f / 16384.0f;

using Records = std::vector<std::unique_ptr<FrameRecord>>;

class IsolationBoxTest : public test::SharedAnalysisTest {
protected:
    void SetUp() override {
        SharedAnalysisTest::SetUp();
        openSelection(kFrames);
        mOps->selectAll();
        ASSERT_EQ(mSelection->frameCount(), frames());
    }
    FrameCount frames() { return analysis().frameCount(); }

    // Every record of the selection, mix first, frame by frame.
    Records snapshot() {
        Records all;
        for (std::int32_t c = -1; c < 2; ++c)
            for (FramePos f = 0; f < frames(); ++f) {
                all.push_back(FrameRecord::create());
                if (mSelection->readFrameRecord(f, *all.back(), c) != 0) all.back()->size = 0;
            }
        return all;
    }
    const FrameRecord& at(const Records& all, std::int32_t c, FramePos f) { return *all[(c + 1) * frames() + f]; }
};

bool sameRecord(const FrameRecord& a, const FrameRecord& b) { return std::memcmp(&a, &b, sizeof(FrameRecord)) == 0; }
bool sameBin(const FrameRecord& a, const FrameRecord& b, int k) {
    return std::memcmp(&a.bins[k], &b.bins[k], sizeof(FrameBinCodes)) == 0;
}

struct BoxCase {
    AnalysisTool tool;
    SelectionMode mode;
    bool shift;
    bool bandByMeasuredFrequency;  // tools whose band test uses each bin's own frequency
};

// A box over frames 20..49 and pitches of 300..1200 Hz: the subtracting and band-limited
// shaping tools leave every record outside those frames and every bin outside that band
// byte-identical, and undo restores each changed frame exactly.
TEST_F(IsolationBoxTest, ToolsChangeOnlyTheirBoxAndUndoRestoresIt) {
    const float y = float(pitchOfHertz(300.0)), h = float(pitchOfHertz(1200.0)) - y;
    const BoxCase cases[] = {{AnalysisTool::box, SelectionMode::Subtract, false, false},
                             {AnalysisTool::denoiseBox, SelectionMode::Add, false, true},
                             {AnalysisTool::backgroundBox, SelectionMode::Subtract, false, false},
                             {AnalysisTool::backgroundBox, SelectionMode::Add, false, false},
                             {AnalysisTool::gapFillerBox, SelectionMode::Add, false, true},
                             {AnalysisTool::magicBox, SelectionMode::Add, false, true},
                             {AnalysisTool::magicBox, SelectionMode::Add, true, false},
                             {AnalysisTool::box, SelectionMode::Add, false, false},
                             {AnalysisTool::box, SelectionMode::Add, true, false}};
    const Records original = snapshot();
    for (const BoxCase& box : cases) {
        SCOPED_TRACE("tool " + std::to_string(int(box.tool)) + " mode " + std::to_string(int(box.mode)) +
                     (box.shift ? " shift" : ""));
        mSelection->beginUndoStep();
        mOps->boxTool(box.tool, box.mode, box.shift, 20.0f, y, 30.0f, h);
        mSelection->commitUndoStep();
        const Records after = snapshot();
        int changedFrames = 0;
        for (std::int32_t c = -1; c < 2; ++c)
            for (FramePos f = 0; f < frames(); ++f) {
                const FrameRecord& was = at(original, c, f);
                const FrameRecord& now = at(after, c, f);
                if (f < 20 || f >= 50) {
                    ASSERT_TRUE(sameRecord(was, now)) << "frame " << f << " channel " << c;
                    continue;
                }
                changedFrames += !sameRecord(was, now);
                // Where the scale of the record was kept, untouched bins keep their codes.
                if (was.magnitudeScale != now.magnitudeScale) continue;
                for (int k = 0; k < 8192; ++k) {
                    const float f0 = box.bandByMeasuredFrequency ? was.binFrequency(k) : float(k) * kBinHz;
                    const float f1 = box.bandByMeasuredFrequency ? now.binFrequency(k) : f0;
                    if ((f0 < 299.0f || f0 > 1201.0f) && (f1 < 299.0f || f1 > 1201.0f)) {
                        ASSERT_TRUE(sameBin(was, now, k)) << "frame " << f << " channel " << c << " bin " << k;
                    }
                }
            }
        EXPECT_GT(changedFrames, 20);
        ASSERT_TRUE(mSelection->undoLastStep());
        const Records undone = snapshot();
        for (std::size_t i = 0; i < undone.size(); ++i) ASSERT_TRUE(sameRecord(*undone[i], *original[i])) << i;
    }
}

TEST_F(IsolationBoxTest, DeselectEmptiesOrRestoresWholeFramesAndTheBackgroundBoxKeepsHarmonics) {
    mOps->boxTool(AnalysisTool::deselectBox, SelectionMode::Add, false, 10.0f, 0.0f, 5.0f, 1.0f);
    auto record = FrameRecord::create();
    for (std::int32_t c = -1; c < 2; ++c)
        for (FramePos f = 8; f < 17; ++f) {
            ASSERT_EQ(mSelection->readFrameRecord(f, *record, c), 0);
            EXPECT_EQ(record->valid != 0, f < 10 || f >= 15) << f;
        }
    mOps->boxTool(AnalysisTool::deselectBox, SelectionMode::Subtract, false, 10.0f, 0.0f, 5.0f, 1.0f);
    auto source = FrameRecord::create();
    for (FramePos f = 10; f < 15; ++f) {
        ASSERT_EQ(mSelection->readFrameRecord(f, *record, 1), 0);
        ASSERT_EQ(analysis().readFrameRecord(f, *source, 1), 0);
        EXPECT_TRUE(test::sameApartFromSampleRange(*record, *source));
    }

    // The background box in add mode fills the noise floor but leaves the tone's partials alone.
    const float low = float(pitchOfHertz(150.0)), high = float(pitchOfHertz(1500.0));
    mOps->boxTool(AnalysisTool::backgroundBox, SelectionMode::Add, false, 20.0f, low, 40.0f, high - low);
    auto before = FrameRecord::create(), after = FrameRecord::create();
    int keptPartials = 0, changedNoise = 0;
    for (FramePos f = 30; f < 50; ++f) {
        ASSERT_EQ(analysis().readFrameRecord(f, *before, 0), 0);
        ASSERT_EQ(mSelection->readFrameRecord(f, *after, 0), 0);
        const std::vector<float> was = before->decodeMagnitudes(), now = after->decodeMagnitudes();
        for (int h = 1; h <= 5; ++h) {
            const int centre = int(std::lround(220.0 * h / 2.6916504));
            const int top = int(std::max_element(was.begin() + centre - 3, was.begin() + centre + 4) - was.begin());
            keptPartials += std::fabs(now[top] - was[top]) <= 1e-3f * was[top];
        }
        for (int k = 130; k < 540; k += 7)  // between partials: noise bins
            changedNoise += std::fabs(now[k] - was[k]) > 1e-3f * (was[k] + 1e-3f);
    }
    EXPECT_EQ(keptPartials, 20 * 5);
    EXPECT_GT(changedNoise, 20 * 30);
}

}  // namespace
}  // namespace orvex
