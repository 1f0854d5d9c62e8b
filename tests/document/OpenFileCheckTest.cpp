#include <gtest/gtest.h>

#include <fstream>

#include "audiofile/SoundFixtures.h"
#include "document/KVOpenFileCheck.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {
namespace {

class OpenFileCheckTest : public PlatformFixture {};

TEST_F(OpenFileCheckTest, RefusesUnreadableEmptyAndMultichannelFiles) {
    const std::string text = temp().file("readme.txt");
    std::ofstream(text) << "just words\n";
    const std::string empty = temp().file("empty.wav");
    writeRiffWave(empty, 1, 44100, 16, {}, {});
    const std::string three = temp().file("three.wav");
    writeWave(three, {sine(100, 44100, 100), sine(200, 44100, 100), sine(300, 44100, 100)}, 44100);

    for (const std::string& path : {text, empty}) {
        const KVOpenFileCheck check = KVOpenFileCheck::checkFileAtPath(path);
        EXPECT_FALSE(check.canOpen());
        EXPECT_EQ(check.outcome, KVOpenFileCheck::Outcome::Unreadable);
    }
    const KVOpenFileCheck refused = KVOpenFileCheck::checkFileAtPath(three);
    EXPECT_EQ(refused.outcome, KVOpenFileCheck::Outcome::UnsupportedChannels);

    const auto alerts = platform().alerts();
    ASSERT_EQ(alerts.size(), 3u);
    EXPECT_EQ(alerts[0].title, "Unreadable file \"readme.txt\"");
    EXPECT_EQ(alerts[0].message,
              "Access to this file has been denied\n\nIf this is a Orvex analysis file please open the original sound "
              "file instead.");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"Bummer"});
    EXPECT_EQ(alerts[1].title, "Unreadable file \"empty.wav\"");
    EXPECT_EQ(alerts[2].title, "Unsupported number of channels in \"three.wav\"");
    EXPECT_EQ(alerts[2].message, "This file is neither a mono or stereo recording");
    EXPECT_EQ(alerts[2].buttons, std::vector<std::string>{"Ok"});
}

TEST_F(OpenFileCheckTest, WarnsOnlyForRatesOtherThan44100And48000) {
    struct Case {
        int rate;
        bool warns;
    };
    for (const Case c : {Case{44100, false}, Case{48000, false}, Case{96000, true}, Case{22050, true}}) {
        const std::string path = temp().file("tone" + std::to_string(c.rate) + ".wav");
        writeWave(path, {sine(100, c.rate, 1000), sine(100, c.rate, 1000)}, c.rate);
        const KVOpenFileCheck check = KVOpenFileCheck::checkFileAtPath(path);
        EXPECT_TRUE(check.canOpen()) << c.rate;
        EXPECT_EQ(check.rateWarningShown, c.warns) << c.rate;
        EXPECT_EQ(check.sampleRate, c.rate);
        EXPECT_EQ(check.channels, 2);
    }
    const auto alerts = platform().alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].title, "Sample rate warning \"tone96000.wav\"");
    EXPECT_EQ(alerts[0].message,
              "This file has a sample rate that is out of range and will be automatically converted during analysis");
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"Ok"});
}

}  // namespace
}  // namespace orvex::test
