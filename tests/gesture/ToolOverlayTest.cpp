#include <cmath>

#include <gtest/gtest.h>

#include "gesture/ToolOverlay.h"

namespace orvex {
namespace {

TEST(ToolOverlayTest, LabelsNameWhatEachBoxDoes) {
    struct Case {
        AnalysisTool tool;
        SelectionMode mode;
        bool shift;
        const char* label;
    };
    for (const Case c : {Case{AnalysisTool::box, SelectionMode::Add, true, "increase sel. gain (6dB)"},
                         {AnalysisTool::box, SelectionMode::Add, false, "add orig to sel. (6dB)"},
                         {AnalysisTool::box, SelectionMode::Subtract, true, "reduce sel. gain (6dB)"},
                         {AnalysisTool::denoiseBox, SelectionMode::Subtract, false, "red. noise in sel. (6dB)"},
                         {AnalysisTool::backgroundBox, SelectionMode::Add, false, "remove transients from sel."},
                         {AnalysisTool::backgroundBox, SelectionMode::Subtract, false, "remove sustained from sel."},
                         {AnalysisTool::gapFillerBox, SelectionMode::Add, true, "fill with background"},
                         {AnalysisTool::magicBox, SelectionMode::Add, true, "mask FG & interpolate BG in sel. (6dB)"},
                         {AnalysisTool::magicBox, SelectionMode::Subtract, false, "interpolate selection"},
                         {AnalysisTool::deselectBox, SelectionMode::Add, false, "de-select all"},
                         {AnalysisTool::deselectBox, SelectionMode::Subtract, false, "select all"}}) {
        const BoxOverlay overlay = ToolOverlay::box(c.tool, c.mode, c.shift, {200, 430, -100, -30}, 1500, 800);
        EXPECT_EQ(overlay.label, c.label);
    }
    EXPECT_EQ(ToolOverlay::box(AnalysisTool::box, SelectionMode::Add, false, {200, 430, 0, -30}, 1500, 800).label, "");
}

TEST(ToolOverlayTest, ShapesSitOnTheNormalisedRectangle) {
    const GestureRect dragged{200, 430, -100, -30};
    BoxOverlay o = ToolOverlay::box(AnalysisTool::backgroundBox, SelectionMode::Add, false, dragged, 1500, 800);
    EXPECT_EQ(o.labelAt, (OverlayPoint{102, 432}));
    EXPECT_TRUE(o.closedLines);
    EXPECT_EQ(o.lines, (std::vector<OverlayPoint>{{150, 401}, {199, 415}, {150, 429}, {101, 415}}));
    o = ToolOverlay::box(AnalysisTool::magicBox, SelectionMode::Add, false, dragged, 1500, 800);
    EXPECT_FALSE(o.closedLines);
    EXPECT_EQ(o.lines, (std::vector<OverlayPoint>{{101, 401}, {199, 415}, {101, 429}}));
    o = ToolOverlay::box(AnalysisTool::deselectBox, SelectionMode::Add, false, dragged, 1500, 800);
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
