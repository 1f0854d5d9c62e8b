#include "dsp/DisplaySummary.h"

#include "dsp/DisplayColourMap.h"
#include "dsp/DisplayColumn.h"
#include "dsp/FastMath.h"
#include "dsp/FrameRecord.h"

#include <algorithm>
#include <cmath>

namespace orvex {

namespace {

// Bins are summed in blocks of this many: single-precision sums within a block (vectorised),
// double precision across blocks.
constexpr int kBlock = 256;
// A summary's colour is the mean over the bins of this share of magnitude x colour.
constexpr double kSummaryMagnitudeShare = 0.5;

std::uint8_t unitToByte(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<std::uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0);
}

// A sample in -1..1 mapped to 0..255; louder samples stay at the ends instead of wrapping.
std::uint8_t sampleToByte(float sample) {
    if (std::isnan(sample)) return 0;
    return static_cast<std::uint8_t>(std::clamp((double(sample) + 1.0) * 127.5, 0.0, 255.0));
}

// magnitude x colour(frequency / 22050) of each bin into red, green and blue, the hue in a
// pass of its own (two short dependency chains run faster than one long one). Element-wise
// only, so both builds give the same products.
[[gnu::always_inline]] inline void colourTerms(const float* frequencies, const float* magnitudes, int count, float* red,
                                               float* green, float* blue) {
    float sine[kBlock], cosine[kBlock];
#pragma omp simd
    for (int k = 0; k < count; ++k) {
        const displaymath::SineCosine hue = displayHue(frequencies[k] * kColourPerHertz);
        sine[k] = hue.sine;
        cosine[k] = hue.cosine;
    }
#pragma omp simd
    for (int k = 0; k < count; ++k) {
        const DisplayColour c = displayColourWithHue(frequencies[k] * kColourPerHertz, {sine[k], cosine[k]});
        red[k] = magnitudes[k] * c.red;
        green[k] = magnitudes[k] * c.green;
        blue[k] = magnitudes[k] * c.blue;
    }
}

// Sum of magnitude x colour over one block of bins. The terms come from the dispatched kernel;
// the sum stays in the baseline build: its lanes, and so its rounding, follow the vector width.
DisplayColour weightedColourSum(const float* frequencies, const float* magnitudes, int count) {
    float terms[3][kBlock];
    fastmath::dispatch<colourTerms>(frequencies, magnitudes, count, static_cast<float*>(terms[0]),
                                    static_cast<float*>(terms[1]), static_cast<float*>(terms[2]));
    float red = 0.0f, green = 0.0f, blue = 0.0f;
#pragma omp simd reduction(+ : red, green, blue)
    for (int k = 0; k < count; ++k) {
        red += terms[0][k];
        green += terms[1][k];
        blue += terms[2][k];
    }
    return {red, green, blue};
}

}  // namespace

FrameSummary frameSummary(const FrameRecord& record) {
    FrameSummary summary{0, 0, 0, 255, 0, 0, {0, 0}};
    if (record.valid == 0) return summary;
    const int binCount = record.binCount();
    float frequencies[kBlock], magnitudes[kBlock];
    double red = 0.0, green = 0.0, blue = 0.0;
    for (int first = 0; first < binCount; first += kBlock) {
        const int count = std::min(kBlock, binCount - first);
        decodeDisplayBins(record, first, count, frequencies, magnitudes);
        const DisplayColour block = weightedColourSum(frequencies, magnitudes, count);
        red += block.red;
        green += block.green;
        blue += block.blue;
    }
    const double scale = kSummaryMagnitudeShare / double(binCount);
    summary.red = unitToByte(red * scale);
    summary.green = unitToByte(green * scale);
    summary.blue = unitToByte(blue * scale);
    summary.maximumLevel = sampleToByte(record.maximumSample);
    summary.minimumLevel = sampleToByte(record.minimumSample);
    return summary;
}

}  // namespace orvex
