#include "dsp/DisplaySummary.h"

#include "dsp/DisplayColourMap.h"
#include "dsp/FrameRecord.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvex {

namespace {

std::uint8_t unitToByte(double value) {
    if (std::isnan(value)) return 0;
    return static_cast<std::uint8_t>(std::clamp(value, 0.0, 1.0) * 255.0);
}

// A sample in -1..1 mapped to 0..255; louder samples stay at the ends instead of wrapping.
std::uint8_t sampleToByte(float sample) {
    if (std::isnan(sample)) return 0;
    return static_cast<std::uint8_t>(std::clamp((double(sample) + 1.0) * 127.5, 0.0, 255.0));
}

}  // namespace

FrameSummary frameSummary(const FrameRecord& record) {
    FrameSummary summary{0, 0, 0, 255, 0, 0, {0, 0}};
    if (record.valid == 0) return summary;
    const std::vector<float> frequencies = record.decodeFrequencies();
    const std::vector<float> magnitudes = record.decodeMagnitudes();
    double red = 0.0, green = 0.0, blue = 0.0;
    for (std::size_t k = 0; k < frequencies.size(); ++k) {
        if (magnitudes[k] == 0.0f) continue;  // adds nothing
        const DisplayColour c = displayColour(frequencies[k] * 4.5351473e-5f);
        const double weight = 0.5 * magnitudes[k];
        red += weight * c.red;
        green += weight * c.green;
        blue += weight * c.blue;
    }
    const double count = double(frequencies.size());
    summary.red = unitToByte(red / count);
    summary.green = unitToByte(green / count);
    summary.blue = unitToByte(blue / count);
    summary.maximumLevel = sampleToByte(record.maximumSample);
    summary.minimumLevel = sampleToByte(record.minimumSample);
    return summary;
}

}  // namespace orvex
