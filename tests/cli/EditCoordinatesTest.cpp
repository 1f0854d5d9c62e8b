// The edit command's two kinds of coordinates land on the same analysis frames and pitches:
// seconds x 44100 / 128 frames, and sixths of a semitone (440 Hz is 414, an octave 72).

#include <gtest/gtest.h>

#include <cmath>

#include "CliEditCoordinates.h"

namespace orvex::cli {
namespace {

std::vector<std::pair<std::int64_t, std::int64_t>> pathOf(const std::string& text, bool framesAndSixths) {
    std::vector<KVPathPoint> points;
    if (!CliEditCoordinates::parsePath(text, framesAndSixths, points)) return {};
    std::vector<std::pair<std::int64_t, std::int64_t>> pairs;
    for (const KVPathPoint& p : points) pairs.emplace_back(p.x, p.y);
    return pairs;
}

TEST(CliEditCoordinates, SecondsAndHertzMeetFramesAndSixths) {
    using Points = std::vector<std::pair<std::int64_t, std::int64_t>>;
    // 0.5 s = 172.27 frames, 1 s = 344.53, 2 s = 689.06; 880 Hz = 486, 220 Hz = 342.
    const Points expected = {{172, 414}, {345, 486}, {689, 342}};
    EXPECT_EQ(pathOf("0.5:440,1:880,2:220", false), expected);
    EXPECT_EQ(pathOf("172:414,345:486,689:342", true), expected);
    for (const char* bad : {"0.5:440,1:880", "0.5:440,1:0,2:220", "-1:440,1:880,2:220", "0.5:440,1:880:3,2:220",
                            "nan:440,1:880,2:220", "0.5:440,,2:220", "0.5 440,1:880,2:220"})
        EXPECT_TRUE(pathOf(bad, false).empty()) << bad;

    // A span may give each end in either unit.
    const auto frames = CliEditCoordinates::frameSpan(0.5, std::nullopt, std::nullopt, 600.0);
    ASSERT_TRUE(frames);
    EXPECT_DOUBLE_EQ(frames->first, 0.5 * 44100.0 / 128.0);
    EXPECT_DOUBLE_EQ(frames->second, 600.0);
    const auto pitches = CliEditCoordinates::pitchSpan(std::nullopt, 1000.0, 300.0, std::nullopt);
    ASSERT_TRUE(pitches);
    EXPECT_DOUBLE_EQ(pitches->first, 300.0);
    EXPECT_NEAR(pitches->second, 414.0 + 72.0 * std::log2(1000.0 / 440.0), 1e-9);
    // Missing, reversed, negative or not-a-number ends are refused.
    EXPECT_FALSE(CliEditCoordinates::frameSpan(0.5, std::nullopt, std::nullopt, std::nullopt));
    EXPECT_FALSE(CliEditCoordinates::frameSpan(std::nullopt, std::nullopt, 600.0, 500.0));
    EXPECT_FALSE(CliEditCoordinates::frameSpan(-1.0, 2.0, std::nullopt, std::nullopt));
    EXPECT_FALSE(CliEditCoordinates::frameSpan(std::nullopt, std::nullopt, NAN, 500.0));
    EXPECT_FALSE(CliEditCoordinates::pitchSpan(0.0, 1000.0, std::nullopt, std::nullopt));
    EXPECT_FALSE(CliEditCoordinates::pitchSpan(std::nullopt, std::nullopt, 400.0, 300.0));
}

}  // namespace
}  // namespace orvex::cli
