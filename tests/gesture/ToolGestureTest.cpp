#include <gtest/gtest.h>

#include "gesture/ToolGesture.h"

namespace orvex {
namespace {

using Kind = GestureResult::Kind;

// Presses at from, drags through the points and releases at the last one.
GestureResult gesture(AnalysisTool tool, std::vector<std::pair<double, double>> points, bool shift = false) {
    ToolGesture g;
    g.press(tool, points.front().first, points.front().second);
    for (std::size_t i = 1; i + 1 < points.size(); ++i) g.drag(points[i].first, points[i].second, shift);
    return g.release(points.back().first, points.back().second, shift);
}

TEST(ToolGestureTest, BoxesFromOppositeCornersReportTheSameRectangle) {
    for (AnalysisTool tool : {AnalysisTool::box, AnalysisTool::magicBox, AnalysisTool::deselectBox}) {
        const GestureResult down = gesture(tool, {{100.5, 430.2}, {150, 420}, {200.5, 400.2}});
        const GestureResult up = gesture(tool, {{200.5, 400.2}, {150, 420}, {100.5, 430.2}});
        ASSERT_EQ(down.kind, Kind::rectangle);
        EXPECT_EQ(down.rectangle, (GestureRect{100.5, 400.2, 100.0, 30.0}));
        EXPECT_EQ(up.rectangle.x, down.rectangle.x);
        EXPECT_NEAR(up.rectangle.height, down.rectangle.height, 1e-9);
    }
}

TEST(ToolGestureTest, PencilPathsRunLeftToRightShiftKeepsThePitchAndLengthIsCapped) {
    // Moving left adds nothing until x passes the last point; the release point is always added.
    GestureResult path = gesture(AnalysisTool::multiPencil, {{10.7, 414.9}, {12.2, 420}, {11, 430}, {12.9, 440},
                                                             {14.1, 450}, {13, 460}});
    ASSERT_EQ(path.kind, Kind::path);
    const std::vector<std::pair<std::int64_t, std::int64_t>> expected{{10, 414}, {12, 420}, {14, 450}, {13, 460}};
    ASSERT_EQ(path.points.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(path.points[i].x, expected[i].first);
        EXPECT_EQ(path.points[i].y, expected[i].second);
    }
    path = gesture(AnalysisTool::f1Pencil, {{10, 414}, {20, 500}, {30, 300}}, true);
    ASSERT_EQ(path.points.size(), 3u);
    for (const KVPathPoint& p : path.points) EXPECT_EQ(p.y, 414);

    ToolGesture g;  // a long stroke stops at the path's capacity
    g.press(AnalysisTool::multiPencil, 0, 400);
    for (int x = 1; x < 70000; ++x) g.drag(x, 400, false);
    EXPECT_EQ(g.release(70000, 400, false).points.size(), std::size_t(ToolGesture::kMaximumPoints));
}

TEST(ToolGestureTest, StripDragsReportRangesAndOtherGesturesReportNothing) {
    // Released in the strip: a range, even when the stroke began above it; right to left stays unordered.
    GestureResult r = gesture(AnalysisTool::singlePencil, {{300.9, 20}, {250, 20}, {200.2, 30}});
    ASSERT_EQ(r.kind, Kind::stripRange);
    EXPECT_EQ(r.start, 300);
    EXPECT_EQ(r.end, 200);
    EXPECT_EQ(gesture(AnalysisTool::multiPencil, {{10, 400}, {20, 300}, {30, 10}}).kind, Kind::stripRange);
    // A press and release without a drag.
    EXPECT_EQ(gesture(AnalysisTool::box, {{10, 400}, {30, 420}}).kind, Kind::none);

    ToolGesture g;  // Escape while dragging: nothing, and the rest of the gesture is ignored.
    g.press(AnalysisTool::box, 10, 400);
    g.drag(20, 410, false);
    g.cancel();
    g.drag(30, 420, false);
    EXPECT_EQ(g.release(30, 420, false).kind, Kind::none);
    g.press(AnalysisTool::box, 10, 400);
    g.drag(20, 410, false);
    EXPECT_EQ(g.release(20, 410, false).kind, Kind::rectangle) << "the next press starts afresh";
}

}  // namespace
}  // namespace orvex
