#include <cmath>

#include <gtest/gtest.h>

#include "gesture/ToolOverlay.h"

namespace orvex {
namespace {

TEST(ToolOverlayTest, LabelsNameWhatEachBoxDoes) {
    struct Case {
        AnalysisTool tool;
        int mode;
        bool shift;
        const char* label;
    };
    for (const Case c : {Case{AnalysisTool::box, 0, true, "increase sel. gain (6dB)"},
                         {AnalysisTool::box, 0, false, "add orig to sel. (6dB)"},
                         {AnalysisTool::box, 1, true, "reduce sel. gain (6dB)"},
                         {AnalysisTool::denoiseBox, 1, false, "red. noise in sel. (6dB)"},
                         {AnalysisTool::backgroundBox, 0, false, "remove transients from sel."},
                         {AnalysisTool::backgroundBox, 1, false, "remove sustained from sel."},
                         {AnalysisTool::gapFillerBox, 0, true, "fill with background"},
                         {AnalysisTool::magicBox, 0, true, "mask FG & interpolate BG in sel. (6dB)"},
                         {AnalysisTool::magicBox, 1, false, "interpolate selection"},
                         {AnalysisTool::deselectBox, 0, false, "de-select all"},
                         {AnalysisTool::deselectBox, 1, false, "select all"}}) {
        const BoxOverlay overlay = ToolOverlay::box(c.tool, c.mode, c.shift, {200, 430, -100, -30}, 1500, 800);
        EXPECT_EQ(overlay.label, c.label);
    }
    EXPECT_EQ(ToolOverlay::box(AnalysisTool::box, 0, false, {200, 430, 0, -30}, 1500, 800).label, "");
}

TEST(ToolOverlayTest, ShapesSitOnTheNormalisedRectangle) {
    const GestureRect dragged{200, 430, -100, -30};
    BoxOverlay o = ToolOverlay::box(AnalysisTool::backgroundBox, 0, false, dragged, 1500, 800);
    EXPECT_EQ(o.labelAt, (OverlayPoint{102, 432}));
    EXPECT_TRUE(o.closedLines);
    EXPECT_EQ(o.lines, (std::vector<OverlayPoint>{{150, 401}, {199, 415}, {150, 429}, {101, 415}}));
    o = ToolOverlay::box(AnalysisTool::magicBox, 0, false, dragged, 1500, 800);
    EXPECT_FALSE(o.closedLines);
    EXPECT_EQ(o.lines, (std::vector<OverlayPoint>{{101, 401}, {199, 415}, {101, 429}}));
    o = ToolOverlay::box(AnalysisTool::deselectBox, 0, false, dragged, 1500, 800);
    EXPECT_EQ(o.fill, (GestureRect{200, 0, -100, 1500}));
    EXPECT_EQ(o.labelAt, (OverlayPoint{152, 402}));
    EXPECT_EQ(ToolOverlay::stripRange({300, 20, -100, 5}), (GestureRect{202, 4, 96, 45}));
}

TEST(ToolOverlayTest, CrossesMarkTheChosenHarmonicsOfThePitchUnderTheMouse) {
    // Rows of k x 440 Hz from 6 x (12 log2 k + 69): k = 2 is 486, 3 is 528.1, 4 is 558, 5 is 581.2.
    std::vector<HarmonicCross> crosses = ToolOverlay::harmonicCrosses(AnalysisTool::multiPencil, 50, 440.0);
    ASSERT_EQ(crosses.size(), 4u);
    const double rows[] = {486, 528, 558, 581}, sizes[] = {11, 9, 7, 5};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(crosses[i].horizontal, (GestureRect{50 - (sizes[i] - 1) / 2, rows[i], sizes[i], 1}));
        EXPECT_EQ(crosses[i].vertical, (GestureRect{50, rows[i] - (sizes[i] - 1) / 2, 1, sizes[i]}));
    }
    // F1: 0.5 x 440 is 342, 1.5 x 440 is 456.1.
    crosses = ToolOverlay::harmonicCrosses(AnalysisTool::f1Pencil, 50, 440.0);
    ASSERT_EQ(crosses.size(), 4u);
    EXPECT_EQ(crosses[0].horizontal.y, 342);
    EXPECT_EQ(crosses[1].horizontal.y, 456);
    EXPECT_TRUE(ToolOverlay::harmonicCrosses(AnalysisTool::singlePencil, 50, 440.0).empty());
}

}  // namespace
}  // namespace orvex
