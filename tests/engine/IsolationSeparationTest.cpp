// Whole-segment operations on an analysed tone + clicks + noise: what they keep is measured
// against the signal's known parts, and the copying operations against the analysis records.

#include <gtest/gtest.h>

#include <cmath>

#include "AnalysedSignal.h"
#include "common/Pitch.h"
#include "engine/KVIsolationOperations.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

constexpr std::int64_t kFrames = 88200;  // 2 s
constexpr std::int64_t kDelay = 4096;    // analysis + overlap-add delay of the rendered grains

// The rendered grains carry the synthesis gain and two first-order emphasis stages; applying
// the same stages to a clean signal gives what a perfect separation would render.
std::vector<double> throughRenderStages(const std::vector<float>& x) {
    std::vector<double> a(x.size()), b(x.size());
    for (std::size_t n = 0; n < x.size(); ++n) a[n] = 1.5 * x[n] - (n ? 0.5 * x[n - 1] : 0.0);
    for (std::size_t n = 0; n < x.size(); ++n) b[n] = (1.25 * a[n] - (n ? 0.25 * a[n - 1] : 0.0)) * 0.975;
    return b;
}

struct Fit {
    double gain = 0.0, snrDb = 0.0;
};

// Least-squares gain of reference against out over [from, to) and the SNR of what remains.
Fit fitAgainst(const std::vector<float>& out, const std::vector<double>& reference, std::int64_t from, std::int64_t to) {
    double cross = 0.0, power = 0.0;
    for (std::int64_t t = from; t < to; ++t) {
        cross += out[t] * reference[t - kDelay];
        power += reference[t - kDelay] * reference[t - kDelay];
    }
    Fit fit;
    fit.gain = cross / power;
    double error = 0.0;
    for (std::int64_t t = from; t < to; ++t) error += std::pow(out[t] - fit.gain * reference[t - kDelay], 2.0);
    fit.snrDb = 10.0 * std::log10(fit.gain * fit.gain * power / error);
    return fit;
}

// Mean power within `reach` samples of each (delayed) click against the mean power elsewhere.
double clickContrast(const std::vector<float>& out, const std::vector<std::int64_t>& clicks, std::int64_t delay,
                     std::int64_t reach) {
    std::vector<bool> near(out.size(), false);
    for (std::int64_t c : clicks)
        for (std::int64_t t = c + delay - reach; t < c + delay + reach; ++t)
            if (t >= 0 && t < std::int64_t(out.size())) near[t] = true;
    double inside = 0.0, outside = 0.0;
    // Every frame that saw a click renders it over the grain's span, centred 4096 samples on.
    std::int64_t nInside = 0, nOutside = 0;
    for (std::int64_t t = 8192; t < std::int64_t(out.size()) - 4096; ++t) {
        (near[t] ? inside : outside) += double(out[t]) * out[t];
        ++(near[t] ? nInside : nOutside);
    }
    return (inside / double(nInside)) / (outside / double(nOutside));
}

class IsolationSeparationTest : public test::SharedAnalysisTest {
protected:
    void SetUp() override {
        SharedAnalysisTest::SetUp();
        openSelection(kFrames);
    }
};

TEST_F(IsolationSeparationTest, SustainedKeepsTheToneAndDropsClicksAndNoise) {
    const auto& signal = mShared->signal;
    std::vector<int> progress;
    mOps->setProgressHandler([&](int percent) { progress.push_back(percent); });
    mOps->isolateDeterministic();
    ASSERT_EQ(mSelection->frameCount(), analysis().frameCount());
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GE(progress.back(), 99);

    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float> out = test::renderChannel(*mSelection, channel, kFrames);
        const Fit kept = fitAgainst(out, throughRenderStages(signal.tone[channel]), 3 * kDelay, kFrames - 512);
        // The same measure of the unprocessed mixture, through the same render stages.
        std::vector<float> input(signal.mix[channel].begin(), signal.mix[channel].end());
        std::vector<float> delayedInput(kFrames, 0.0f);
        const std::vector<double> staged = throughRenderStages(input);
        for (std::int64_t t = kDelay; t < kFrames; ++t) delayedInput[t] = float(staged[t - kDelay]);
        const Fit before = fitAgainst(delayedInput, throughRenderStages(signal.tone[channel]), 3 * kDelay, kFrames - 512);
        RecordProperty("sustained_snr_db_channel" + std::to_string(channel), std::to_string(kept.snrDb));
        EXPECT_GT(kept.snrDb, 15.0);
        EXPECT_GT(kept.snrDb, before.snrDb + 6.0);
        EXPECT_GT(kept.gain, 0.5);
    }
}

TEST_F(IsolationSeparationTest, TransientsKeepTheClicks) {
    const auto& signal = mShared->signal;
    mOps->isolateStochastic();
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float> out = test::renderChannel(*mSelection, channel, kFrames);
        std::vector<float> input(kFrames, 0.0f);
        for (std::int64_t t = kDelay; t < kFrames; ++t) input[t] = signal.mix[channel][t - kDelay];
        const double kept = clickContrast(out, signal.clickPositions, kDelay, 4096);
        const double original = clickContrast(input, signal.clickPositions, kDelay, 4096);
        RecordProperty("transient_contrast_channel" + std::to_string(channel), std::to_string(kept));
        EXPECT_GT(kept, 5.0 * original);
        EXPECT_GT(kept, 5.0);
    }
}

// Sum of squared magnitudes of channel 0 over frames [from, to) and the bins a filter accepts.
template <typename Bins>
double energy(KVAnalysisFileSet& set, FramePos from, FramePos to, Bins accept) {
    auto record = FrameRecord::create();
    double sum = 0.0;
    for (FramePos f = from; f < to; ++f) {
        if (set.readFrameRecord(f, *record, 0) != 0) continue;
        const std::vector<float> m = record->decodeMagnitudes();
        for (int k = 0; k < 8192; ++k)
            if (accept(k)) sum += double(m[k]) * m[k];
    }
    return sum;
}

// In Extract mode the multi pencil takes the partials whole and, like fill gaps in that mode,
// the frame's non-tonal residue with them: only steady bins away from the partials are damped
// and the strongest peaks suppressed, so a broadband click passes almost whole. The single
// pencil takes the fundamental alone.
TEST_F(IsolationSeparationTest, PencilsAlongTheFundamentalSelectThePartials) {
    const double fundamental = mShared->signal.fundamental;
    auto partialBins = [&](int lowest, int highest) {
        return [=](int k) {
            const double h = std::round(k * 2.6916504 / fundamental);
            return h >= lowest && h <= highest && std::fabs(k * 2.6916504 - h * fundamental) < 8.0;
        };
    };
    auto awayFromTone = [&](int k) { return k >= 800 && k < 4000; };  // 2150 .. 10770 Hz
    const auto pitch = std::int64_t(std::lround(pitchOfHertz(fundamental)));
    ASSERT_EQ(pitch, 342);
    const std::vector<KVPathPoint> path{{0, pitch}, {60, pitch}, {120, pitch}, {172, pitch}};
    KVPencilSettings settings;
    settings.documentMode = DocumentMode::Extract;
    // Frames 40-79 hold only tone and noise; the click at sample 11025 fills frames 86-117.
    auto kept = [&](auto bins, FramePos from, FramePos to) {
        return energy(*mSelection, from, to, bins) / energy(analysis(), from, to, bins);
    };

    settings.tool = AnalysisTool::multiPencil;
    mOps->pencilPath(path, settings);
    ASSERT_EQ(mSelection->frameCount(), analysis().frameCount());
    const double partials = kept(partialBins(1, 5), 40, 80), clickBand = kept(awayFromTone, 90, 114);
    RecordProperty("multi_pencil_partials_kept", std::to_string(partials));
    RecordProperty("multi_pencil_click_band_kept", std::to_string(clickBand));
    EXPECT_GT(partials, 0.9);
    EXPECT_GT(clickBand, 0.9);
    EXPECT_LE(clickBand, 1.0);
    EXPECT_EQ(energy(*mSelection, 173, 260, partialBins(1, 5)), 0.0);  // past the path nothing is selected

    mSelection->setFrameCount(0);
    settings.tool = AnalysisTool::singlePencil;
    mOps->pencilPath(path, settings);
    const double single = kept(partialBins(1, 1), 40, 80);
    RecordProperty("single_pencil_fundamental_kept", std::to_string(single));
    EXPECT_GT(single, 0.9);
    EXPECT_EQ(energy(*mSelection, 40, 80, partialBins(2, 5)), 0.0);
    EXPECT_EQ(energy(*mSelection, 90, 114, awayFromTone), 0.0);
}

}  // namespace
}  // namespace orvex
