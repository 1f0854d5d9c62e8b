#include <cmath>

#include <gtest/gtest.h>

#include "picture/DisplayGeometry.h"
#include "picture/LayerPixels.h"

namespace orvex {
namespace {

using namespace display;

TEST(DisplayGeometryTest, RowsOfFrequenciesFollowSixRowsPerSemitone) {
    struct Case {
        double hz;
        int row;
    };
    // 440 Hz is MIDI note 69, row 414; the others worked out from 6 x (12 log2(f / 440) + 69).
    for (const Case c : {Case{440.0, 414}, {880.0, 486}, {1000.0, 499}, {22050.0, 820}, {20.0, 92}, {0.0, 0},
                         {-3.0, 0}, {5.0, 0}})
        EXPECT_EQ(rowOfFrequency(c.hz), c.row) << c.hz;
    EXPECT_NEAR(frequencyOfHeight(414.0), 440.0, 1e-4);
    EXPECT_NEAR(frequencyOfHeight(486.0), 880.0, 2e-4);
}

TEST(DisplayGeometryTest, EveryCellAndVisibleRowStaysInsideThePicture) {
    // Cell r is the row r above the bottom row: cell 0 lands in the last bitmap row, not past it.
    EXPECT_EQ(bitmapRowOfCell(0), 1499);
    EXPECT_EQ(bitmapRowOfCell(1499), 0);
    EXPECT_EQ(bitmapRowOfCell(1500), 0);
    EXPECT_EQ(bitmapRowOfCell(-1), 1499);
    // A window showing the whole height reached row 1500 before the clamp.
    EXPECT_EQ(visibleCells(0.0, 1500.0), (CellRange{0, 1499}));
    EXPECT_EQ(visibleCells(10.7, 20.2), (CellRange{10, 30}));
    EXPECT_EQ(visibleCells(-4.0, 2000.0), (CellRange{0, 1499}));
}

TEST(DisplayGeometryTest, TheWindowHoldsVisibleWidthPlusOneColumnsOfAVirtualWidth) {
    // 900 s is about 310 000 columns; the window never depends on it.
    EXPECT_EQ(virtualWidth(310078, 1600), 310078);
    EXPECT_EQ(virtualWidth(100, 1600), 1600);
    EXPECT_EQ(visibleColumns(250000.7, 1600.0), (ColumnRange{250000, 1601}));
    EXPECT_EQ(columnOfSample(44100), 344);
    EXPECT_EQ(sampleOfColumn(344), 44032);
}

TEST(DisplayGeometryTest, LayerPixelsScaleByContrastAndShowTheSelectionInRed) {
    const auto cell = [](std::uint8_t r, std::uint8_t g, std::uint8_t b) { return DisplayColumnRow{r, g, b, 255, {}}; };
    EXPECT_EQ(LayerPixels(LayerPixels::Mode::colour, 2.0f)(cell(100, 50, 200)), DisplayBitmap::opaque(200, 100, 255));
    EXPECT_EQ(LayerPixels(LayerPixels::Mode::colour, 1.0f)(cell(0, 0, 0)), DisplayBitmap::opaque(0, 0, 0));
    const LayerPixels red(LayerPixels::Mode::red, 1.0f);
    EXPECT_EQ(red(cell(255, 255, 255)), DisplayBitmap::opaque(255, 0, 0));
    EXPECT_EQ(red(cell(0, 0, 0)), 0u) << "a black cell is transparent";
    // (255, 0, 0): 255 x sqrt(1/3) = 147.22.
    EXPECT_EQ(red(cell(255, 0, 0)), DisplayBitmap::opaque(147, 0, 0));
    // Contrast 3 lifts by 0.25 x 3 + 0.75 = 1.5: 220.8.
    EXPECT_EQ(LayerPixels(LayerPixels::Mode::red, 3.0f)(cell(255, 0, 0)), DisplayBitmap::opaque(220, 0, 0));
}

}  // namespace
}  // namespace orvex
