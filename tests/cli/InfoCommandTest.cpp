#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "CliRunner.h"
#include "support/SoundFixtures.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

class InfoCommandTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
    }
    CliRun cli(const std::string& arguments) { return runCli(arguments); }

    std::size_t fileCount() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(mTemp.path()), {})); }

    TempDir mTemp;
};

TEST_F(InfoCommandTest, PrintsFormatLengthsAndChunksAndMakesTheWorkingFile) {
    const std::string source = mTemp.file("take one.wav");
    writeRiffWave(source, 2, 48000, 24, std::vector<std::int32_t>(2 * 4800, 1000), {{"bext", patternBytes(602, 1)}});
    CliRun run = cli("info '" + source + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(run.out.find("format: lpcm\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("bits per channel: 24\n"), std::string::npos);
    EXPECT_NE(run.out.find("sample rate: 48000 Hz\n"), std::string::npos);
    EXPECT_NE(run.out.find("channels: 2\n"), std::string::npos);
    EXPECT_NE(run.out.find("length: 4800 frames\n"), std::string::npos);
    EXPECT_NE(run.out.find("length at 44100 Hz: 4410 frames\n"), std::string::npos);
    EXPECT_NE(run.out.find("metadata chunks: bext (602 bytes)\n"), std::string::npos);
    EXPECT_EQ(run.out.find("working file"), std::string::npos);
    EXPECT_EQ(fileCount(), 1u);

    run = cli("info --working '" + source + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string copy = mTemp.file("take one[orvx].wav");
    EXPECT_NE(run.out.find("working file: " + copy + "\n"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::exists(copy));  // its contents are checked by the working-file tests

    const std::string own = mTemp.file("own.wav");
    writeWave(own, {sine(100, 44100, 441)}, 44100);
    run = cli("info --working '" + own + "'");
    EXPECT_NE(run.out.find("working file: " + own + " (the file itself)\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("metadata chunks: none\n"), std::string::npos);
}

TEST_F(InfoCommandTest, RefusesWithOneLineAndWritesNothing) {
    const std::string text = mTemp.file("notes.txt");
    std::ofstream(text) << "a list of things\n";
    const std::string three = mTemp.file("three.wav");
    writeWave(three, {sine(100, 48000, 480), sine(200, 48000, 480), sine(300, 48000, 480)}, 48000);
    const std::size_t before = fileCount();

    const std::pair<std::string, std::string> cases[] = {
        {"info --working '" + text + "'",
         "orvex-cli: Unreadable file \"notes.txt\": Access to this file has been denied If this is a Orvex "
         "analysis file please open the original sound file instead.\n"},
        {"info --working '" + three + "'",
         "orvex-cli: Unsupported number of channels in \"three.wav\": This file is neither a mono or stereo "
         "recording\n"},
        {"info '" + mTemp.file("missing.wav") + "'", "orvex-cli: No such file: " + mTemp.file("missing.wav") + "\n"},
    };
    for (const auto& [arguments, err] : cases) {
        const CliRun run = cli(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
    }
    EXPECT_EQ(fileCount(), before);

    EXPECT_NE(cli("info").exitCode, 0);
    EXPECT_NE(cli("").exitCode, 0);
}

TEST_F(InfoCommandTest, WarnsAboutUnusualRatesAndGoesOn) {
    const std::string source = mTemp.file("fast.wav");
    writeWave(source, {sine(1000, 96000, 960)}, 96000);
    const CliRun run = cli("info --working '" + source + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err,
              "orvex-cli: Sample rate warning \"fast.wav\": This file has a sample rate that is out of range and will "
              "be automatically converted during analysis\n");
    EXPECT_NE(run.out.find("working file: " + mTemp.file("fast[orvx].wav")), std::string::npos);
}

}  // namespace
}  // namespace orvex::test
