#include "dsp/DisplayColourMap.h"
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"
#include "support/Signals.h"
#include "AnalysisHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

using namespace orvex;

namespace {

// The colour map worked out in double precision, independently of the single-precision code.
std::array<double, 3> referenceColour(double x) {
    x = std::clamp(x, 0.0, 1.0);
    const double t = 2.0 * std::numbers::pi * x + 4.1887903;
    const double base[3] = {0.5 + 0.5 * std::sin(t), 0.5 - 0.5 * std::cos(t), 0.5 - 0.5 * std::sin(t)};
    const double white = x * x * x * x;
    std::array<double, 3> out{};
    for (int i = 0; i < 3; ++i) out[i] = (65535.0 * base[i] * std::sqrt(x) * (1.0 - white) + 65535.0 * white) / 65536.0;
    return out;
}

// A valid record (8192 bins at the analysis frame size) with the given bins; everything else
// 0 Hz, 0. The largest frequency becomes the scale, so it decodes exactly.
struct BinValue {
    int bin;
    float frequency;
    float magnitude;
};
std::unique_ptr<FrameRecord> recordWith(const std::vector<BinValue>& values, std::uint16_t frameSize = 4096) {
    auto r = FrameRecord::create();
    r->frameSize = frameSize;
    r->zeroPaddingFactor = 4;
    r->valid = 1;
    std::vector<float> f(8192, 0.0f), m(8192, 0.0f);
    for (const BinValue& v : values) {
        f[v.bin] = v.frequency;
        m[v.bin] = v.magnitude;
    }
    r->encodeMagnitudesAndFrequencies(m, f);
    return r;
}

std::vector<std::uint8_t> bytesOf(const DisplayColumn& c) {
    std::vector<std::uint8_t> b(12016);
    std::memcpy(b.data(), &c, b.size());
    return b;
}

// ---- double-precision references, from the record's own decoding ----------------------

// (log2(f x 0.0022727272727272726) x 12 + 69) x 6, truncated and clamped to 0 .. highest.
int referenceRow(double frequency, int highest) {
    const double row = (std::log2(frequency * 0.0022727272727272726) * 12.0 + 69.0) * 6.0;
    if (!(row >= 0.0)) return 0;
    return row >= highest ? highest : int(row);
}

using Pixels = std::vector<std::array<int, 4>>;  // 1500 rows of r, g, b, a

Pixels referenceSpectral(const FrameRecord& r) {
    const std::vector<float> f = r.decodeFrequencies(), m = r.decodeMagnitudes();
    const double bins = double(f.size());
    Pixels rows(1500, {0, 0, 0, 0});
    for (size_t k = 0; k < f.size(); ++k) {
        const double q = std::clamp(k == 0 ? 0.0 : std::fabs(double(f[k]) - f[k - 1]) * bins / 22050.0, 0.0, 1.0);
        // A bin without a measured frequency (0) is not drawn.
        const double drawn = f[k] > 0.0f ? m[k] : 0.0;
        const double level = std::clamp((f[k] / 1102.5 + 1.0) * drawn / 155.0, 0.0, 1.0);
        const double v = 255.0 * std::min(1.0, 1.1 * std::pow(level, 0.9));
        const double yellow = (1.0 - q) * v, blue = q * v;
        std::array<int, 4>& px = rows[referenceRow(f[k], 1498)];
        if (int(2.5 * px[2] + px[1] + px[0]) <= int(2.5 * blue + yellow + yellow)) px = {int(yellow), int(yellow), int(blue), 0};
        px[3] = 255;
    }
    return rows;
}

Pixels referenceHarmonic(const FrameRecord& r) {
    const int bins = r.binCount();
    auto frequency = [&](int j) { return r.peakBins[j] < bins ? double(r.binFrequency(r.peakBins[j])) : 0.0; };
    auto magnitude = [&](int j) { return r.peakBins[j] < bins ? double(r.binMagnitude(r.peakBins[j])) : 0.0; };
    Pixels rows(1500, {0, 0, 0, 0});
    for (int j = 0; j < 254; ++j) {
        const double fj = frequency(j), aj = magnitude(j);
        std::array<double, 3> sum{};
        for (int i = j; i < 254 && fj >= 1.0 && fj <= 22050.0; ++i) {
            const double fi = frequency(i);
            const auto c = referenceColour(fi / 22050.0);
            // Only multiples within 5 % of fi can lie within 4 % of it; each is tested exactly.
            const double first = std::max(1.0, std::floor(fi / (1.05 * fj)));
            for (double n = first; n * fj <= 22050.0 && n * fj <= 1.05 * fi; ++n) {
                if (!(std::fabs(n * fj - fi) < 0.04 * n * fj)) continue;
                for (int ch = 0; ch < 3; ++ch) sum[ch] += 0.5 * c[ch] * 0.03125 * magnitude(i) / n;
            }
        }
        const int centre = referenceRow(fj, 1499);
        for (double t = std::trunc(-0.01 * aj); t < 0.01 * aj; ++t) {
            std::array<int, 4>& px = rows[std::clamp(centre + int(t), 0, 1499)];
            for (int ch = 0; ch < 3; ++ch) px[ch] = int(std::clamp(sum[ch], 0.0, 1.0) * 255.0);
            px[3] = 255;
        }
    }
    return rows;
}

std::array<int, 3> referenceSummaryColour(const FrameRecord& r) {
    const std::vector<float> f = r.decodeFrequencies(), m = r.decodeMagnitudes();
    std::array<double, 3> sum{};
    for (size_t k = 0; k < f.size(); ++k) {
        const auto c = referenceColour(f[k] / 22050.0);
        for (int ch = 0; ch < 3; ++ch) sum[ch] += 0.5 * m[k] * c[ch];
    }
    std::array<int, 3> bytes{};
    for (int ch = 0; ch < 3; ++ch) bytes[ch] = int(std::clamp(sum[ch] / double(f.size()), 0.0, 1.0) * 255.0);
    return bytes;
}

// Records as the analysis writes them: a harmonic tone with vibrato-free partials over noise,
// and a chirp over louder noise, analysed at N 4096, overlap 32, zero padding 4.
std::vector<std::unique_ptr<FrameRecord>> analysedRecords() {
    constexpr double kRate = 44100.0;
    const std::int64_t length = 4096 + 128 * 24;
    std::vector<float> tone = test::noise(length, 0.02, 7);
    for (int n = 1; n <= 12; ++n) test::mixInto(tone, test::sine(196.0 * n, kRate, length, 0.3 / n));
    std::vector<float> sweep = test::chirp(150.0, 9000.0, kRate, length, 0.4);
    test::mixInto(sweep, test::noise(length, 0.1, 11));
    std::vector<std::unique_ptr<FrameRecord>> records;
    for (const std::vector<float>* signal : {&tone, &sweep}) {
        SpectralProcessor processor(4096, 32, 4, kRate);
        test::RecordSink sink;
        sink.attach(processor);
        processor.feedSamples(std::int64_t(signal->size()), signal->data());
        for (size_t i = 8; i < sink.records.size(); i += 4) records.push_back(std::move(sink.records[i]));
    }
    return records;
}

// A noisy frame's record: 254 distinct peaks from 20 Hz to 11 kHz over random bins.
std::unique_ptr<FrameRecord> densePeakRecord() {
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<BinValue> values;
    for (int k = 1; k < 8192; ++k) values.push_back({k, (k + unit(gen) - 0.5f) * 2.6916504f, 2.0f * unit(gen) * unit(gen)});
    std::vector<int> peaks;
    for (int j = 0; j < 254; ++j) peaks.push_back(8 + j * 16 + int(unit(gen) * 8));
    for (int p : peaks) values[p - 1].magnitude = 5.0f + 60.0f * unit(gen);
    auto r = recordWith(values);
    for (int j = 0; j < 255; ++j) r->peakBins[j] = std::uint16_t(j < 254 ? peaks[j] : 4096);
    return r;
}

}  // namespace

TEST(DisplayColourMap, RunsFromBlackToWhiteThroughTheHueCircle) {
    for (double x : {-3.0, 0.0, 0.02, 0.1, 0.25, 0.5, 0.8, 0.95, 1.0, 5.0}) {
        auto expected = referenceColour(x);  // clamped: white from 1 up, black below 0
        DisplayColour c = displayColour(float(x));
        EXPECT_NEAR(c.red, expected[0], 2e-5) << x;
        EXPECT_NEAR(c.green, expected[1], 2e-5) << x;
        EXPECT_NEAR(c.blue, expected[2], 2e-5) << x;
    }
}

TEST(DisplayDerivations, InvalidRecordGivesHeaderOnlyColumnsAndBlankSummary) {
    auto r = recordWith({{163, 440.0f, 100.0f}});
    r->peakBins[0] = 163;
    r->maximumSample = 0.5f;
    r->valid = 0;
    std::vector<std::uint8_t> expected(12016, 0);
    expected[0] = 12016 & 0xFF;
    expected[1] = 12016 >> 8;
    expected[4] = 1500 & 0xFF;
    expected[5] = 1500 >> 8;
    EXPECT_EQ(bytesOf(*spectralColumn(*r)), expected);
    EXPECT_EQ(bytesOf(*harmonicColumn(*r)), expected);
    FrameSummary s = frameSummary(*r);
    std::uint8_t bytes[8];
    std::memcpy(bytes, &s, 8);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 8), (std::vector<std::uint8_t>{0, 0, 0, 255, 0, 0, 0, 0}));
}

// The mean colour is held to the reference in RealisticRecordsMatchTheDoublePrecisionReference;
// the sample range bytes are (sample + 1) x 127.5, saturating beyond full scale.
TEST(DisplayFrameSummary, SampleRangeBytes) {
    auto r = recordWith({{163, 440.0f, 100.0f}});
    const struct {
        float maximum, minimum;
        int maximumLevel, minimumLevel;
    } cases[] = {{0.5f, -0.25f, 191, 95}, {3.0f, -2.0f, 255, 0}};
    for (const auto& c : cases) {
        r->maximumSample = c.maximum;
        r->minimumSample = c.minimum;
        const FrameSummary s = frameSummary(*r);
        EXPECT_EQ(s.maximumLevel, c.maximumLevel) << c.maximum;
        EXPECT_EQ(s.minimumLevel, c.minimumLevel) << c.minimum;
        EXPECT_EQ(s.alpha, 255);
    }
}

// Rows are sixths of a semitone: 440 Hz is 414, an octave 72 rows; every frequency near a row
// boundary gets the row of the double-precision formula.
TEST(DisplayRows, EveryFrequencyNearARowBoundaryGetsTheExactRow) {
    for (const auto& [hz, row] : {std::pair{440.0f, 414}, {880.0f, 486}, {27.5f, 126}, {1000.0f, 499}, {1.0f, 0}})
        EXPECT_EQ(displayRowOfFrequency(hz, 1499), row) << hz;
    for (int row = 1; row < 1500; ++row) {
        float f = float(440.0 * std::exp2((row / 6.0 - 69.0) / 12.0));
        for (int i = 0; i < 6; ++i) f = std::nextafter(f, 0.0f);
        for (int i = 0; i < 12; ++i, f = std::nextafter(f, 1e30f)) {
            ASSERT_EQ(displayRowOfFrequency(f, 1499), referenceRow(f, 1499)) << f;
            ASSERT_EQ(displayRowOfFrequency(f, 1498), referenceRow(f, 1498)) << f;
        }
    }
    for (float f = 0.0f; f < 24000.0f; f += 0.0371f) ASSERT_EQ(displayRowOfFrequency(f, 1499), referenceRow(f, 1499)) << f;
    EXPECT_EQ(displayRowOfFrequency(std::numeric_limits<float>::infinity(), 1499), 1499);
    EXPECT_EQ(displayRowOfFrequency(-5.0f, 1499), 0);
    EXPECT_EQ(displayRowOfFrequency(std::nanf(""), 1499), 0);
    EXPECT_EQ(displayRowOfFrequency(1e9f, 1498), 1498);
}

// The columns and summaries of realistic records (and of a bar taller than the picture) against
// the double-precision references: single-precision kernels may move a byte across a rounding
// boundary, by one and rarely.
TEST(DisplayDerivations, RealisticRecordsMatchTheDoublePrecisionReference) {
    std::vector<std::unique_ptr<FrameRecord>> records = analysedRecords();
    records.push_back(densePeakRecord());
    records.push_back(recordWith({{2, 440.0f, 8.0f}}, 4));   // eight bins: means over the record's own bins
    records.push_back(recordWith({{10, 30.0f, 50000.0f}}));  // rows 135 - 500 .. 135 + 499
    for (int j = 0; j < 255; ++j) records.back()->peakBins[j] = j == 0 ? 10 : 4096;
    int spectralBytes = 0, harmonicBytes = 0, summaryBytes = 0;
    const auto compare = [](const DisplayColumn& column, const Pixels& expected, int& differing) {
        for (int row = 0; row < 1500; ++row) {
            const DisplayColumnRow& x = column.rows[row];
            const int got[4] = {x.red, x.green, x.blue, x.alpha};
            for (int ch = 0; ch < 4; ++ch) {
                const int gap = std::abs(got[ch] - expected[row][ch]);
                ASSERT_LE(gap, 1) << "row " << row;
                differing += gap != 0;
            }
        }
    };
    for (const auto& r : records) {
        compare(*spectralColumn(*r), referenceSpectral(*r), spectralBytes);
        compare(*harmonicColumn(*r), referenceHarmonic(*r), harmonicBytes);
        const FrameSummary summary = frameSummary(*r);
        const std::array<int, 3> expected = referenceSummaryColour(*r), got{summary.red, summary.green, summary.blue};
        for (int ch = 0; ch < 3; ++ch) {
            EXPECT_NEAR(got[ch], expected[ch], 1);
            summaryBytes += got[ch] != expected[ch];
        }
    }
    const int columnBytes = int(records.size()) * 1500 * 4;
    std::printf("%zu records: spectral %d of %d bytes differ, harmonic %d, summary %d of %zu\n", records.size(),
                spectralBytes, columnBytes, harmonicBytes, summaryBytes, records.size() * 3);
    EXPECT_LE(spectralBytes, columnBytes / 1000);
    EXPECT_LE(harmonicBytes, columnBytes / 1000);
}

// A damaged record (non-finite, negative or huge scales) still draws only inside the picture,
// with every row either untouched or opaque, and a summary of defined bytes.
TEST(DisplayDerivations, DamagedScalesStayInsideThePicture) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
    auto r = recordWith({{163, 440.0f, 100.0f}, {4000, 9000.0f, 30.0f}});
    for (int j = 0; j < 255; ++j) r->peakBins[j] = std::uint16_t(j == 0 ? 163 : (j == 1 ? 4000 : 4096));
    const std::array<std::array<float, 2>, 4> scales{{{kNaN, kInf}, {kInf, kNaN}, {-5.0f, -5.0f}, {1e38f, 1e38f}}};
    for (const auto& [frequencyScale, magnitudeScale] : scales) {
        r->frequencyScale = frequencyScale;
        r->magnitudeScale = magnitudeScale;
        for (const auto& column : {spectralColumn(*r), harmonicColumn(*r)}) {
            for (int row = 0; row < 1500; ++row) ASSERT_TRUE(column->rows[row].alpha == 0 || column->rows[row].alpha == 255);
        }
        const FrameSummary s = frameSummary(*r);
        EXPECT_EQ(s.alpha, 255);
    }
}
