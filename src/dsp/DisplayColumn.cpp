#include "dsp/DisplayColumn.h"

#include "dsp/DisplayColourMap.h"
#include "dsp/FrameRecord.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

namespace orvex {

static_assert(std::is_trivially_copyable_v<DisplayColumn>);

namespace {

constexpr float kNyquist = 22050.0f;
constexpr int kHighestSpectralRow = kDisplayRowCount - 2;
constexpr int kHighestHarmonicRow = kDisplayRowCount - 1;

std::uint8_t toByte(float value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0.0f, 255.0f));
}

// Brightness 0..255 of a bin; the frequency term lifts high bins, which carry less energy.
float binBrightness(float frequency, float magnitude) {
    double level = (frequency * 0.0009070294784580499 + 1.0) * magnitude * 0.0064516129032258064;
    float clamped = static_cast<float>(std::clamp(level, 0.0, 1.0));
    return static_cast<float>(255.0 * std::clamp(1.1 * std::pow(clamped, 0.9f), 0.0, 1.0));
}

// Keeps the brighter of the row's present colour and the candidate (blue counting 2.5 times),
// the candidate winning ties.
void blendIntoRow(DisplayColumnRow& row, float red, float green, float blue) {
    int present = static_cast<int>(2.5 * row.blue + row.green + row.red);
    int candidate = static_cast<int>(2.5f * blue + red + green);
    if (present <= candidate) {
        row.red = toByte(red);
        row.green = toByte(green);
        row.blue = toByte(blue);
    }
    row.alpha = 255;
}

// One entry of the peak list with what the harmonic column needs of it.
struct PeakEntry {
    float frequency;
    float magnitude;
    DisplayColour colour;  // of its own frequency
    int runEnd;            // one past the last following entry naming the same bin
};

// The peak entries 0..253 decoded once. The list pads with one repeated bin, so identical
// neighbours share their decoding and colour.
std::vector<PeakEntry> peakEntries(const FrameRecord& record) {
    std::vector<PeakEntry> entries(kFrameRecordMaxPeaks);
    const int binCount = record.binCount();
    for (int j = 0; j < kFrameRecordMaxPeaks; ++j) {
        const int bin = record.peakBins[j];
        if (j > 0 && bin == record.peakBins[j - 1]) {
            entries[j] = entries[j - 1];
            continue;
        }
        const bool inside = bin < binCount;  // a damaged list may name a bin the record lacks
        const float frequency = inside ? record.binFrequency(bin) : 0.0f;
        entries[j] = {frequency, inside ? record.binMagnitude(bin) : 0.0f, displayColour(frequency * 4.5351473e-5f), 0};
    }
    for (int j = kFrameRecordMaxPeaks - 1; j >= 0; --j) {
        const bool sameAsNext = j + 1 < kFrameRecordMaxPeaks && record.peakBins[j + 1] == record.peakBins[j];
        entries[j].runEnd = sameAsNext ? entries[j + 1].runEnd : j + 1;
    }
    return entries;
}

// The range of multiples n >= 1 with n x fundamental <= 22050 that can lie within 4 % of
// frequency; exact membership is tested by the caller.
std::pair<int, int> candidateHarmonics(float fundamental, float frequency) {
    double lowest = std::floor(frequency / (1.04 * fundamental)) - 1.0;
    double highest = std::ceil(frequency / (0.96 * fundamental)) + 1.0;
    double limit = std::floor(kNyquist / fundamental) + 1.0;
    return {static_cast<int>(std::max(1.0, lowest)), static_cast<int>(std::min(highest, limit))};
}

// What one peak adds to the colour of a fundamental: for each harmonic n within 4 % of the
// peak's frequency, its colour weighted by magnitude / n, in increasing n.
void harmonicTerms(float fundamental, const PeakEntry& peak, std::vector<DisplayColour>& terms) {
    terms.clear();
    if (!std::isfinite(peak.frequency)) return;
    auto [first, last] = candidateHarmonics(fundamental, peak.frequency);
    for (int n = first; n <= last; ++n) {
        const float harmonic = float(n) * fundamental;
        if (!(harmonic <= kNyquist)) break;
        if (!(std::fabs(harmonic - peak.frequency) < 0.04 * n * double(fundamental))) continue;
        const float weight = 0.5f * 0.03125f * peak.magnitude / float(n);
        terms.push_back({peak.colour.red * weight, peak.colour.green * weight, peak.colour.blue * weight});
    }
}

// Colour of peak j: the peaks from j on that lie within 4 % of one of its harmonics, each
// coloured by its own frequency and weighted by magnitude / harmonic number.
DisplayColour harmonicColour(const std::vector<PeakEntry>& entries, int j, std::vector<DisplayColour>& terms) {
    DisplayColour sum{0.0f, 0.0f, 0.0f};
    const float fundamental = entries[j].frequency;
    if (!(fundamental >= 1.0f && fundamental <= kNyquist)) return sum;
    for (int i = j; i < kFrameRecordMaxPeaks;) {
        const int next = std::max(entries[i].runEnd, i + 1);
        harmonicTerms(fundamental, entries[i], terms);
        // Identical entries add the same terms one after the other, as separate peaks would.
        for (int repeat = i; repeat < next; ++repeat) {
            for (const DisplayColour& term : terms) {
                sum.red += term.red;
                sum.green += term.green;
                sum.blue += term.blue;
            }
        }
        i = next;
    }
    return sum;
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
    auto level = [](float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
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

int displayRowOfFrequency(float frequency, int highestRow) {
    double row = (std::log2(frequency * 0.0022727272727272726) * 12.0 + 69.0) * 6.0;
    if (!(row >= 0.0)) return 0;  // also frequency 0 (log2 of 0 is -inf) and NaN
    return row >= double(highestRow) ? highestRow : static_cast<int>(row);
}

std::unique_ptr<DisplayColumn> spectralColumn(const FrameRecord& record) {
    auto column = DisplayColumn::create(record.valid != 0);
    if (record.valid == 0) return column;
    const std::vector<float> frequencies = record.decodeFrequencies();
    const std::vector<float> magnitudes = record.decodeMagnitudes();
    const std::vector<float> stability = record.frequencyStability();
    for (std::size_t k = 0; k < frequencies.size(); ++k) {
        const float f = frequencies[k];
        const float v = binBrightness(f, magnitudes[k]);
        const float q = std::clamp(stability[k], 0.0f, 1.0f);
        const float yellow = (1.0f - q) * v;
        blendIntoRow(column->rows[displayRowOfFrequency(f, kHighestSpectralRow)], yellow, yellow, q * v);
    }
    return column;
}

std::unique_ptr<DisplayColumn> harmonicColumn(const FrameRecord& record) {
    auto column = DisplayColumn::create(record.valid != 0);
    if (record.valid == 0) return column;
    const std::vector<PeakEntry> entries = peakEntries(record);
    std::vector<DisplayColour> terms;
    terms.reserve(64);
    for (int j = 0; j < kFrameRecordMaxPeaks; ++j)
        paintBar(*column, entries[j].frequency, entries[j].magnitude, harmonicColour(entries, j, terms));
    return column;
}

}  // namespace orvex
