#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "dsp/FrameRecord.h"
#include "engine/KVPreviewExchange.h"

namespace orvex {
namespace {

constexpr float kBinHz = 44100.0f / 16384.0f;

// A valid record whose bins carry their nominal frequencies and magnitude 1, with one peak.
std::unique_ptr<FrameRecord> flatRecord(int peakBin) {
    auto record = FrameRecord::create();
    record->valid = 1;
    record->zeroPaddingFactor = 4;
    record->frameSize = 4096;
    record->overlap = 32;
    record->warpFactor = 1.02f;
    std::vector<float> magnitudes(8192, 1.0f), frequencies(8192);
    for (int k = 0; k < 8192; ++k) frequencies[std::size_t(k)] = float(k) * kBinHz;
    record->encodeMagnitudesAndFrequencies(magnitudes, frequencies);
    for (int j = 0; j < kFrameRecordMaxPeaks; ++j) record->peakBins[j] = 8191;
    record->peakBins[0] = std::uint16_t(peakBin);
    return record;
}

// Bins the preview should keep: stored frequency within a quarter tone of one of the harmonics,
// at their own magnitude (1 in the flat record).
std::vector<float> expectedMagnitudes(const FrameRecord& record, float f, const std::vector<float>& harmonics) {
    const std::vector<float> frequencies = record.decodeFrequencies();
    std::vector<float> out(8192, 0.0f);
    const double tolerance = std::pow(2.0, 1.0 / 24.0) - 1.0;
    for (float h : harmonics)
        for (std::size_t k = 0; k < 8192; ++k)
            if (std::fabs(double(frequencies[k]) - double(h) * f) <= double(h) * f * tolerance) out[k] = 1.0f;
    return out;
}

void expectMagnitudes(const FrameRecord& record, const std::vector<float>& expected) {
    const std::vector<float> got = record.decodeMagnitudes();
    int kept = 0;
    for (std::size_t k = 0; k < expected.size(); ++k) {
        ASSERT_NEAR(got[k], expected[k], 4e-3f) << "bin " << k;
        kept += expected[k] > 0.0f;
    }
    EXPECT_GT(kept, 0);
}

TEST(HarmonicPreview, PencilsKeepTheirHarmonicsAndSnapLocksToTheNearestPeak) {
    auto record = flatRecord(163);  // 438.8 Hz
    const float peak = 163 * kBinHz;
    auto out = FrameRecord::create();

    ASSERT_TRUE(KVPreviewExchange::harmonicPreview(*record, 470.0f, 1, false, *out));
    expectMagnitudes(*out, expectedMagnitudes(*record, 470.0f, {1.0f}));
    EXPECT_FLOAT_EQ(out->warpFactor, 1.02f);

    ASSERT_TRUE(KVPreviewExchange::harmonicPreview(*record, 470.0f, 1, true, *out));
    expectMagnitudes(*out, expectedMagnitudes(*record, peak, {1.0f}));
    // Frequencies survive only in kept bins.
    EXPECT_NEAR(out->binFrequency(163), peak, 0.5f);
    EXPECT_EQ(out->binFrequency(200), 0.0f);

    // The multi and F1 pencils visit their harmonic series, up to 22 050 Hz, of valid records.
    record = flatRecord(8191);
    std::vector<float> whole, halves;
    for (float h = 1.0f; h * 3000.0f <= 22050.0f; h += 1.0f) whole.push_back(h);
    for (float h = 0.5f; h * 3000.0f <= 22050.0f; h += 0.5f) halves.push_back(h);
    ASSERT_TRUE(KVPreviewExchange::harmonicPreview(*record, 3000.0f, 0, false, *out));
    expectMagnitudes(*out, expectedMagnitudes(*record, 3000.0f, whole));
    ASSERT_TRUE(KVPreviewExchange::harmonicPreview(*record, 3000.0f, 2, false, *out));
    expectMagnitudes(*out, expectedMagnitudes(*record, 3000.0f, halves));

    // Above 22 050 Hz the frequency is limited there: the top bins around 22 050 Hz stay.
    ASSERT_TRUE(KVPreviewExchange::harmonicPreview(*record, 90000.0f, 0, false, *out));
    expectMagnitudes(*out, expectedMagnitudes(*record, 22050.0f, {1.0f}));
    // An invalid record writes nothing.
    out->noisiness = 0.25f;
    record->valid = 0;
    EXPECT_FALSE(KVPreviewExchange::harmonicPreview(*record, 440.0f, 0, false, *out));
    EXPECT_EQ(out->noisiness, 0.25f);
}

}  // namespace
}  // namespace orvex
