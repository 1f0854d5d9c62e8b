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
    std::size_t fileCount() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(mTemp.path()), {})); }

    TempDir mTemp;
};

TEST_F(InfoCommandTest, PrintsFormatLengthsAndChunksAndMakesTheWorkingFileWarningOfUnusualRates) {
    const std::string source = mTemp.file("take one.wav");
    writeRiffWave(source, 2, 48000, 24, std::vector<std::int32_t>(2 * 4800, 1000), {{"bext", patternBytes(602, 1)}});
    CliRun run = runCli("info '" + source + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    for (const char* line :
         {"format: lpcm\n", "bits per channel: 24\n", "sample rate: 48000 Hz\n", "channels: 2\n",
          "length: 4800 frames\n", "length at 44100 Hz: 4410 frames\n", "metadata chunks: bext (602 bytes)\n"})
        EXPECT_NE(run.out.find(line), std::string::npos) << line << run.out;
    EXPECT_EQ(run.out.find("working file"), std::string::npos);
    EXPECT_EQ(fileCount(), 1u);

    run = runCli("info --working '" + source + "'");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string copy = mTemp.file("take one[orvx].wav");
    EXPECT_NE(run.out.find("working file: " + copy + "\n"), std::string::npos) << run.out;
    EXPECT_TRUE(std::filesystem::exists(copy));  // its contents are checked by the working-file tests

    const std::string own = mTemp.file("own.wav");
    writeWave(own, {sine(100, 44100, 441)}, 44100);
    run = runCli("info --working '" + own + "'");
    EXPECT_NE(run.out.find("working file: " + own + " (the file itself)\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("metadata chunks: none\n"), std::string::npos);

    // An unusual rate is warned about, and the command goes on.
    const std::string fast = mTemp.file("fast.wav");
    writeWave(fast, {sine(1000, 96000, 960)}, 96000);
    run = runCli("info --working '" + fast + "'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err,
              "orvex-cli: Sample rate warning \"fast.wav\": This file has a sample rate that is out of range and will "
              "be automatically converted during analysis\n");
    EXPECT_NE(run.out.find("working file: " + mTemp.file("fast[orvx].wav")), std::string::npos);
}

TEST_F(InfoCommandTest, RefusesWithOneLineAndWritesNothing) {
    const std::string text = mTemp.file("notes.txt");
    std::ofstream(text) << "a list of things\n";
    const std::string three = mTemp.file("three.wav");
    writeWave(three, {sine(100, 48000, 480), sine(200, 48000, 480), sine(300, 48000, 480)}, 48000);
    const std::size_t before = fileCount();

    const std::pair<std::string, std::string> cases[] = {
        {"info --working '" + text + "'",
         "orvex-cli: Unreadable file \"notes.txt\": This is not an audio file: its contents are in no sound "
         "file format.\n"},
        {"info --working '" + three + "'",
         "orvex-cli: Unsupported number of channels in \"three.wav\": This file is neither a mono or stereo "
         "recording\n"},
        {"info '" + mTemp.file("missing.wav") + "'", "orvex-cli: No such file: " + mTemp.file("missing.wav") + "\n"},
    };
    for (const auto& [arguments, err] : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_NE(run.exitCode, 0) << arguments;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, err);
    }
    EXPECT_EQ(fileCount(), before);

    EXPECT_NE(runCli("info").exitCode, 0);
    EXPECT_NE(runCli("").exitCode, 0);
}

}  // namespace
}  // namespace orvex::test
