#include "dsp/FrameRecord.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <numbers>
#include <type_traits>

#include "dsp/FastMath.h"

namespace orvex {

static_assert(std::is_trivially_copyable_v<FrameRecord>);
static_assert(std::is_standard_layout_v<FrameRecord>);

namespace {

constexpr double kInverseCodeRange = 1.5259021896696422e-5;  // 1 / 65535
constexpr double kInversePi = 0.3183098861837907;
constexpr double kPhaseCodeStep = 3.051944088384301e-5;      // 1 / 32766
constexpr double kPhaseHalfRange = 32766.0;
constexpr long kLargestPhaseCode = 65533;

// Sets negative and non-finite entries of the first n values to 0 and returns their largest
// value: the scale the encoder stores, once raised to kFrameRecordMinScale. A branch-free
// select and a max reduction, so that the loop vectorises (the maximum does not depend on order).
[[gnu::always_inline]] inline float sanitiseAndScaleKernel(float* values, std::size_t n) {
    float largest = 0.0f;
#pragma omp simd reduction(max : largest)
    for (std::size_t k = 0; k < n; ++k) {
        const float v = values[k];
        const float kept = (v >= 0.0f) & (v <= std::numeric_limits<float>::max()) ? v : 0.0f;
        values[k] = kept;
        largest = largest > kept ? largest : kept;
    }
    return largest;
}

float sanitiseAndScale(std::span<float> values, std::size_t n) {
    return std::max(fastmath::dispatch<sanitiseAndScaleKernel>(values.data(), n), kFrameRecordMinScale);
}

// Bins an encoder fills: the record's bin count, or fewer when the input is shorter.
std::size_t encodedBins(const FrameRecord& record, std::size_t inputLength) {
    return std::min(static_cast<std::size_t>(record.binCount()), inputLength);
}

// lround(value / scale x 65535) limited to 0..65535, for values already made non-negative.
// Written as a plain loop over contiguous arrays so that it vectorises; adding 0.5 in double
// and truncating is exact rounding half away from zero for these values.
[[gnu::always_inline]] inline void quantise(const float* values, std::size_t n, float scale, std::uint16_t* codes) {
#pragma omp simd
    for (std::size_t k = 0; k < n; ++k) {
        float scaled = std::min(values[k] / scale * 65535.0f, 65535.0f);
        codes[k] = static_cast<std::uint16_t>(static_cast<std::int32_t>(double(scaled) + 0.5));
    }
}

// Phase codes of n phases. The common case (a finite phase in [-pi, pi]) is a branch-free
// loop computing lround exactly as truncation plus a half-step test, in double precision up to
// the final conversion so that it vectorises; everything else is left 0 for encodePhase.
[[gnu::always_inline]] inline void quantiseInsidePhases(const float* phases, std::size_t n, std::uint16_t* codes) {
#pragma omp simd
    for (std::size_t k = 0; k < n; ++k) {
        const double x = (double(phases[k]) * kInversePi + 1.0) * kPhaseHalfRange;
        const bool inside = (x >= 0.0) & (x < double(kLargestPhaseCode) - 0.5);  // false for NaN
        const double safe = inside ? x : 0.0;
        const double whole = std::trunc(safe);
        const double code = whole + (safe - whole >= 0.5 ? 2.0 : 1.0);
        codes[k] = static_cast<std::uint16_t>(static_cast<std::int32_t>(inside ? code : 0.0));
    }
}

// Whether any of n codes is 0.
[[gnu::always_inline]] inline bool anyZeroCode(const std::uint16_t* codes, std::size_t n) {
    int zero = 0;
#pragma omp simd reduction(| : zero)
    for (std::size_t k = 0; k < n; ++k) zero |= codes[k] == 0 ? 1 : 0;
    return zero != 0;
}

void quantisePhases(const float* phases, std::size_t n, std::uint16_t* codes) {
    fastmath::dispatch<quantiseInsidePhases>(phases, n, codes);
    if (!fastmath::dispatch<anyZeroCode>(static_cast<const std::uint16_t*>(codes), n)) return;
    for (std::size_t k = 0; k < n; ++k)
        if (codes[k] == 0) codes[k] = FrameRecord::encodePhase(phases[k]);
}

// Stores codes into one field (at fieldOffset in FrameBinCodes) of bins 0 .. n-1 and 0 into
// that field of bins n .. count-1.
void storeField(FrameRecord& record, std::size_t fieldOffset, const std::uint16_t* codes, std::size_t n,
                std::size_t count) {
    constexpr std::size_t kStride = sizeof(FrameBinCodes) / sizeof(std::uint16_t);
    auto* field = reinterpret_cast<std::uint16_t*>(reinterpret_cast<char*>(record.bins) + fieldOffset);
    for (std::size_t k = 0; k < n; ++k) field[k * kStride] = codes[k];
    for (std::size_t k = n; k < count; ++k) field[k * kStride] = 0;
}

// Sanitises the input, stores its scale and codes into one field of bins 0 .. B-1 (0 beyond
// the input) and returns the scale.
float encodeScaledField(FrameRecord& record, std::span<float> values, std::size_t fieldOffset) {
    const std::size_t n = encodedBins(record, values.size());
    const float scale = sanitiseAndScale(values, n);
    std::uint16_t codes[kFrameRecordMaxBins];
    fastmath::dispatch<quantise>(static_cast<const float*>(values.data()), n, scale, static_cast<std::uint16_t*>(codes));
    storeField(record, fieldOffset, codes, n, static_cast<std::size_t>(record.binCount()));
    return scale;
}

// Decoded values of n codes of one field (stride: FrameBinCodes), as decodeScaled.
[[gnu::always_inline]] inline void decodeScaledField(const std::uint16_t* codes, std::size_t n, float scale, float* out) {
    constexpr std::size_t kStride = sizeof(FrameBinCodes) / sizeof(std::uint16_t);
#pragma omp simd
    for (std::size_t k = 0; k < n; ++k)
        out[k] = static_cast<float>(double(float(codes[k * kStride]) * scale) * kInverseCodeRange);
}

// Decoded phases of n codes, as decodePhase.
[[gnu::always_inline]] inline void decodePhaseField(const std::uint16_t* codes, std::size_t n, float* out) {
    constexpr std::size_t kStride = sizeof(FrameBinCodes) / sizeof(std::uint16_t);
#pragma omp simd
    for (std::size_t k = 0; k < n; ++k) {
        const std::uint16_t code = codes[k * kStride];
        const auto phase = static_cast<float>((double(code - 1) * kPhaseCodeStep - 1.0) * std::numbers::pi);
        out[k] = code == 0 ? kPhaseUnknown : phase;
    }
}

// The first code of one field of the bins; the fields repeat every FrameBinCodes.
const std::uint16_t* fieldCodes(const FrameBinCodes* bins, std::size_t fieldOffset) {
    return reinterpret_cast<const std::uint16_t*>(reinterpret_cast<const char*>(bins) + fieldOffset);
}

// Bins of the record a decode into the buffer fills (none unless valid); the rest of the
// buffer is cleared here, so that every entry is written once.
std::size_t decodedCount(const FrameRecord& record, std::span<float> buffer) {
    const std::size_t n = record.valid == 0 ? 0 : std::min(buffer.size(), static_cast<std::size_t>(record.binCount()));
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(n), buffer.end(), 0.0f);
    return n;
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
    const std::size_t n = decodedCount(*this, buffer);
    if (n > 0) fastmath::dispatch<decodeScaledField>(fieldCodes(bins, offsetof(FrameBinCodes, magnitude)), n, magnitudeScale, buffer.data());
}

void FrameRecord::decodeFrequenciesInto(std::span<float> buffer) const {
    const std::size_t n = decodedCount(*this, buffer);
    if (n > 0) fastmath::dispatch<decodeScaledField>(fieldCodes(bins, offsetof(FrameBinCodes, frequency)), n, frequencyScale, buffer.data());
}

void FrameRecord::decodePhasesInto(std::span<float> buffer) const {
    const std::size_t n = decodedCount(*this, buffer);
    if (n > 0) fastmath::dispatch<decodePhaseField>(fieldCodes(bins, offsetof(FrameBinCodes, phase)), n, buffer.data());
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
    magnitudeScale = encodeScaledField(*this, magnitudes, offsetof(FrameBinCodes, magnitude));
}

void FrameRecord::encodeMagnitudesAndFrequencies(std::span<float> magnitudes, std::span<float> frequencies) {
    encodeMagnitudes(magnitudes);
    frequencyScale = encodeScaledField(*this, frequencies, offsetof(FrameBinCodes, frequency));
}

void FrameRecord::encode(std::span<float> magnitudes, std::span<float> frequencies, std::span<const float> phases) {
    encodeMagnitudesAndFrequencies(magnitudes, frequencies);
    const std::size_t n = encodedBins(*this, phases.size());
    std::uint16_t codes[kFrameRecordMaxBins];
    quantisePhases(phases.data(), n, codes);
    storeField(*this, offsetof(FrameBinCodes, phase), codes, n, static_cast<std::size_t>(binCount()));
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
