#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "audiofile/SoundFixtures.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

constexpr std::int64_t kFrames = 3 * 44100;
// The segment rules put the end of a whole-file segment on a multiple of 128 frames.
constexpr std::int64_t kSegmentFrames = kFrames / 128 * 128;

// A 220 Hz tone with four partials, a click every half second and quiet noise; the right
// channel holds the tone softer.
Channels toneClicksNoise(std::int64_t frames, int channels) {
    Channels out;
    for (int c = 0; c < channels; ++c) {
        std::vector<float> signal(std::size_t(frames), 0.0f);
        for (int h = 1; h <= 4; ++h) mixInto(signal, sine(220.0 * h, 44100.0, frames, (c ? 0.15 : 0.25) / h));
        for (std::int64_t t = 3000; t + 8 < frames; t += 22050) signal[std::size_t(t)] += 0.5f;
        mixInto(signal, noise(frames, 0.01, std::uint32_t(c + 7)));
        out.push_back(std::move(signal));
    }
    return out;
}

class CliEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        const char* binaryDir = std::getenv("ORVEX_BINARY_DIR");
        const fs::path build = binaryDir ? fs::path(binaryDir) : fs::read_symlink("/proc/self/exe").parent_path().parent_path();
        mCli = (build / "src/cli/orvex-cli").string();
        if (!fs::exists(mCli)) GTEST_SKIP() << "orvex-cli is not built";
    }

    CliRun cli(const std::string& arguments) {
        CliRun run;
        const std::string errPath = (fs::temp_directory_path() / ("orvex-cli-err-" + std::to_string(::getpid()))).string();
        run.out = runCommand("'" + mCli + "' " + arguments + " 2>'" + errPath + "'", &run.exitCode);
        std::ifstream in(errPath);
        run.err.assign(std::istreambuf_iterator<char>(in), {});
        fs::remove(errPath);
        return run;
    }

    // The error line: one line starting "orvex-cli: " after any progress output.
    static std::string errorLine(const CliRun& run) {
        const auto at = run.err.rfind("orvex-cli: ");
        if (at == std::string::npos) return "";
        const std::string line = run.err.substr(at);
        EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
        return line;
    }

    // Frames, channels, sample width and rate of a WAVE file, read by Python's wave module.
    std::string pythonWaveInfo(const std::string& path) {
        return runCommand("python3 -c \"import wave,sys; w=wave.open(sys.argv[1]); "
                          "print(w.getnframes(), w.getnchannels(), w.getsampwidth(), w.getframerate())\" '" +
                          path + "'");
    }

    std::map<std::string, fs::file_time_type> recordFileTimes(const std::string& folder) {
        std::map<std::string, fs::file_time_type> times;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().extension() != ".plist")
                times[entry.path().string()] = entry.last_write_time();
        return times;
    }

    std::string mCli;
    TempDir mTemp;
};

TEST_F(CliEndToEndTest, AnalyseEditCommitAndExportInSteps) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, toneClicksNoise(kFrames, 2), 44100);
    const std::string q = "'" + take + "'";

    CliRun run = cli("analyse " + q + " --start 0 --end 3");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("100%"), std::string::npos) << "progress bar on standard error";
    const auto times = recordFileTimes(mTemp.file("take.analysis"));
    ASSERT_FALSE(times.empty());

    // A second analysis of the same range reuses the stored records.
    run = cli("analyse " + q);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("analysed 0.000 s to 2.998 s"), std::string::npos) << run.out;
    const auto again = recordFileTimes(mTemp.file("take.analysis"));
    for (const auto& [path, time] : times)
        if (path.find("selection") == std::string::npos) EXPECT_EQ(again.at(path), time) << path;

    run = cli("edit " + q + " box --tool box --from 0.5 --to 2.5 --low 150 --high 2000");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = cli("edit " + q + " pencil --tool multi --path 0.2:220,1.0:220,2.0:221");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = cli("edit " + q + " sustained --mode extract");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = cli("info " + q);
    EXPECT_NE(run.out.find("analysed segment: 0.000 s to 2.998 s"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("analysis: complete"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("mode: extract\n"), std::string::npos) << run.out;
    run = cli("commit " + q);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string segment = mTemp.file("segment.wav");
    run = cli("export " + q + " '" + segment + "' --segment");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(pythonWaveInfo(segment), std::to_string(kSegmentFrames) + " 2 3 44100\n");

    const std::string master = mTemp.file("master.wav");
    run = cli("export " + q + " '" + master + "' --master");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(pythonWaveInfo(master), std::to_string(kFrames) + " 2 3 44100\n");

    run = cli("reset-master " + q);
    EXPECT_EQ(run.exitCode, 0) << run.err;
}

TEST_F(CliEndToEndTest, ProcessKeepsTheSustainedPartOfTheSegmentAndSnapshotDrawsIt) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, toneClicksNoise(kFrames, 1), 44100);
    const std::string out = mTemp.file("sustained.wav");
    CliRun run = cli("process '" + take + "' --start 0.5 --end 2.9 --keep sustained -o '" + out + "'");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // 0.5 s and 2.9 s snap to frames 22016 and 127872 (multiples of 128).
    EXPECT_EQ(pythonWaveInfo(out), "105856 1 3 44100\n");
    const std::string png = mTemp.file("picture.png");
    run = cli("snapshot '" + take + "' '" + png + "' --selection");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string size = runCommand("python3 -c \"import struct,sys; d=open(sys.argv[1],'rb').read(24); "
                                        "print(d[:8]==b'\\x89PNG\\r\\n\\x1a\\n', *struct.unpack('>II', d[16:24]))\" '" +
                                        png + "'");
    // One column per analysis frame: the segment's 827 frames and the rest of the last block.
    ASSERT_EQ(size.substr(0, 5), "True ") << size;
    const int width = std::stoi(size.substr(5));
    EXPECT_GE(width, 827);
    EXPECT_LE(width, 827 + 64);
    EXPECT_NE(size.find(" 1500\n"), std::string::npos) << size;
}

TEST_F(CliEndToEndTest, BadInputGivesOneErrorLineAndLeavesNothingBehind) {
    CliRun run = cli("analyse '" + mTemp.file("absent.wav") + "'");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run).find("No such file"), std::string::npos) << run.err;

    const std::string text = mTemp.file("notes.wav");
    std::ofstream(text) << "not a sound file\n";
    run = cli("analyse '" + text + "'");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run), "") << run.err;

    const std::string three = mTemp.file("three.wav");
    writeWave(three, Channels(3, sine(440.0, 44100.0, 2 * 44100, 0.3)), 44100);
    run = cli("analyse '" + three + "'");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run), "") << run.err;

    const std::string take = mTemp.file("take.wav");
    writeWave(take, toneClicksNoise(kFrames, 1), 44100);
    run = cli("analyse '" + take + "' --start 10 --end 12");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run).find("outside the file"), std::string::npos) << run.err;

    // Edits and exports need a stored analysis.
    run = cli("export '" + take + "' '" + mTemp.file("out.wav") + "' --segment");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run).find("analyse"), std::string::npos) << run.err;

    for (const char* name : {"notes.analysis", "three.analysis", "take.analysis/take-selection.analysis", "out.wav"})
        EXPECT_FALSE(fs::exists(mTemp.file(name))) << name;
}

TEST_F(CliEndToEndTest, WriteProtectedFolderAndUnwritableExportTarget) {
    const std::string locked = mTemp.file("locked");
    fs::create_directory(locked);
    const std::string take = locked + "/take.wav";
    writeWave(take, toneClicksNoise(kFrames, 1), 44100);
    ::chmod(mTemp.path().c_str(), 0755);
    ::chmod(locked.c_str(), 0755);
    const int code = runUnprivileged([&] {
        const CliRun run = cli("analyse '" + take + "'");
        return run.exitCode != 0 && errorLine(run).find("cannot be written") != std::string::npos ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(fs::exists(locked + "/take.analysis"));

    const std::string open = mTemp.file("take.wav");
    writeWave(open, toneClicksNoise(kFrames, 1), 44100);
    ASSERT_EQ(cli("analyse '" + open + "'").exitCode, 0);
    CliRun run = cli("export '" + open + "' '" + mTemp.file("no/such/folder/out.wav") + "' --segment");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run).find("Error creating file"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(mTemp.file("no")));
}

}  // namespace
}  // namespace orvex::test
