#include "support/RecordComparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <set>

namespace orvex::test {

namespace {

constexpr double kPhaseStep = 2.0 * M_PI / 65534.0;  // one phase code, about 1e-4 rad

bool nearlyEqual(float a, float b, float relative) { return std::fabs(a - b) <= relative * std::fabs(a) + 1e-12f; }

std::set<int> peaksOf(const FrameRecord& r) {
    std::set<int> bins;
    for (int p = 0; p < kFrameRecordMaxPeaks && r.peakBins[p] != 0; ++p) bins.insert(r.peakBins[p]);
    return bins;
}

// Bins whose magnitude codes differ by more than one step, or whose phases (where they matter)
// by more than 2.5 steps; the first one is reported.
int binsApart(const FrameRecord& a, const FrameRecord& b) {
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
    return far;
}

}  // namespace

std::vector<FrameRecord> readRecords(const std::filesystem::path& path) {
    std::vector<FrameRecord> records(std::filesystem::file_size(path) / sizeof(FrameRecord));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(records.data()),
                                               std::streamsize(records.size() * sizeof(FrameRecord)));
    return records;
}

int peaksApart(const FrameRecord& a, const FrameRecord& b) {
    const std::set<int> x = peaksOf(a), y = peaksOf(b);
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
    EXPECT_EQ(binsApart(a, b), 0);
    for (int p = 0; p < kFrameRecordMaxPeaks && a.peakBins[p] != 0; ++p) {
        const int bin = a.peakBins[p];
        EXPECT_NEAR(a.binFrequency(bin), b.binFrequency(bin), 1.5f * a.frequencyScale / 65535.0f) << "peak " << bin;
    }
}

void expectSameStream(const std::vector<FrameRecord>& a, const std::vector<FrameRecord>& b, const std::string& stream,
                      std::size_t fewestRecords) {
    ASSERT_EQ(a.size(), b.size()) << stream;
    ASSERT_GE(a.size(), fewestRecords) << stream;
    std::size_t framesApart = 0;
    for (std::size_t i = 0; i < a.size() && !::testing::Test::HasFailure(); ++i) {
        expectSameAnalysis(a[i], b[i], stream + " frame " + std::to_string(i));
        const int apart = peaksApart(a[i], b[i]);
        EXPECT_LE(apart, 1) << stream << " frame " << i;
        framesApart += apart > 0;
    }
    EXPECT_LE(framesApart * 200, a.size()) << stream;
}

}  // namespace orvex::test
