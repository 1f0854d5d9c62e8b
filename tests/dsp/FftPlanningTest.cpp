// The cache of measured FFT plans: what it writes is read back, a damaged or foreign file is
// replaced, and without a writable cache the plans are estimated.
#include <gtest/gtest.h>

#include <fftw3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dsp/FftPlanning.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSize = 512;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Plans a real transform of kSize through the planning and records the flags of every try.
struct PlanProbe {
    std::vector<float> input = std::vector<float>(kSize);
    std::vector<fftwf_complex> output = std::vector<fftwf_complex>(kSize / 2 + 1);
    std::vector<unsigned> tries;

    bool planWith(FftPlanning& planning) {
        void* plan = planning.plan([this](unsigned flags) {
            tries.push_back(flags);
            return static_cast<void*>(fftwf_plan_dft_r2c_1d(kSize, input.data(), output.data(), flags));
        });
        if (plan) fftwf_destroy_plan(static_cast<fftwf_plan>(plan));
        return plan != nullptr;
    }
};

class FftPlanningTest : public ::testing::Test {
protected:
    // Wisdom is process-wide: each case starts without any.
    void SetUp() override { fftwf_forget_wisdom(); }
    void TearDown() override { fftwf_forget_wisdom(); }

    TempDir temp;
    fs::path cache = temp.path() / "cache" / "orvex" / "fftw-wisdom";
};

TEST_F(FftPlanningTest, MeasuresOnceAndTheNextProcessPlansFromTheCache) {
    int notices = 0;
    FftPlanning::setMeasuringNotice([&notices] { ++notices; });
    {
        FftPlanning first(cache);
        EXPECT_EQ(first.mode(), FftPlanning::Mode::Measure);
        EXPECT_FALSE(first.loadedWisdom());
        PlanProbe probe;
        ASSERT_TRUE(probe.planWith(first));
        // Tried from wisdom, then measured.
        EXPECT_EQ(probe.tries, (std::vector<unsigned>{FFTW_MEASURE | FFTW_WISDOM_ONLY, FFTW_MEASURE}));
        PlanProbe again;
        ASSERT_TRUE(again.planWith(first));
        EXPECT_EQ(again.tries.size(), 1u) << "a size measured once is planned from wisdom";
    }
    EXPECT_EQ(notices, 1);
    const std::string text = readAll(cache);
    EXPECT_EQ(text.rfind(std::string("orvex fft wisdom ") + fftwf_version + "\n(fftw-", 0), 0u) << text;

    fftwf_forget_wisdom();  // as a new process starts
    FftPlanning next(cache);
    EXPECT_TRUE(next.loadedWisdom());
    PlanProbe probe;
    ASSERT_TRUE(probe.planWith(next));
    EXPECT_EQ(probe.tries, (std::vector<unsigned>{FFTW_MEASURE | FFTW_WISDOM_ONLY}));
    EXPECT_EQ(notices, 1) << "nothing measured, nothing said";
    FftPlanning::setMeasuringNotice({});
}

TEST_F(FftPlanningTest, DamagedOrForeignCacheIsIgnoredAndReplaced) {
    std::string good;
    {
        FftPlanning maker(cache);
        PlanProbe probe;
        ASSERT_TRUE(probe.planWith(maker));
        good = readAll(cache);
    }
    const std::string header = std::string("orvex fft wisdom ") + fftwf_version + "\n";
    const std::string wisdom = good.substr(header.size());
    const std::vector<std::string> bad{
        header + wisdom.substr(0, wisdom.size() / 2),  // cut short
        header + "(fftw-3.3.10 fftwf_wisdom #x0 (nonsense",
        "orvex fft wisdom fftw-3.2.1-sse2\n" + wisdom,  // another FFTW version
        wisdom,                                         // no header line
        "",
    };
    for (const std::string& text : bad) {
        fftwf_forget_wisdom();
        writeAll(cache, text);
        FftPlanning planning(cache);
        EXPECT_FALSE(planning.loadedWisdom()) << text.substr(0, 60);
        EXPECT_EQ(planning.mode(), FftPlanning::Mode::Measure);
        PlanProbe probe;
        ASSERT_TRUE(probe.planWith(planning));
        EXPECT_EQ(probe.tries.back(), unsigned(FFTW_MEASURE)) << "measured again";
        fftwf_forget_wisdom();
        EXPECT_TRUE(FftPlanning(cache).loadedWisdom()) << "replaced by a cache that reads";
    }
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(cache.parent_path(), error))
        EXPECT_EQ(entry.path().filename(), "fftw-wisdom") << "no temporary file is left";
}

TEST_F(FftPlanningTest, EstimatesWhenTheCacheCannotBeWrittenOrWhenAsked) {
    writeAll(temp.path() / "cache", "a file where the cache folder would be");
    FftPlanning blocked(cache);
    EXPECT_EQ(blocked.mode(), FftPlanning::Mode::Estimate);
    PlanProbe probe;
    ASSERT_TRUE(probe.planWith(blocked));
    EXPECT_EQ(probe.tries, (std::vector<unsigned>{FFTW_ESTIMATE}));

    FftPlanning asked(temp.path() / "elsewhere" / "fftw-wisdom", false);
    EXPECT_EQ(asked.mode(), FftPlanning::Mode::Estimate);
    EXPECT_FALSE(fs::exists(temp.path() / "elsewhere" / "fftw-wisdom"));
}

}  // namespace
}  // namespace orvex::test
