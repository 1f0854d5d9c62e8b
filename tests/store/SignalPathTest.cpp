// A signal analysed into a file set comes back out of the channel's grains through the filter
// chain worked out from the analysis and synthesis stages; and a writer appending frames while
// another thread reads records and display columns (run under ThreadSanitizer).

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <thread>

#include "dsp/SpectralProcessor.h"
#include "store/KVAnalysisFileSet.h"
#include "store/StoreRecords.h"
#include "support/Signals.h"

namespace orvex {
namespace {

using SignalPathTest = test::FileSetFixture;

void appendToChannel(FrameRecord* record, std::int32_t channel, void* userData) {
    static_cast<KVAnalysisFileSet*>(userData)->appendFrameRecord(*record, channel);
}

// Sound analysed into a chunk file and streamed back from its grains (synthesis, 16-bit grain
// coding, the stream's emphasis and overlap-add) is the input itself: tones over the band and
// quiet noise, at their own level and time, sample for sample.
TEST_F(SignalPathTest, AnalysedSoundStreamsBackAsItWentIn) {
    const std::int64_t length = 2 * 44100;
    auto input = test::sine(220, 44100.0, length, 0.3);
    test::mixInto(input, test::sine(1000, 44100.0, length, 0.2, 1.0));
    test::mixInto(input, test::sine(9500, 44100.0, length, 0.1, 2.0));
    test::mixInto(input, test::noise(length, 0.003, 5));
    auto set = open(1, true);
    SpectralProcessor analysis(4096, 32, 4, 44100.0);
    analysis.setAnalysisCallback(appendToChannel, set.get(), 0);
    analysis.feedSamples(length, input.data());
    ASSERT_EQ(set->chunkFileForChannel(0)->frameCount(), length / 128);

    std::vector<float> out(static_cast<std::size_t>(length));
    float* channels[1] = {out.data()};
    set->setPlayPosition(0);
    ASSERT_EQ(set->readAudio(static_cast<FrameCount>(out.size()), channels, 0), 0);

    // Sample t of the input comes out at t + 4096 (one grain of lead-in). Steady state only:
    // the first 4096 input samples met a partly empty analysis window, the last ones frames
    // that were never analysed.
    constexpr std::int64_t kDelay = 4096;
    double signal = 0.0, error = 0.0;
    for (std::int64_t t = kDelay + 4096; t < length; ++t) {
        signal += double(input[t - kDelay]) * input[t - kDelay];
        error += std::pow(double(out[t]) - input[t - kDelay], 2.0);
    }
    const double snr = 10.0 * std::log10(signal / error);
    std::printf("stored round trip against the input: %.1f dB\n", snr);
    // The noise reaches 22 kHz, and a frame analysed with a warp cannot hold what lies above
    // about 19.9 kHz; the tones alone come back within 90 dB. A one-sample shift would leave
    // less than 20 dB, a 1 % gain error 40 dB.
    EXPECT_GT(snr, 60.0);
}

TEST_F(SignalPathTest, ReadersSeeWholeFramesWhileAWriterAppends) {
    auto set = open(1, true);
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
