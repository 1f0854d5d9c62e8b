#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "CliRunner.h"
#include "support/SoundFixtures.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;

class CliEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
    }
    // orvex-cli with arguments, expected to succeed.
    static CliRun ok(const std::string& arguments) {
        CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments << "\n" << run.err;
        return run;
    }

    // Frames, channels, sample width and rate of a WAVE file, read by Python's wave module.
    std::string pythonWaveInfo(const std::string& path) {
        return runCommand("python3 -c \"import wave,sys; w=wave.open(sys.argv[1]); "
                          "print(w.getnframes(), w.getnchannels(), w.getsampwidth(), w.getframerate())\" '" +
                          path + "'");
    }

    // Size and the given pixels of a picture, one line each, read by a plain Python reader.
    static std::vector<std::string> readPicture(const std::string& path, const std::string& points) {
        const std::string reader = std::string(ORVEX_SOURCE_DIR_PATH) + "/tests/cli/read_picture.py";
        std::stringstream out(runCommand("python3 '" + reader + "' '" + path + "'" + points));
        std::vector<std::string> lines;
        for (std::string line; std::getline(out, line);) lines.push_back(line);
        return lines;
    }

    TempDir mTemp;
};

TEST_F(CliEndToEndTest, AnalyseEditCommitAndExportInSteps) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, toneClicksAndNoise(kFrames, 2), 44100);
    const std::string q = "'" + take + "'";

    CliRun run = ok("analyse " + q + " --start 0 --end 3");
    EXPECT_NE(run.err.find("100%"), std::string::npos) << "progress bar on standard error";
    // A second analysis of the same range (reused, as the analyse command's tests show).
    run = ok("analyse " + q);
    // The segment keeps the file's last samples: it ends at the file's end, not on a block edge.
    EXPECT_NE(run.out.find("analysed 0.000 s to 3.000 s"), std::string::npos) << run.out;

    ok("edit " + q + " box --tool box --from 0.5 --to 2.5 --low 150 --high 2000");
    ok("edit " + q + " pencil --tool multi --path 0.2:220,1.0:220,2.0:221");
    // Undo in a later run puts back the selection as box and pencil left it, redo as sustained
    // left it (frames a step added stay as empty records after them); the history lists the
    // steps, and undo walks back to the first of them and no further.
    const std::string records = mTemp.file("take.analysis/take-selection.analysis/take-selection_ovw.ana.noindex");
    const std::vector<char> before = fileBytes(records);
    ok("edit " + q + " sustained --mode extract");
    const std::vector<char> sustained = fileBytes(records);
    ASSERT_NE(sustained, before);
    ok("edit " + q + " undo");
    const std::vector<char> after = fileBytes(records);
    EXPECT_TRUE(after.size() >= before.size() && std::equal(before.begin(), before.end(), after.begin()));
    const std::string steps = ok("history " + q).out;
    EXPECT_EQ(steps.rfind("1\tdone\tBox\t", 0), 0u) << steps;
    EXPECT_NE(steps.find("\n2\tdone\tPencil\t"), std::string::npos) << steps;
    EXPECT_NE(steps.find("\n3\tundone\tKeep Sustained\t"), std::string::npos) << steps;
    ok("edit " + q + " redo");
    EXPECT_EQ(fileBytes(records), sustained);
    ok("edit " + q + " undo --steps 3");
    run = runCli("edit " + q + " undo");
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(errorLine(run.err).find("No data to undo"), std::string::npos) << run.err;
    EXPECT_NE(ok("history " + q + " --json").out.find("\"position\": 0"), std::string::npos);
    ok("edit " + q + " redo --steps 3");
    EXPECT_EQ(fileBytes(records), sustained);
    // Fill gaps keeps the files it started from: its undo gives back the very bytes and its redo
    // what it wrote.
    const auto keptRecordFiles = [this] {
        int files = 0;
        for (const auto& entry : fs::directory_iterator(mTemp.file("take.analysis/take-selection.analysis"))) {
            const std::string name = entry.path().filename().string();
            files += name.find(".step-") != std::string::npos && name.ends_with(".ana.noindex");
        }
        return files;
    };
    ok("edit " + q + " undo");
    const std::vector<char> drawn = fileBytes(records);
    const int kept = keptRecordFiles();
    ok("edit " + q + " fill-gaps");
    const std::vector<char> filled = fileBytes(records);
    ASSERT_NE(filled, drawn);
    // Keep sustained's redo level goes with its three record files (the mix and both channels),
    // and fill gaps' own level keeps three whole ones.
    EXPECT_EQ(kept, 3);
    EXPECT_EQ(keptRecordFiles(), 3);
    ok("edit " + q + " undo");
    EXPECT_EQ(fileBytes(records), drawn);
    ok("edit " + q + " redo");
    EXPECT_EQ(fileBytes(records), filled);
    EXPECT_NE(ok("history " + q).out.find("\tdone\tFill Gaps\t"), std::string::npos);

    run = ok("info " + q);
    EXPECT_NE(run.out.find("analysed segment: 0.000 s to 3.000 s"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("analysis: complete"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("mode: extract\n"), std::string::npos) << run.out;
    ok("commit " + q);
    // The master's export and reset are shown by the reliability tests.
    const std::string segment = mTemp.file("segment.wav");
    ok("export " + q + " '" + segment + "' --segment");
    EXPECT_EQ(pythonWaveInfo(segment), std::to_string(kFrames) + " 2 3 44100\n");
}

TEST_F(CliEndToEndTest, ProcessKeepsTheSustainedPartOfTheSegmentAndSnapshotDrawsIt) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, toneClicksAndNoise(kFrames, 1), 44100);
    const std::string out = mTemp.file("sustained.wav");
    ok("process '" + take + "' --start 0.5 --end 2.9 --keep sustained -o '" + out + "'");
    // 0.5 s and 2.9 s snap to frames 22016 and 127872 (multiples of 128).
    EXPECT_EQ(pythonWaveInfo(out), "105856 1 3 44100\n");

    // Column 400 lies inside the segment; cell 342 is the tone's 220 Hz, cell 1000 lies above
    // the highest frequency. Cell r is drawn in row 1499 - r.
    const std::string points = " 400,1157 400,499";
    const std::string png = mTemp.file("picture.png");
    ok("snapshot '" + take + "' '" + png + "' --selection");
    std::vector<std::string> lines = readPicture(png, points);
    ASSERT_EQ(lines.size(), 3u);
    // One column per analysis frame: the segment's 827 frames, the 32 that overlap its last
    // sample and the rest of the last block.
    const int width = std::stoi(lines[0]);
    EXPECT_GE(width, 827 + 31);
    EXPECT_LE(width, 827 + 31 + 64);
    EXPECT_EQ(lines[0], std::to_string(width) + " 1500");
    const int red = std::stoi(lines[1]);
    EXPECT_GT(red, 0);
    EXPECT_EQ(lines[1], std::to_string(red) + " 0 0") << "the kept tone in the selection's red";
    EXPECT_EQ(lines[2], "0 0 0");

    // The tracks layer colours the tone by its harmonics, low in the colour map: more blue than red.
    const std::string tiff = mTemp.file("tracks.tiff");
    ok("snapshot '" + take + "' '" + tiff + "' --tracks");
    lines = readPicture(tiff, points);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::to_string(width) + " 1500");
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(std::sscanf(lines[1].c_str(), "%d %d %d", &r, &g, &b), 3) << lines[1];
    EXPECT_GT(b, r + 100) << lines[1];
    EXPECT_EQ(lines[2], "0 0 0");
}

}  // namespace
}  // namespace orvex::test
