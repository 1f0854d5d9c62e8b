// Measured FFT plans change the order of the transforms' sums, not the analysis: orvex-cli run
// with measured plans and a fresh plan cache stores the same records as with estimated plans,
// up to float rounding, and says that it measures only the first time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "dsp/FrameRecord.h"
#include "support/Shell.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;
constexpr double kPhaseStep = 2.0 * M_PI / 65534.0;  // one phase code, about 1e-4 rad
const std::string kMeasuringLine = "measuring the fastest transforms of this machine (once)";

// A chord of three voices with vibrato and decaying partials, a kick-like click twice a second
// and a little noise; the right channel plays a third higher.
Channels musicLike() {
    Channels out;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = noise(kFrames, 0.01, std::uint32_t(c + 3));
        for (const double root : {220.0, 277.2, 329.6}) {
            const double f0 = root * (c ? 1.26 : 1.0);
            double phase = 0.0;
            for (std::int64_t t = 0; t < kFrames; ++t) {
                const double f = f0 * (1.0 + 0.004 * std::sin(2.0 * M_PI * 5.0 * double(t) / 44100.0));
                phase += 2.0 * M_PI * f / 44100.0;
                float v = 0.0f;
                for (int h = 1; h <= 5; ++h) v += float(0.08 / h * std::sin(double(h) * phase));
                signal[std::size_t(t)] += v;
            }
        }
        for (std::int64_t t = 1000; t + 400 < kFrames; t += 22050)
            for (int i = 0; i < 400; ++i)
                signal[std::size_t(t + i)] += float(0.5 * std::exp(-i / 60.0) * std::sin(2.0 * M_PI * 60.0 * i / 44100.0));
        out.push_back(std::move(signal));
    }
    return out;
}

std::vector<FrameRecord> readRecords(const fs::path& path) {
    std::vector<FrameRecord> records(fs::file_size(path) / sizeof(FrameRecord));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(records.data()),
                                               std::streamsize(records.size() * sizeof(FrameRecord)));
    return records;
}

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

bool nearlyEqual(float a, float b, float relative) { return std::fabs(a - b) <= relative * std::fabs(a) + 1e-12f; }

// Peaks of one record and not of the other, apart from a peak on one of two neighbouring bins
// whose magnitudes are the same to within one step (which of the two is higher is rounding).
int peaksApart(const FrameRecord& a, const FrameRecord& b) {
    auto peaks = [](const FrameRecord& r) {
        std::set<int> bins;
        for (int p = 0; p < kFrameRecordMaxPeaks && r.peakBins[p] != 0; ++p) bins.insert(r.peakBins[p]);
        return bins;
    };
    const std::set<int> x = peaks(a), y = peaks(b);
    int apart = 0;
    for (int bin : x) {
        if (y.count(bin)) continue;
        const bool moved = (y.count(bin - 1) || y.count(bin + 1)) &&
                           (std::abs(int(a.bins[bin].magnitude) - int(b.bins[bin].magnitude)) <= 1);
        apart += moved ? 0 : 1;
    }
    for (int bin : y)
        if (!x.count(bin) && !x.count(bin - 1) && !x.count(bin + 1)) ++apart;
    return apart;
}

// Header fields equal, or within float rounding; the same warp; every magnitude code
// within one step; phases within 2.5 steps where the bin is above -60 dB of the record's
// strongest (below that the phase of a near-zero value is rounding noise); the frequencies of
// the peaks within one step of the record's frequency scale.
void expectSameAnalysis(const FrameRecord& a, const FrameRecord& b, const std::string& where) {
    SCOPED_TRACE(where);
    ASSERT_EQ(a.valid, b.valid);
    EXPECT_EQ(a.frameIndex, b.frameIndex);
    EXPECT_EQ(a.frameSize, b.frameSize);
    EXPECT_EQ(a.overlap, b.overlap);
    EXPECT_EQ(a.zeroPaddingFactor, b.zeroPaddingFactor);
    EXPECT_EQ(a.regeneratePhases, b.regeneratePhases);
    ASSERT_EQ(a.warpFactor, b.warpFactor);
    EXPECT_TRUE(nearlyEqual(a.noisiness, b.noisiness, 1e-3f)) << a.noisiness << " " << b.noisiness;
    EXPECT_TRUE(nearlyEqual(a.minimumSample, b.minimumSample, 1e-4f));
    EXPECT_TRUE(nearlyEqual(a.maximumSample, b.maximumSample, 1e-4f));
    EXPECT_TRUE(nearlyEqual(a.magnitudeScale, b.magnitudeScale, 1e-4f));
    std::uint16_t strongest = 0;
    for (const FrameBinCodes& bin : a.bins) strongest = std::max(strongest, bin.magnitude);
    int far = 0;
    for (int k = 0; k < kFrameRecordMaxBins; ++k) {
        const FrameBinCodes& x = a.bins[k];
        const FrameBinCodes& y = b.bins[k];
        bool close = std::abs(int(x.magnitude) - int(y.magnitude)) <= 1;
        if (x.magnitude * 1000 >= strongest && x.phase != 0 && y.phase != 0) {
            const double turn = std::remainder(double(FrameRecord::decodePhase(x.phase)) -
                                                   double(FrameRecord::decodePhase(y.phase)), 2.0 * M_PI);
            close = close && std::fabs(turn) <= 2.5 * kPhaseStep;
        }
        if (!close && far++ == 0)
            ADD_FAILURE() << "bin " << k << ": magnitude " << x.magnitude << " / " << y.magnitude << " of " << strongest
                          << ", phase " << x.phase << " / " << y.phase;
    }
    EXPECT_EQ(far, 0);
    for (int p = 0; p < kFrameRecordMaxPeaks && a.peakBins[p] != 0; ++p) {
        const int bin = a.peakBins[p];
        EXPECT_NEAR(a.binFrequency(bin), b.binFrequency(bin), 1.5f * a.frequencyScale / 65535.0f) << "peak " << bin;
    }
}

TEST(CliMeasuredPlans, StoreTheRecordsOfEstimatedPlansAndMeasureOnce) {
    TempDir temp;
    const fs::path cache = temp.path() / "cache";
    fs::create_directories(temp.path() / "estimated");
    fs::create_directories(temp.path() / "measured");
    const std::string estimated = (temp.path() / "estimated" / "take.wav").string();
    const std::string measured = (temp.path() / "measured" / "take.wav").string();
    writeWave(estimated, musicLike(), 44100);
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
        ASSERT_EQ(a.size(), b.size());
        ASSERT_GT(a.size(), 1000u);
        // Picking a peak is a threshold decision that rounding can tip, rarely: in a frame or
        // two, one peak more or less.
        std::size_t framesApart = 0;
        for (std::size_t i = 0; i < a.size() && !::testing::Test::HasFailure(); ++i) {
            expectSameAnalysis(a[i], b[i], stream + " frame " + std::to_string(i));
            const int apart = peaksApart(a[i], b[i]);
            EXPECT_LE(apart, 1) << stream << " frame " << i;
            framesApart += apart > 0;
        }
        EXPECT_LE(framesApart * 200, a.size()) << stream;
    }

    fs::remove_all(temp.path() / "measured" / "take.analysis");
    const CliRun second = analyseWith("measure", cache, measured);
    ASSERT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.err.find(kMeasuringLine), std::string::npos) << "planned from the cache";
}

}  // namespace
}  // namespace orvex::test
