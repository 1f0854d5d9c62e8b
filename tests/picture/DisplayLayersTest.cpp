#include <memory>

#include <gtest/gtest.h>

#include "dsp/FrameRecord.h"
#include "engine/AnalysedSignal.h"
#include "picture/DisplayLayers.h"

namespace orvex::test {
namespace {

using display::CellRange;
using display::ColumnRange;

// 0.5 s of 440 + 880 Hz in both channels, analysed; frames 30 .. 59 copied into the selection.
class DisplayLayersTest : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        std::vector<float> tone = sine(440.0, 44100.0, 22050, 0.3);
        mixInto(tone, sine(880.0, 44100.0, 22050, 0.2));
        mAnalysis = analyseIntoFileSet(temp().file("tone.wav"), {tone, tone}, false);
        mSelection = openEmptyFileSet(temp().file("tone-selection.analysis"), 2);
        ASSERT_TRUE(mAnalysis && mSelection);
        auto record = FrameRecord::create();
        for (FramePos f = 30; f < 60; ++f)
            for (std::int32_t c = -1; c < 2; ++c) {
                ASSERT_EQ(mAnalysis->readFrameRecord(f, *record, c), 0);
                mSelection->writeFrameRecord(*record, f, c);
            }
    }
    std::int64_t build(DisplayLayers& layers, FramePos first, std::int64_t count, LayerSettings settings = {}) {
        return layers.build(mAnalysis.get(), mSelection.get(), {first, count}, CellRange{0, 1499}, settings);
    }
    static void expectSame(const DisplayBitmap& a, const DisplayBitmap& b) {
        ASSERT_EQ(a.width(), b.width());
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                ASSERT_EQ(a.pixel(x, y), b.pixel(x, y)) << "at " << x << ", " << y;
    }
    static int brightness(std::uint32_t p) { return DisplayBitmap::red(p) + DisplayBitmap::green(p) + DisplayBitmap::blue(p); }

    std::unique_ptr<KVAnalysisFileSet> mAnalysis, mSelection;
};

TEST_F(DisplayLayersTest, TonesLightTheirRowsTheSelectionShowsInRedAndColumnsPastTheEndAreBlank) {
    DisplayLayers layers;
    EXPECT_EQ(build(layers, 0, 120), 120);
    const int row440 = display::bitmapRowOfCell(414), row880 = display::bitmapRowOfCell(486);
    const int between = display::bitmapRowOfCell(450);
    const DisplayBitmap& original = layers.original();
    EXPECT_GT(brightness(original.pixel(80, row440)), 3 * brightness(original.pixel(80, between)) + 60);
    EXPECT_GT(brightness(original.pixel(80, row880)), 3 * brightness(original.pixel(80, between)) + 60);
    // Selected frames 30 .. 59 are red where the tone is and transparent elsewhere; others transparent.
    const DisplayBitmap& selection = layers.selection();
    EXPECT_GT(DisplayBitmap::red(selection.pixel(45, row440)), 100);
    EXPECT_EQ(DisplayBitmap::alpha(selection.pixel(45, row440)), 255);
    EXPECT_EQ(DisplayBitmap::green(selection.pixel(45, row440)), 0);
    EXPECT_EQ(selection.pixel(80, row440), 0u);
    // The strip: the white outline at view row 1 and the green selection mark at row 53.
    EXPECT_EQ(original.pixel(80, display::bitmapRowOfCell(1)), DisplayBitmap::opaque(255, 255, 255));
    EXPECT_EQ(original.pixel(45, display::bitmapRowOfCell(53)), DisplayBitmap::opaque(0, 255, 128));
    EXPECT_NE(original.pixel(80, display::bitmapRowOfCell(53)), DisplayBitmap::opaque(0, 255, 128));

    // Columns past the analysis are blank.
    DisplayLayers past;
    build(past, mAnalysis->frameCount() - 10, 40);
    EXPECT_EQ(DisplayBitmap::alpha(past.original().pixel(5, row440)), 255);
    EXPECT_EQ(past.original().pixel(20, row440), DisplayBitmap::opaque(0, 0, 0));
    EXPECT_EQ(past.original().pixel(30, display::bitmapRowOfCell(700)), DisplayBitmap::opaque(0, 0, 0));
    // Hidden analysis: the selection layer in colour, the original layer transparent above the strip.
    build(past, 0, 40, {.showOriginal = false});
    EXPECT_EQ(past.original().pixel(35, row440), 0u);
    EXPECT_GT(brightness(past.selection().pixel(35, row440)), 100);
}

TEST_F(DisplayLayersTest, ScrollingReadsOnlyUncoveredColumnsAndDrawsWhatAFullBuildDraws) {
    struct Step {
        FramePos first;
        std::int64_t read;
    };
    DisplayLayers scrolled;
    build(scrolled, 20, 64);
    // Right, left, none, and a jump past the held window.
    for (const Step step : {Step{35, 15}, Step{10, 25}, Step{10, 0}, Step{100, 64}}) {
        EXPECT_EQ(build(scrolled, step.first, 64), step.read) << step.first;
        DisplayLayers fresh;
        build(fresh, step.first, 64);
        expectSame(scrolled.original(), fresh.original());
        expectSame(scrolled.selection(), fresh.selection());
    }
    // Any other change of settings builds everything.
    EXPECT_EQ(build(scrolled, 101, 64, {.showOriginal = false}), 64);
    scrolled.invalidate();
    EXPECT_EQ(build(scrolled, 101, 64, {.showOriginal = false}), 64);
}

}  // namespace
}  // namespace orvex::test
