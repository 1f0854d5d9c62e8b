// Measured FFT plans change the order of the transforms' sums, not the analysis: orvex-cli run
// with measured plans and a fresh plan cache stores the same records as with estimated plans,
// up to float rounding, and says that it measures only the first time.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CliRunner.h"
#include "support/RecordComparison.h"
#include "support/Shell.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;
const std::string kMeasuringLine = "measuring the fastest transforms of this machine (once)";

CliRun analyseWith(const std::string& plans, const fs::path& cache, const std::string& sound) {
    const fs::path err = cache.parent_path() / "err.txt";
    CliRun run;
    run.out = runCommand("XDG_CACHE_HOME='" + cache.string() + "' ORVEX_FFT_PLANS=" + plans + " '" + cliProgram() +
                             "' analyse '" + sound + "' 2>'" + err.string() + "'",
                         &run.exitCode);
    std::ifstream in(err);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    return run;
}

TEST(CliMeasuredPlans, StoreTheRecordsOfEstimatedPlansAndMeasureOnce) {
    TempDir temp;
    const fs::path cache = temp.path() / "cache";
    fs::create_directories(temp.path() / "estimated");
    fs::create_directories(temp.path() / "measured");
    const std::string estimated = (temp.path() / "estimated" / "take.wav").string();
    const std::string measured = (temp.path() / "measured" / "take.wav").string();
    writeWave(estimated, musicLike(kFrames), 44100);
    fs::copy_file(estimated, measured);

    const CliRun reference = analyseWith("estimate", cache, estimated);
    ASSERT_EQ(reference.exitCode, 0) << reference.err;
    EXPECT_EQ(reference.err.find(kMeasuringLine), std::string::npos);
    EXPECT_FALSE(fs::exists(cache / "orvex" / "fftw-wisdom"));

    const CliRun first = analyseWith("measure", cache, measured);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.err.rfind(kMeasuringLine + "\n", 0), 0u) << first.err;
    EXPECT_TRUE(fs::exists(cache / "orvex" / "fftw-wisdom"));

    for (const std::string stream : {"take_0", "take_1", "take_ovw"}) {
        const auto a = readRecords(temp.path() / "estimated" / "take.analysis" / (stream + ".ana.noindex"));
        const auto b = readRecords(temp.path() / "measured" / "take.analysis" / (stream + ".ana.noindex"));
        ASSERT_NO_FATAL_FAILURE(expectSameStream(a, b, stream, 1000));
    }

    fs::remove_all(temp.path() / "measured" / "take.analysis");
    const CliRun second = analyseWith("measure", cache, measured);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.err.find(kMeasuringLine), std::string::npos) << "planned from the cache";
}

}  // namespace
}  // namespace orvex::test
