// orvex-cli export --stems, run as a separate process on generated music: after an analysis of a
// segment that does not start at the file's start and edits of it, the two stems add up to the
// source exactly on the 24-bit grid, as Python's wave module and numpy read them; a selection
// that clips is counted and said, the sum still exact; a folder that cannot be written leaves
// nothing and says why in one line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "CliRunner.h"
#include "support/Signals.h"
#include "support/SoundFixtures.h"
#include "support/StemsCheck.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;

// Interleaved 24-bit integers of channels.
std::vector<std::int32_t> integers24(const Channels& channels) {
    std::vector<std::int32_t> samples;
    for (std::size_t i = 0; i < channels[0].size(); ++i)
        for (const auto& channel : channels)
            samples.push_back(static_cast<std::int32_t>(
                std::clamp<long>(std::lrint(double(channel[i]) * 8388608.0), -8388608, 8388607)));
    return samples;
}

// Five seconds of two voices of sines with a noise burst every half second, the right channel
// another mix of them.
Channels music() {
    const std::int64_t frames = 5 * kRate;
    Channels out(2, std::vector<float>(std::size_t(frames), 0.0f));
    const double left[] = {220.0, 277.2, 329.6}, right[] = {110.0, 440.0, 554.4};
    for (int k = 0; k < 3; ++k) {
        mixInto(out[0], sine(left[k], kRate, frames, 0.12 / (k + 1)));
        mixInto(out[1], sine(right[k], kRate, frames, 0.1 / (k + 1), 0.3 * k));
    }
    const std::vector<float> bursts = noise(frames, 0.25, 7);
    for (std::int64_t at = 0; at < frames; ++at) {
        const double envelope = std::exp(-double(at % (kRate / 2)) / 600.0);
        out[0][std::size_t(at)] += float(bursts[std::size_t(at)] * envelope);
        out[1][std::size_t(at)] += float(0.7 * bursts[std::size_t(at)] * envelope);
    }
    return out;
}

// A mono square wave at full scale: its rendered selection rings past full scale at every edge.
Channels square(std::int64_t frames) {
    Channels out(1, std::vector<float>(std::size_t(frames)));
    for (std::int64_t i = 0; i < frames; ++i) out[0][std::size_t(i)] = (i / 220) % 2 ? -1.0f : 1.0f;
    return out;
}

class StemsCommandTest : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
    }
    static CliRun ok(const std::string& arguments) {
        CliRun run = runCli(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments << "\n" << run.err;
        return run;
    }
    static std::string q(const std::string& path) { return "'" + path + "'"; }
    // The analysed segment's frames, from "orvex-cli info".
    static void analysedFrames(const std::string& file, std::int64_t& start, std::int64_t& end) {
        const std::string out = ok("info " + q(file)).out;
        const auto at = out.find("(frames ");
        ASSERT_NE(at, std::string::npos) << out;
        ASSERT_EQ(std::sscanf(out.c_str() + at, "(frames %lld to %lld)", reinterpret_cast<long long*>(&start),
                              reinterpret_cast<long long*>(&end)),
                  2)
            << out;
    }

    TempDir mTemp;
};

TEST_F(StemsCommandTest, EditedSegmentStemsAddUpToTheSourceAndCarryItsChunks) {
    const std::string take = mTemp.file("take.wav");
    const Bytes bext = patternBytes(602, 5);
    writeRiffWave(take, 2, kRate, 24, integers24(music()), {{"bext", bext}});
    ok("analyse " + q(take) + " --start 1.2 --end 3.9");
    ok("edit " + q(take) + " sustained --mode extract");
    ok("edit " + q(take) + " box --tool box --from 0.3 --to 1.5 --low 200 --high 1200");
    ok("edit " + q(take) + " pencil --tool multi --path 0.2:220,1.0:220,2.0:221");
    const std::string out = mTemp.file("mix.wav"), segment = mTemp.file("segment.wav");
    const CliRun run = ok("export " + q(take) + " " + q(out) + " --stems");
    const std::string selection = mTemp.file("mix-selection.wav"), rest = mTemp.file("mix-rest.wav");
    EXPECT_EQ(run.out, "exported the stems to " + selection + " and " + rest + "\n");
    EXPECT_NE(run.err.find("100%"), std::string::npos) << "progress on standard error";
    EXPECT_EQ(run.err.find("clipped"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
    ok("export " + q(take) + " " + q(segment) + " --segment");

    std::int64_t start = 0, end = 0;
    analysedFrames(take, start, end);
    EXPECT_GT(start, 44100);
    const StemsCheck check = checkStems(take, selection, rest, start, end - start, segment);
    ASSERT_EQ(check.text("ok"), "1") << check.output;
    EXPECT_EQ(check.text("selection"), "220500,2,3,44100");
    EXPECT_EQ(check.text("rest"), "220500,2,3,44100");
    EXPECT_EQ(check.number("sum_mismatches"), 0) << check.output;
    EXPECT_EQ(check.number("outside_nonzero"), 0);
    EXPECT_GT(check.number("inside_nonzero"), end - start) << "the edit left a selection";
    EXPECT_GT(check.number("rest_differs_inside"), end - start) << "and the rest differs from the source there";
    EXPECT_EQ(check.number("segment_mismatches"), 0);
    for (const std::string& stem : {selection, rest}) {
        const PythonWaveView view = readWithPython(stem);
        ASSERT_TRUE(view.ok) << view.output;
        EXPECT_EQ(view.chunks.at("bext"), bext) << stem;
    }
}

// Keep sustained and keep transients by the median separator, on a segment inside the file: the
// two rendered parts add up to the rendered segment, and each holds a real part of it.
TEST_F(StemsCommandTest, TheMedianSeparatorsPartsAddUpToTheSegment) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, music(), kRate);
    ok("analyse " + q(take) + " --start 1.2 --end 3.9");
    Channels parts[3];
    const char* edits[] = {"sustained --method median --mask-power 2", "transients --method median --mask-power 2",
                           "select-all"};
    for (int i = 0; i < 3; ++i) {
        ok("edit " + q(take) + " " + edits[i]);
        const std::string path = mTemp.file("part" + std::to_string(i) + ".wav");
        ok("export " + q(take) + " " + q(path) + " --segment");
        parts[i] = readSound(path);
        ASSERT_EQ(parts[i].size(), 2u);
    }
    double residual = 0.0, whole = 0.0, sustained = 0.0, transients = 0.0;
    for (int c = 0; c < 2; ++c)
        for (std::size_t t = 0; t < parts[2][c].size(); ++t) {
            residual += std::pow(double(parts[0][c][t]) + parts[1][c][t] - parts[2][c][t], 2.0);
            whole += double(parts[2][c][t]) * parts[2][c][t];
            sustained += double(parts[0][c][t]) * parts[0][c][t];
            transients += double(parts[1][c][t]) * parts[1][c][t];
        }
    EXPECT_LT(10.0 * std::log10(residual / whole), -60.0);
    // The sines carry most of the energy, the short noise bursts the rest (-16 dB measured).
    EXPECT_GT(10.0 * std::log10(sustained / whole), -3.0);
    EXPECT_GT(10.0 * std::log10(transients / whole), -25.0);
}

TEST_F(StemsCommandTest, AClippingSelectionIsCountedAndSaidAndTheMonoSumStaysExact) {
    const std::string take = mTemp.file("square.wav");
    writeWave(take, square(3 * kRate), kRate);
    ok("analyse " + q(take) + " --start 0.5 --end 2.5");
    ok("edit " + q(take) + " select-all");
    const CliRun run = ok("export " + q(take) + " " + q(mTemp.file("sq.wav")) + " --stems");
    long long clipped = 0;
    const auto at = run.err.find("orvex-cli: warning: The selection clipped ");
    ASSERT_NE(at, std::string::npos) << run.err;
    ASSERT_EQ(std::sscanf(run.err.c_str() + at, "orvex-cli: warning: The selection clipped %lld samples", &clipped), 1);
    EXPECT_NE(run.err.find("the rest stem holds the difference\n", at), std::string::npos) << run.err;
    std::int64_t start = 0, end = 0;
    analysedFrames(take, start, end);
    const StemsCheck check =
        checkStems(take, mTemp.file("sq-selection.wav"), mTemp.file("sq-rest.wav"), start, end - start);
    ASSERT_EQ(check.text("ok"), "1") << check.output;
    EXPECT_EQ(check.text("selection"), "132300,1,3,44100");
    EXPECT_GT(clipped, 100);
    // Every clipped sample lies at the limits; a sample just inside them may round onto them.
    EXPECT_LE(clipped, check.number("selection_at_limits"));
    EXPECT_GE(double(clipped), 0.99 * double(check.number("selection_at_limits")));
    EXPECT_EQ(check.number("sum_mismatches"), 0) << check.output;
    EXPECT_EQ(check.number("outside_nonzero"), 0);
}

// As root, which writes anywhere, into /proc; otherwise into a folder without write permission.
TEST_F(StemsCommandTest, AFolderThatCannotBeWrittenLeavesNothingAndSaysWhyInOneLine) {
    const std::string take = mTemp.file("take.wav");
    writeWave(take, {sine(220.0, kRate, 2 * kRate, 0.3)}, kRate);
    ok("analyse " + q(take));
    std::string locked = "/proc";
    if (::geteuid() != 0) {
        locked = mTemp.file("locked");
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    // Names of the stems and of their temporary files (".NAME.partial-PID").
    const auto stemEntries = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(locked))
            if (entry.path().filename().string().find("out-") != std::string::npos)
                names.push_back(entry.path().filename().string());
        return names;
    };
    const CliRun run = runCli("export " + q(take) + " " + q(locked + "/out.wav") + " --stems");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    const std::string line = errorLine(run.err);
    EXPECT_NE(line.find("Error creating file"), std::string::npos) << run.err;
    EXPECT_NE(line.find("permission to write to the folder"), std::string::npos) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(stemEntries().empty());
    if (locked != "/proc") fs::permissions(locked, fs::perms::owner_all);

    // --stems is a third choice beside the other two, not an addition to them.
    const CliRun both = runCli("export " + q(take) + " " + q(mTemp.file("o.wav")) + " --stems --segment");
    EXPECT_EQ(both.exitCode, cli::CliCommand::kArgumentError);
    EXPECT_NE(errorLine(both.err).find("Choose one of --segment, --master and --stems"), std::string::npos);
}

}  // namespace
}  // namespace orvex::test
