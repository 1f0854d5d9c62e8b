// The converted working copies orvex-cli makes beside a sound file: a copy that cannot fit is
// refused before any conversion, naming what it needs and what is free; two sources with one
// name in one folder each get, and keep, a copy of their own sound.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "CliRunner.h"
#include "platform/HeadlessPlatform.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

class FixedSpacePlatform : public HeadlessPlatform {
public:
    explicit FixedSpacePlatform(std::int64_t freeBytes) : mFreeBytes(freeBytes) { setEchoAlerts(false); }
    std::int64_t freeBytesOfVolume(const std::string&) override { return mFreeBytes; }

private:
    std::int64_t mFreeBytes;
};

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// info --working run in this process on a platform reporting freeBytes free (-1: unknown).
std::string refusalWithFreeSpace(const std::string& file, std::int64_t freeBytes) {
    Platform::install(std::make_shared<FixedSpacePlatform>(freeBytes));
    std::string err;
    const int exitCode = runInProcess({"info", file, "--working"}, err);
    Platform::install(nullptr);
    EXPECT_EQ(exitCode, 1) << err;
    return errorLine(err);
}

// A header that says 1 Hz over one second of 16-bit stereo at 44.1 kHz: 44 100 s, 11.67 GB of
// working copy (1 944 810 000 frames x 2 channels x 3 bytes, plus the header).
TEST(CliWorkingCopy, ACopyThatCannotFitIsRefusedAtOnceNamingBothFigures) {
    TempDir temp;
    const std::string damaged = temp.file("one-hertz.wav");
    writeRiffWave(damaged, 2, 1, 16, std::vector<std::int32_t>(2 * 44100, 1000), {});

    const std::string tight = refusalWithFreeSpace(damaged, 2'000'000'000);
    EXPECT_NE(tight.find("Not enough disk space"), std::string::npos) << tight;
    EXPECT_NE(tight.find("needs 11.67 GB"), std::string::npos) << tight;
    EXPECT_NE(tight.find("has 2.00 GB free"), std::string::npos) << tight;
    EXPECT_NE(tight.find("sample rate of 1 Hz"), std::string::npos) << tight;
    // Room on the disk, but not in a WAVE file.
    const std::string roomy = refusalWithFreeSpace(damaged, 100'000'000'000);
    EXPECT_NE(roomy.find("File too long"), std::string::npos) << roomy;
    EXPECT_NE(roomy.find("11.67 GB, more than the 4.29 GB a WAVE file can hold"), std::string::npos) << roomy;
    EXPECT_NE(roomy.find("100.00 GB free"), std::string::npos) << roomy;
    // No conversion began: nothing beside the file, not even a temporary one.
    EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"one-hertz.wav"});
}

// The frequency of the strongest peak of a WAVE file's first channel, measured with numpy.
double strongestPeakHz(const std::string& path) {
    const std::string script =
        "import sys, wave, numpy as np\n"
        "w = wave.open(sys.argv[1]); n = w.getnframes(); k = w.getnchannels()\n"
        "b = np.frombuffer(w.readframes(n), dtype=np.uint8).reshape(n, k, 3)[:, 0, :].astype(np.int32)\n"
        "x = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16); x = np.where(x >= 1 << 23, x - (1 << 24), x)\n"
        "s = np.abs(np.fft.rfft(x * np.hanning(n)))\n"
        "print(np.argmax(s) * w.getframerate() / n)\n";
    int code = 0;
    const std::string out = runCommand("/usr/bin/python3 -c '" + script + "' '" + path + "'", &code);
    EXPECT_EQ(code, 0) << out;
    return code == 0 ? std::stod(out) : -1.0;
}

TEST(CliWorkingCopy, SourcesWithOneNameEachAnalyseTheirOwnSound) {
    if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
    if (!haveTool("sox") || !haveTool("/usr/bin/python3")) GTEST_SKIP() << "sox or /usr/bin/python3 is missing";
    TempDir temp;
    const std::string aif = temp.file("take.aif"), flac = temp.file("take.flac");
    for (const auto& [path, hertz] : {std::pair{aif, "440"}, std::pair{flac, "1000"}}) {
        int code = 0;
        runCommand("sox -n -r 48000 -c 1 -b 16 '" + path + "' synth 3 sine " + hertz + " vol 0.5", &code);
        ASSERT_EQ(code, 0) << path;
    }

    // The first copy made by info, which leaves no analysis folder behind to tell whose it is.
    CliRun run = runCli("info --working '" + aif + "'");
    EXPECT_NE(run.out.find("working file: " + temp.file("take[orvx].wav")), std::string::npos) << run.out;
    for (const std::string& source : {flac, aif}) {
        const std::string q = "'" + source + "'";
        for (const std::string& arguments :
             {"analyse " + q, "edit " + q + " select-all", "export " + q + " '" + source + ".out.wav' --segment"}) {
            run = runCli(arguments);
            ASSERT_EQ(run.exitCode, 0) << arguments << ": " << run.err;
        }
    }
    EXPECT_NEAR(strongestPeakHz(aif + ".out.wav"), 440.0, 2.0);
    EXPECT_NEAR(strongestPeakHz(flac + ".out.wav"), 1000.0, 2.0);
    // Each copy names its source and is reused, not remade, by the next command.
    EXPECT_EQ(readWithPython(temp.file("take[orvx].wav")).chunks.at("orvx"), Bytes(aif.end() - 8, aif.end()));
    const std::string second = temp.file("take.flac[orvx].wav");
    EXPECT_NEAR(strongestPeakHz(second), 1000.0, 2.0);
    const auto made = fs::last_write_time(second);
    run = runCli("info --working '" + flac + "'");
    EXPECT_NE(run.out.find("working file: " + second), std::string::npos) << run.out;
    EXPECT_EQ(fs::last_write_time(second), made);
}

}  // namespace
}  // namespace orvex::test
