// A signal analysed into a file set comes back out of the channel's grains with the gain and
// delay worked out from the analysis and synthesis stages; and a writer appending frames while
// another thread reads records and display columns (run under ThreadSanitizer).

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <complex>
#include <thread>

#include "dsp/SpectralProcessor.h"
#include "store/KVAnalysisFileSet.h"
#include "store/StoreRecords.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex {
namespace {

constexpr double kPi = 3.14159265358979323846;

class SignalPathTest : public test::PlatformFixture {
protected:
    std::unique_ptr<KVAnalysisFileSet> open(int channels) {
        return KVAnalysisFileSet::initByOpeningFileAtPath(temp().file("take.wav"), 44100.0, 4, 4096, 32, channels, true,
                                                          true);
    }
};

void appendToChannel(FrameRecord* record, std::int32_t channel, void* userData) {
    static_cast<KVAnalysisFileSet*>(userData)->appendFrameRecord(*record, channel);
}

// Magnitude of a first-order filter a + b z^-1 at angular frequency w.
double filterGain(double a, double b, double w) { return std::abs(std::complex<double>(a) + b * std::polar(1.0, -w)); }

// Analysis frame k holds input samples k x 128 - 3968 ... k x 128 + 127, and its grain sample j
// streams out at (k + 1) x 128 + j: a delay of 4096 samples. The gain is that of the Hann^2
// overlap-add of the synthesis (0.975), its lift 1.5 - 0.5 z^-1, the stream's emphasis
// 1.25 - 0.25 z^-1 and the 16-bit code (32766 / 32767).
TEST_F(SignalPathTest, AnalysedSineStreamsBackWithKnownGainAndDelay) {
    const double frequency = 1500.0;
    const int frames = 96;
    const std::vector<float> signal = test::sine(frequency, 44100.0, frames * 128, 0.4);
    auto set = open(1);
    SpectralProcessor analysis(4096, 32, 4, 44100.0);
    analysis.setAnalysisCallback(appendToChannel, set.get(), 0);
    analysis.feedSamples(static_cast<std::int64_t>(signal.size()), signal.data());
    ASSERT_EQ(set->chunkFileForChannel(0)->frameCount(), frames);

    std::vector<float> out(frames * 128);
    float* channels[1] = {out.data()};
    set->setPlayPosition(0);
    ASSERT_EQ(set->readAudio(static_cast<FrameCount>(out.size()), channels, 0), 0);

    const int delay = 4096;
    const double w = 2 * kPi * frequency / 44100.0;
    const double gain = 0.975 * filterGain(1.5, -0.5, w) * filterGain(1.25, -0.25, w) * 32766.0 / 32767.0;
    const double phaseShift = std::arg(std::complex<double>(1.5) - 0.5 * std::polar(1.0, -w)) +
                              std::arg(std::complex<double>(1.25) - 0.25 * std::polar(1.0, -w));
    // Steady state only: the first 4096 input samples met a partly empty analysis window.
    double worst = 0.0, peak = 0.0;
    for (int t = delay + 4096 + 256; t < frames * 128; ++t) {
        const double expected = gain * 0.4 * std::sin(w * (t - delay) + phaseShift);
        worst = std::max(worst, std::fabs(out[t] - expected));
        peak = std::max(peak, std::fabs(double(out[t])));
    }
    EXPECT_NEAR(peak, gain * 0.4, 0.005 * gain * 0.4);
    EXPECT_LT(worst, 0.002 * gain * 0.4);  // a one-sample shift would leave 20 %
}

TEST_F(SignalPathTest, ReadersSeeWholeFramesWhileAWriterAppends) {
    auto set = open(1);
    const int frames = 48;
    std::atomic<bool> done{false};
    std::atomic<int> mismatches{0};
    std::thread reader([&] {
        auto record = FrameRecord::create();
        std::vector<DisplayColumn> columns(4);
        std::vector<FrameSummary> summaries(4);
        while (!done.load()) {
            const FrameCount available = set->frameCount();
            for (FramePos f = 0; f < available; f += 5) {
                // The overview may be one frame ahead of channel 0 here.
                if (set->readFrameRecord(f, *record, -1) == 0 &&
                    !test::sameApartFromSampleRange(*record, *test::partialsRecord(static_cast<int>(f))))
                    ++mismatches;
            }
            const FrameCount got = set->readDisplayColumns(columns.data(), 0, 4, -1, DisplayColumnKind::harmonic);
            for (FrameCount i = 0; i < got; ++i)
                if (columns[i].valid != 1) ++mismatches;
            set->readFrameSummaries(summaries.data(), 0, 4, -1);
            set->hasAudio();
        }
    });
    for (int f = 0; f < frames; ++f) {
        auto record = test::partialsRecord(f);
        set->appendFrameRecord(*record, -1);
        set->appendFrameRecord(*record, 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(set->frameCount(), frames);
}

}  // namespace
}  // namespace orvex
