#include "dsp/FrameRecord.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <type_traits>

namespace orvex {

static_assert(std::is_trivially_copyable_v<FrameRecord>);
static_assert(std::is_standard_layout_v<FrameRecord>);

namespace {

constexpr double kInverseCodeRange = 1.5259021896696422e-5;  // 1 / 65535
constexpr double kInversePi = 0.3183098861837907;
constexpr double kPhaseCodeStep = 3.051944088384301e-5;      // 1 / 32766
constexpr double kPhaseHalfRange = 32766.0;
constexpr long kLargestPhaseCode = 65533;

// Sets negative and non-finite entries of the first n values to 0 and returns the scale the
// encoder stores for them: their largest value, at least kFrameRecordMinScale.
float sanitiseAndScale(std::span<float> values, std::size_t n) {
    float largest = 0.0f;
    for (std::size_t k = 0; k < n; ++k) {
        float v = values[k];
        if (!(v >= 0.0f) || std::isinf(v)) v = 0.0f;
        values[k] = v;
        largest = std::max(largest, v);
    }
    return std::max(largest, kFrameRecordMinScale);
}

// Bins an encoder fills: the record's bin count, or fewer when the input is shorter.
std::size_t encodedBins(const FrameRecord& record, std::size_t inputLength) {
    return std::min(static_cast<std::size_t>(record.binCount()), inputLength);
}

}  // namespace

std::unique_ptr<FrameRecord> FrameRecord::create() {
    auto record = std::make_unique<FrameRecord>();
    record->reset();
    return record;
}

void FrameRecord::reset() {
    std::memset(static_cast<void*>(this), 0, sizeof(FrameRecord));
    size = kFrameRecordSize;
    frameIndex = -1;
    version = kFrameRecordVersion;
    frequencyScale = 1.0f;
    magnitudeScale = 1.0f;
    regeneratePhases = 0;
}

void FrameRecord::copy(const FrameRecord& from, FrameRecord& to) {
    if (&from != &to) std::memcpy(static_cast<void*>(&to), &from, sizeof(FrameRecord));
}

void FrameRecord::copyHeader(const FrameRecord& from, FrameRecord& to) {
    to.size = from.size;
    to.noisiness = from.noisiness;
    to.warpFactor = from.warpFactor;
    to.minimumSample = from.minimumSample;
    to.maximumSample = from.maximumSample;
    to.fundamental = from.fundamental;
    to.zeroPaddingFactor = from.zeroPaddingFactor;
    to.overlap = from.overlap;
    to.frameSize = from.frameSize;
    to.valid = from.valid;
    to.regeneratePhases = from.regeneratePhases;
}

int FrameRecord::binCount() const {
    // 64-bit product: two 16-bit header fields can overflow a signed 32-bit one.
    std::int64_t half = std::int64_t(zeroPaddingFactor) * std::int64_t(frameSize) / 2;
    if (half <= 0 || half > kFrameRecordMaxBins) return kFrameRecordMaxBins;
    return static_cast<int>(half);
}

std::uint16_t FrameRecord::encodeScaled(float value, float scale) {
    long code = std::lround(value / scale * 65535.0f);
    return static_cast<std::uint16_t>(std::clamp(code, 0L, 65535L));
}

float FrameRecord::decodeScaled(std::uint16_t code, float scale) {
    return static_cast<float>(double(float(code) * scale) * kInverseCodeRange);
}

std::uint16_t FrameRecord::encodePhase(float phase) {
    if (!std::isfinite(phase) || std::trunc(phase) == kPhaseUnknown) return 0;
    long code = std::lround((double(phase) * kInversePi + 1.0) * kPhaseHalfRange);
    if (code < 0 || code > kLargestPhaseCode - 1) {
        // Outside [-pi, pi]: store the same angle's principal value rather than let the code
        // wrap around 16 bits (or land on 0, which would read back as "unknown").
        double wrapped = std::remainder(double(phase), 2.0 * std::numbers::pi);
        code = std::lround((wrapped * kInversePi + 1.0) * kPhaseHalfRange);
        code = std::clamp(code, 0L, kLargestPhaseCode - 1);
    }
    return static_cast<std::uint16_t>(code + 1);
}

float FrameRecord::decodePhase(std::uint16_t code) {
    if (code == 0) return kPhaseUnknown;
    return static_cast<float>((double(code - 1) * kPhaseCodeStep - 1.0) * std::numbers::pi);
}

void FrameRecord::decodeMagnitudesInto(std::span<float> buffer) const {
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    if (valid == 0) return;
    std::size_t n = std::min(buffer.size(), static_cast<std::size_t>(binCount()));
    for (std::size_t k = 0; k < n; ++k) buffer[k] = decodeScaled(bins[k].magnitude, magnitudeScale);
}

void FrameRecord::decodeFrequenciesInto(std::span<float> buffer) const {
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    if (valid == 0) return;
    std::size_t n = std::min(buffer.size(), static_cast<std::size_t>(binCount()));
    for (std::size_t k = 0; k < n; ++k) buffer[k] = decodeScaled(bins[k].frequency, frequencyScale);
}

void FrameRecord::decodePhasesInto(std::span<float> buffer) const {
    std::fill(buffer.begin(), buffer.end(), 0.0f);
    if (valid == 0) return;
    std::size_t n = std::min(buffer.size(), static_cast<std::size_t>(binCount()));
    for (std::size_t k = 0; k < n; ++k) buffer[k] = decodePhase(bins[k].phase);
}

std::vector<float> FrameRecord::decodeMagnitudes() const {
    std::vector<float> out(binCount());
    decodeMagnitudesInto(out);
    return out;
}

std::vector<float> FrameRecord::decodeFrequencies() const {
    std::vector<float> out(binCount());
    decodeFrequenciesInto(out);
    return out;
}

std::vector<float> FrameRecord::decodePhases() const {
    std::vector<float> out(binCount());
    decodePhasesInto(out);
    return out;
}

std::vector<float> FrameRecord::unknownPhases() const {
    return std::vector<float>(binCount(), kPhaseUnknown);
}

float FrameRecord::binFrequency(int bin) const {
    if (bin < 0 || bin >= kFrameRecordMaxBins) return 0.0f;
    return decodeScaled(bins[bin].frequency, frequencyScale);
}

float FrameRecord::binMagnitude(int bin) const {
    if (bin < 0 || bin >= kFrameRecordMaxBins) return 0.0f;
    return decodeScaled(bins[bin].magnitude, magnitudeScale);
}

float FrameRecord::binPhase(int bin) const {
    if (bin < 0 || bin >= kFrameRecordMaxBins) return 0.0f;
    return decodePhase(bins[bin].phase);
}

void FrameRecord::encodeMagnitudes(std::span<float> magnitudes) {
    std::size_t n = encodedBins(*this, magnitudes.size());
    magnitudeScale = sanitiseAndScale(magnitudes, n);
    std::size_t count = binCount();
    for (std::size_t k = 0; k < count; ++k)
        bins[k].magnitude = k < n ? encodeScaled(magnitudes[k], magnitudeScale) : 0;
}

void FrameRecord::encodeMagnitudesAndFrequencies(std::span<float> magnitudes, std::span<float> frequencies) {
    encodeMagnitudes(magnitudes);
    std::size_t n = encodedBins(*this, frequencies.size());
    frequencyScale = sanitiseAndScale(frequencies, n);
    std::size_t count = binCount();
    for (std::size_t k = 0; k < count; ++k)
        bins[k].frequency = k < n ? encodeScaled(frequencies[k], frequencyScale) : 0;
}

void FrameRecord::encode(std::span<float> magnitudes, std::span<float> frequencies, std::span<const float> phases) {
    encodeMagnitudesAndFrequencies(magnitudes, frequencies);
    std::size_t n = encodedBins(*this, phases.size());
    std::size_t count = binCount();
    for (std::size_t k = 0; k < count; ++k) bins[k].phase = k < n ? encodePhase(phases[k]) : 0;
}

int FrameRecord::nearestPeakBin(float frequency) const {
    int bestBin = 0;
    float bestDistance = 1e10f;
    int count = binCount();
    for (int j = 0; j < kFrameRecordMaxPeaks; ++j) {
        int bin = peakBins[j];
        if (bin >= count) continue;  // a damaged peak list must not point outside the bins
        float distance = std::fabs(binFrequency(bin) - frequency);
        if (distance < bestDistance) {
            bestDistance = distance;
            bestBin = bin;
        }
    }
    return bestBin;
}

std::vector<float> FrameRecord::frequencyStability() const {
    std::vector<float> frequencies = decodeFrequencies();
    std::vector<float> stability(frequencies.size(), 0.0f);
    if (valid == 0) return stability;
    const float count = float(frequencies.size());
    for (std::size_t k = 1; k < frequencies.size(); ++k)
        stability[k] = std::fabs(frequencies[k] - frequencies[k - 1]) * count / 22050.0f;
    return stability;
}

}  // namespace orvex
