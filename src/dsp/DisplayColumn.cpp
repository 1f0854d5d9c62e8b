#include "dsp/DisplayColumn.h"

#include "dsp/DisplayColourMap.h"
#include "dsp/DisplayMath.h"
#include "dsp/FastMath.h"
#include "dsp/FrameRecord.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace orvex {

static_assert(std::is_trivially_copyable_v<DisplayColumn>);

namespace {

using namespace displaymath;

constexpr float kNyquist = 22050.0f;
constexpr int kHighestSpectralRow = kDisplayRowCount - 2;
constexpr int kHighestHarmonicRow = kDisplayRowCount - 1;
// Bins are derived in blocks of this many, so that every scratch array lives on the stack.
constexpr int kBlock = 256;
// Each harmonic peak's share of the picture's colour sums: 0.5 x 1/32 of its magnitude.
constexpr float kPeakColourScale = 0.5f * 0.03125f;

// The row value (log2(f x 0.0022727272727272726) x 12 + 69) x 6 in double precision; its
// truncation is the row. Never decreases as the frequency grows.
double exactRowValue(float frequency) { return (std::log2(frequency * 0.0022727272727272726) * 12.0 + 69.0) * 6.0; }

// boundaries[r]: the lowest frequency whose row is r or more (r = 1 .. 1499); boundaries[0] is
// -inf and boundaries[1500] +inf. Built once from the double-precision formula, so that rows
// corrected against it are exact.
const float* rowBoundaries() {
    static const std::array<float, kDisplayRowCount + 1> table = [] {
        std::array<float, kDisplayRowCount + 1> boundaries{};
        boundaries[0] = -kInfinity;
        boundaries[kDisplayRowCount] = kInfinity;
        for (int row = 1; row < kDisplayRowCount; ++row) {
            float f = static_cast<float>(440.0 * std::exp2((row / 6.0 - 69.0) / 12.0));
            while (exactRowValue(f) >= row) f = std::nextafter(f, 0.0f);
            while (exactRowValue(f) < row) f = std::nextafter(f, kInfinity);
            boundaries[row] = f;
        }
        return boundaries;
    }();
    return table.data();
}

// A row within one of the exact one for every frequency (NaN and negatives land in row 0):
// log2 from the exponent bits and a quadratic in the mantissa, off by less than 0.0098 (0.71
// rows).
[[gnu::always_inline]] inline std::int32_t roughRow(float frequency, int highestRow) {
    constexpr float kRowOfOneHertz = -218.257899f;  // 414 - 72 log2(440)
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(frequency) & 0x7fffffffu;  // |f|
    const float m = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);      // [1, 2)
    const float log2f = static_cast<float>(static_cast<std::int32_t>(bits >> 23) - 127) +
                        ((-0.333333333f * m + 2.0f) * m - 1.66666667f);
    const float row = frequency > 0.0f ? 72.0f * log2f + kRowOfOneHertz : 0.0f;  // also NaN
    return static_cast<std::int32_t>(clampOrLow(row, 0.0f, float(highestRow)));
}

// The exact row from a rough one: one step down or up across the boundaries.
[[gnu::always_inline]] inline int exactRow(const float* boundaries, float frequency, int rough, int highestRow) {
    const int row = rough - (frequency < boundaries[rough] ? 1 : 0) + (frequency >= boundaries[rough + 1] ? 1 : 0);
    return std::min(row, highestRow);
}

// What one bin offers its row of the spectral column.
struct SpectralCandidates {
    float brightness[kBlock];        // 0..255
    std::int32_t row[kBlock];        // row
    std::int32_t key[kBlock];        // truncate(2.5 x blue + red + green) of the candidate
    std::int32_t storedKey[kBlock];  // the same of its bytes, once stored
    std::uint32_t pixel[kBlock];     // red, green, blue, alpha 255 in memory order
};

// Brightness 0..255 of each bin: 255 x min(1, 1.1 x level^0.9) for the level
// (f / 1102.5 + 1) x m / 155 clamped to 0..1; the frequency term lifts high bins, which carry
// less energy. Two passes with short dependency chains run faster than one long one.
[[gnu::always_inline]] inline void binBrightness(const float* frequencies, const float* magnitudes, int count,
                                                 float* brightness) {
#pragma omp simd
    for (int i = 0; i < count; ++i) {
        // Levels below 1e-30 give bytes 0 as 0 does; the floor keeps the kernels in range.
        // A bin without a measured frequency has no place in the picture and is not drawn.
        const float drawn = frequencies[i] > 0.0f ? magnitudes[i] : 0.0f;
        const float level = (frequencies[i] * 9.07029478e-4f + 1.0f) * drawn * 6.45161290e-3f;
        brightness[i] = 0.9f * log2Normal(clampOrLow(level, 1e-30f, 1.0f));
    }
#pragma omp simd
    for (int i = 0; i < count; ++i) brightness[i] = std::min(280.5f * exp2Normal(brightness[i]), 255.0f);
}

// Candidates of bins first .. first + count - 1. frequencies[-1] is the bin before the block
// (the first bin itself at the start, so that its stability is 0). Element-wise only (no
// sums), so the baseline and the AVX2 build give the same candidates.
[[gnu::always_inline]] inline void spectralCandidates(const float* frequencies, const float* magnitudes, int count,
                                                      float binCount, SpectralCandidates* candidates) {
    SpectralCandidates& out = *candidates;
    binBrightness(frequencies, magnitudes, count, out.brightness);
    const float stabilityScale = binCount / 22050.0f;
#pragma omp simd
    for (int i = 0; i < count; ++i) {
        const float f = frequencies[i];
        const float v = out.brightness[i];
        // Stability |f[k] - f[k-1]| x B / 22050, as a weight 0..1: steady bins yellow, unsteady blue.
        const float q = clampOrLow(std::fabs(f - frequencies[i - 1]) * stabilityScale, 0.0f, 1.0f);
        const float yellow = (1.0f - q) * v;
        const float blue = q * v;
        const auto yellowByte = static_cast<std::uint32_t>(static_cast<std::int32_t>(yellow));
        const auto blueByte = static_cast<std::uint32_t>(static_cast<std::int32_t>(blue));
        out.row[i] = roughRow(f, kHighestSpectralRow);
        out.key[i] = static_cast<std::int32_t>(2.5f * blue + yellow + yellow);
        out.storedKey[i] = static_cast<std::int32_t>((5 * blueByte + 4 * yellowByte) >> 1);
        out.pixel[i] = yellowByte | yellowByte << 8 | blueByte << 16 | 0xff000000u;
    }
}

// The exact rows of the rough ones, in a loop of its own (its table lookups become gathers in
// the AVX2 build).
[[gnu::always_inline]] inline void exactRows(const float* frequencies, int count, const float* boundaries,
                                             std::int32_t* rows) {
#pragma omp simd
    for (int i = 0; i < count; ++i) rows[i] = exactRow(boundaries, frequencies[i], rows[i], kHighestSpectralRow);
}

// Each candidate replaces its row's colour when the row's key is at most its own; a row that
// any bin reaches is opaque. rowKeys holds the key of every row's stored bytes.
void placeCandidates(const SpectralCandidates& candidates, int count, std::int32_t* rowKeys, DisplayColumn& column) {
    for (int i = 0; i < count; ++i) {
        const int row = candidates.row[i];
        if (rowKeys[row] <= candidates.key[i]) {
            rowKeys[row] = candidates.storedKey[i];
            std::memcpy(&column.rows[row], &candidates.pixel[i], 4);
        }
    }
}

// The distinct runs of the peak list (entries 0..253): an analysed list pads with one repeated
// bin, and identical neighbours share their decoding, colour and sums.
struct PeakRuns {
    int count = 0;
    float frequency[kFrameRecordMaxPeaks];
    float magnitude[kFrameRecordMaxPeaks];
    float repeats[kFrameRecordMaxPeaks];
    float red[kFrameRecordMaxPeaks];  // colour of the run's own frequency
    float green[kFrameRecordMaxPeaks];
    float blue[kFrameRecordMaxPeaks];
};

void collectPeakRuns(const FrameRecord& record, PeakRuns& runs) {
    const int binCount = record.binCount();
    for (int j = 0; j < kFrameRecordMaxPeaks; ++j) {
        const int bin = record.peakBins[j];
        if (j > 0 && bin == record.peakBins[j - 1]) {
            runs.repeats[runs.count - 1] += 1.0f;
            continue;
        }
        const bool inside = bin < binCount;  // a damaged list may name a bin the record lacks
        runs.frequency[runs.count] = inside ? record.binFrequency(bin) : 0.0f;
        runs.magnitude[runs.count] = inside ? record.binMagnitude(bin) : 0.0f;
        runs.repeats[runs.count] = 1.0f;
        ++runs.count;
    }
#pragma omp simd
    for (int u = 0; u < runs.count; ++u) {
        const DisplayColour c = displayColour(runs.frequency[u] * kColourPerHertz);
        runs.red[u] = c.red;
        runs.green[u] = c.green;
        runs.blue[u] = c.blue;
    }
}

// Largest n with n x fundamental <= 22050 in single precision, as the harmonic loop stops.
int highestHarmonic(float fundamental) {
    int n = static_cast<int>(kNyquist / fundamental);
    while (float(n + 1) * fundamental <= kNyquist) ++n;
    while (n > 0 && float(n) * fundamental > kNyquist) --n;
    return n;
}

// 1/a + 1/(a+1) + ... + 1/b for 12 <= a <= b, as digamma(b + 1) - digamma(a) from the
// asymptotic series (error below 2e-9 from a = 12 on).
[[gnu::always_inline]] inline float harmonicSum(float a, float b) {
    const float x = b + 1.0f;
    const float ia = 1.0f / a, ix = 1.0f / x;
    const float ia2 = ia * ia, ix2 = ix * ix;
    return 0.6931472f * log2Fast(x * ia) + 0.5f * (ia - ix) + (ia2 - ix2) * 8.3333333e-2f -
           (ia2 * ia2 - ix2 * ix2) * 8.3333333e-3f;
}

// Sum of 1/n over the multiples n (n x fundamental <= 22050) that lie within 4 % of the
// frequency: |n x fundamental - frequency| < 0.04 x n x fundamental.
[[gnu::always_inline]] inline float harmonicWeight(float fundamental, float frequency, float highest) {
    const float ratio = clampOrLow(frequency / fundamental, 0.0f, 30000.0f);
    // Below a ratio of 12 the window (ratio / 1.04, ratio / 0.96) holds at most the nearest n.
    const float n = roundNearest(ratio);
    const float harmonic = n * fundamental;
    float excess = std::fabs(harmonic - frequency) - 0.04f * harmonic;  // < 0: within 4 %
    excess = n >= 1.0f ? excess : 1.0f;
    excess = harmonic <= kNyquist ? excess : 1.0f;
    const float single = excess < 0.0f ? 1.0f / std::max(n, 1.0f) : 0.0f;
    // Above it, every n strictly inside the window counts.
    const float first = static_cast<float>(static_cast<std::int32_t>(ratio * 0.96153846f)) + 1.0f;
    const float upper = ratio * 1.0416667f;
    const float upperWhole = static_cast<float>(static_cast<std::int32_t>(upper));
    const float last = std::min(upperWhole < upper ? upperWhole : upperWhole - 1.0f, highest);
    const float several = last >= first ? harmonicSum(std::max(first, 12.0f), std::max(last, 12.0f)) : 0.0f;
    return ratio < 12.0f ? single : several;
}

// Colour of a run as fundamental: the runs from `from` on, each coloured by its own frequency,
// weighted by magnitude, by its repeats and by 1/n for its harmonic numbers n.
DisplayColour harmonicSums(const PeakRuns& runs, int fundamentalRun, int from) {
    const float fundamental = runs.frequency[fundamentalRun];
    const float highest = float(highestHarmonic(fundamental));
    float red = 0.0f, green = 0.0f, blue = 0.0f;
#pragma omp simd reduction(+ : red, green, blue)
    for (int v = from; v < runs.count; ++v) {
        const float magnitude = runs.magnitude[v] < kInfinity ? runs.magnitude[v] : 0.0f;  // NaN too
        const float weight = runs.repeats[v] * magnitude * harmonicWeight(fundamental, runs.frequency[v], highest);
        red += weight * runs.red[v];
        green += weight * runs.green[v];
        blue += weight * runs.blue[v];
    }
    return {red * kPeakColourScale, green * kPeakColourScale, blue * kPeakColourScale};
}

// Paints the bar of a peak of the given magnitude centred on its row.
void paintBar(DisplayColumn& column, float frequency, float magnitude, DisplayColour colour) {
    const double halfHeight = 0.01 * magnitude;
    const double start = std::trunc(-halfHeight);
    if (!std::isfinite(halfHeight) || !(start < halfHeight)) return;
    const int centre = displayRowOfFrequency(frequency, kHighestHarmonicRow);
    // Steps beyond the picture would only repaint row 0 or the top row: stop at the edges.
    const int first = static_cast<int>(std::max(start, double(-centre)));
    const int last = static_cast<int>(std::min(std::ceil(halfHeight) - 1.0, double(kHighestHarmonicRow - centre)));
    auto level = [](float v) { return static_cast<std::uint8_t>(clampOrLow(v, 0.0f, 1.0f) * 255.0f); };
    for (int t = first; t <= last; ++t) {
        DisplayColumnRow& row = column.rows[centre + t];
        row.red = level(colour.red);
        row.green = level(colour.green);
        row.blue = level(colour.blue);
        row.alpha = 255;
    }
}

}  // namespace

std::unique_ptr<DisplayColumn> DisplayColumn::create(bool valid) {
    auto column = std::make_unique<DisplayColumn>();
    std::memset(static_cast<void*>(column.get()), 0, sizeof(DisplayColumn));
    column->size = kDisplayColumnSize;
    column->rowCount = kDisplayRowCount;
    column->valid = valid ? 1 : 0;
    return column;
}

// code x scale / 65535 rounds exactly like the record's double-precision product. One loop per
// field: each strided load vectorises, a loop over both does not.
namespace {

[[gnu::always_inline]] inline void decodeBinBlock(const FrameBinCodes* bins, int count, float frequencyScale,
                                                  float magnitudeScale, float* frequencies, float* magnitudes) {
#pragma omp simd
    for (int k = 0; k < count; ++k) frequencies[k] = static_cast<float>(bins[k].frequency) * frequencyScale / 65535.0f;
#pragma omp simd
    for (int k = 0; k < count; ++k) magnitudes[k] = static_cast<float>(bins[k].magnitude) * magnitudeScale / 65535.0f;
}

}  // namespace

void decodeDisplayBins(const FrameRecord& record, int first, int count, float* frequencies, float* magnitudes) {
    fastmath::dispatch<decodeBinBlock>(static_cast<const FrameBinCodes*>(record.bins + first), count,
                                       static_cast<float>(record.frequencyScale),
                                       static_cast<float>(record.magnitudeScale), frequencies, magnitudes);
}

int displayRowOfFrequency(float frequency, int highestRow) {
    return exactRow(rowBoundaries(), frequency, roughRow(frequency, highestRow), highestRow);
}

std::unique_ptr<DisplayColumn> spectralColumn(const FrameRecord& record) {
    auto column = DisplayColumn::create(record.valid != 0);
    if (record.valid == 0) return column;
    const int binCount = record.binCount();
    const float* boundaries = rowBoundaries();
    std::int32_t rowKeys[kDisplayRowCount] = {};
    float frequencies[kBlock + 1] = {}, magnitudes[kBlock];
    SpectralCandidates candidates;
    for (int first = 0; first < binCount; first += kBlock) {
        const int count = std::min(kBlock, binCount - first);
        const float before = frequencies[kBlock];  // last bin of the previous block
        decodeDisplayBins(record, first, count, frequencies + 1, magnitudes);
        frequencies[0] = first == 0 ? frequencies[1] : before;
        fastmath::dispatch<spectralCandidates>(static_cast<const float*>(frequencies + 1),
                                               static_cast<const float*>(magnitudes), count, float(binCount),
                                               &candidates);
        fastmath::dispatch<exactRows>(static_cast<const float*>(frequencies + 1), count, boundaries,
                                      static_cast<std::int32_t*>(candidates.row));
        placeCandidates(candidates, count, rowKeys, *column);
    }
    return column;
}

std::unique_ptr<DisplayColumn> harmonicColumn(const FrameRecord& record) {
    auto column = DisplayColumn::create(record.valid != 0);
    if (record.valid == 0) return column;
    PeakRuns runs;
    collectPeakRuns(record, runs);
    for (int u = 0; u < runs.count; ++u) {
        // Only the last entry of a run shows: it repaints the same rows as the ones before it.
        // Its sums are those of the later runs plus its own single term (n = 1).
        const float fundamental = runs.frequency[u];
        DisplayColour sums{0.0f, 0.0f, 0.0f};
        if (fundamental >= 1.0f && fundamental <= kNyquist) {
            const DisplayColour later = harmonicSums(runs, u, u + 1);
            const float own = kPeakColourScale * runs.magnitude[u];
            sums = {later.red + own * runs.red[u], later.green + own * runs.green[u], later.blue + own * runs.blue[u]};
        }
        paintBar(*column, fundamental, runs.magnitude[u], sums);
    }
    return column;
}

}  // namespace orvex
