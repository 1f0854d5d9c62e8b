#include "dsp/KVHarmonicProcessor.h"

#include "dsp/FrameRecord.h"
#include "dsp/PeakPicker.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace orvex {

namespace {

constexpr int kBins = kFrameRecordMaxBins;
constexpr float kNyquist = 22050.0f;
constexpr float kLowestHarmonic = 0.001f;
// Relative half-widths of the bands around a harmonic h: about 16.5 cents and 0.65 semitone.
const float kNarrowBand = static_cast<float>(std::pow(2.0, 0.01375) - 1.0);
const float kWideBand = static_cast<float>(std::pow(2.0, 0.65 / 12.0) - 1.0);
constexpr int kFloorMedianHalfWidth = 40;
constexpr int kMarkedMedianHalfWidth = 100;
constexpr int kSuppressIterations = 96;
constexpr float kSuppressRatio = 50.0f;
constexpr float kEmptyMagnitude = 0.001f;

// The harmonics of f0 used by a series, h_i = (i + 1) x step x f0 for i < count(), each in
// 0.001 .. 22050 Hz; not listed, since a low fundamental has thousands.
class HarmonicSet {
public:
    HarmonicSet(float f0, std::int32_t series) : mF0(f0), mStep(series == 2 ? 0.5f : 1.0f) {
        if (!(at(0) >= kLowestHarmonic && at(0) <= kNyquist)) return;
        if (series == 1) {
            mCount = 1;
            return;
        }
        // Rough count, then settled on the exact single-precision products.
        std::int64_t count = static_cast<std::int64_t>(double(kNyquist) / (double(mStep) * f0));
        while (count > 1 && !(at(count - 1) <= kNyquist)) --count;
        while (at(count) <= kNyquist) ++count;
        mCount = count;
    }

    float at(std::int64_t i) const { return float(i + 1) * mStep * mF0; }

    // Whether some harmonic h satisfies |frequency - h| < |h x band| + extra.
    bool near(float frequency, float band, float extra) const {
        if (mCount == 0 || !std::isfinite(frequency)) return false;
        // Only harmonics between (f - extra) / (1 + band) and (f + extra) / (1 - band) can
        // qualify; the range is widened and each candidate tested exactly.
        const double unit = double(mStep) * mF0;
        const double low = std::floor((frequency - extra) / (1.0 + band) / unit) - 2.0;
        const double high = std::ceil((frequency + extra) / (1.0 - band) / unit) + 1.0;
        const std::int64_t first = static_cast<std::int64_t>(std::max(low, 0.0));
        const std::int64_t last = static_cast<std::int64_t>(std::min(high, double(mCount - 1)));
        for (std::int64_t i = first; i <= last; ++i) {
            const float h = at(i);
            if (std::fabs(frequency - h) < std::fabs(h * band) + extra) return true;
        }
        return false;
    }

private:
    float mF0;
    float mStep;
    std::int64_t mCount = 0;
};

}  // namespace

// One channel's records with their decoded arrays (the destination's from before the change)
// and the scratch arrays of the modes.
struct HarmonicWorkspace {
    FrameRecord* source = nullptr;
    FrameRecord* destination = nullptr;
    std::vector<float> sourceMagnitudes = std::vector<float>(kBins);
    std::vector<float> sourceFrequencies = std::vector<float>(kBins);
    std::vector<float> previousMagnitudes = std::vector<float>(kBins);
    std::vector<float> destinationFrequencies = std::vector<float>(kBins);
    std::vector<float> result = std::vector<float>(kBins);
    std::vector<float> filtered = std::vector<float>(kBins);
    std::vector<std::uint32_t> marks = std::vector<std::uint32_t>(kBins);

    void load(FrameRecord& s, FrameRecord& d) {
        source = &s;
        destination = &d;
        s.decodeMagnitudesInto(sourceMagnitudes);
        s.decodeFrequenciesInto(sourceFrequencies);
        d.decodeMagnitudesInto(previousMagnitudes);
        d.decodeFrequenciesInto(destinationFrequencies);
    }

    // The destination becomes a copy of the source carrying the result as magnitudes.
    void writeSourceWithResult() {
        FrameRecord::copy(*source, *destination);
        destination->encodeMagnitudes(result);
    }
    void writeSourceWithResult(float fundamental) {
        FrameRecord::copy(*source, *destination);
        destination->fundamental = fundamental;
        destination->encodeMagnitudes(result);
    }
};

namespace {

// Marks (nonzero words) the bins whose source frequency lies near a harmonic (0.65 semitone
// plus 1 Hz).
void markHarmonicBins(HarmonicWorkspace& pair, const HarmonicSet& harmonics) {
    for (int k = 0; k < kBins; ++k)
        pair.marks[k] = harmonics.near(pair.sourceFrequencies[k], kWideBand, 1.0f) ? 1 : 0;
}

// Attenuation: destination bins within the band of a harmonic fall to the source's floor
// (the stability-weighted source magnitudes, median-filtered).
void attenuateToFloor(HarmonicWorkspace& pair, const HarmonicSet& harmonics) {
    pair.filtered = pair.sourceMagnitudes;
    KVHarmonicProcessor::stabilityWeight(pair.filtered, pair.destinationFrequencies);
    KVHarmonicProcessor::medianFilter(pair.filtered, kFloorMedianHalfWidth);
    pair.result = pair.previousMagnitudes;
    for (int k = 0; k < kBins; ++k)
        if (harmonics.near(pair.destinationFrequencies[k], kNarrowBand, 0.0f)) pair.result[k] = pair.filtered[k];
    pair.destination->encodeMagnitudes(pair.result);
}

// Destination bins within 0.65 semitone of a harmonic take the raw source magnitude.
void restoreNearHarmonics(HarmonicWorkspace& pair, const HarmonicSet& harmonics) {
    pair.result = pair.previousMagnitudes;
    for (int k = 0; k < kBins; ++k)
        if (harmonics.near(pair.destinationFrequencies[k], kWideBand, 0.0f)) pair.result[k] = pair.sourceMagnitudes[k];
    pair.destination->encodeMagnitudes(pair.result);
}

void mergeByMaximum(std::vector<float>& result, const std::vector<float>& previous) {
    for (int k = 0; k < kBins; ++k) result[k] = std::max(result[k], previous[k]);
}

// The source bins around the fundamental alone, merged into the destination by maximum.
void extractFundamental(HarmonicWorkspace& pair, float f0) {
    const float band = std::fabs(f0 * kWideBand) + 1.0f;
    for (int k = 0; k < kBins; ++k)
        pair.result[k] = std::fabs(f0 - pair.sourceFrequencies[k]) < band ? pair.sourceMagnitudes[k] : 0.0f;
    mergeByMaximum(pair.result, pair.previousMagnitudes);
    pair.writeSourceWithResult();
}

// The source with its harmonic bins flattened to their median; an empty destination bin takes
// the result, a filled one the smaller of both.
void extractWithMedian(HarmonicWorkspace& pair, const HarmonicSet& harmonics, float f0) {
    markHarmonicBins(pair, harmonics);
    pair.filtered = pair.sourceMagnitudes;
    KVHarmonicProcessor::medianFilter(pair.filtered, kMarkedMedianHalfWidth);
    for (int k = 0; k < kBins; ++k) {
        const float fresh = pair.marks[k] ? pair.filtered[k] : pair.sourceMagnitudes[k];
        const float previous = pair.previousMagnitudes[k];
        pair.result[k] = previous < kEmptyMagnitude ? fresh : std::min(previous, fresh);
    }
    pair.writeSourceWithResult(f0);
}

// The source with steady partials outside the harmonics weighted down and its strongest
// remaining peaks suppressed, harmonic bins untouched; merged by maximum.
void extractWithPeaks(HarmonicWorkspace& pair, const HarmonicSet& harmonics, float f0) {
    markHarmonicBins(pair, harmonics);
    pair.result = pair.sourceMagnitudes;
    KVHarmonicProcessor::stabilityWeight(pair.result, pair.sourceFrequencies, pair.marks.data());
    suppressPeaks(pair.result, kSuppressIterations, pair.marks.data(), kSuppressRatio);
    mergeByMaximum(pair.result, pair.previousMagnitudes);
    pair.writeSourceWithResult(f0);
}

// Number of leading values of the sorted window for which below(value) holds. The halving
// steps select with a conditional move rather than a branch: median windows are searched at
// every bin and the outcome of each comparison is unpredictable.
template <class Below>
std::size_t sortedBound(const std::vector<float>& window, Below below) {
    const float* base = window.data();
    std::size_t length = window.size();
    if (length == 0) return 0;
    while (length > 1) {
        const std::size_t half = length / 2;
        base += below(base[half]) ? half : 0;
        length -= half;
    }
    return std::size_t(base - window.data()) + (below(*base) ? 1 : 0);
}

// Replaces one occurrence of `outgoing` in a sorted window by `incoming`, keeping it sorted,
// with one shift of the values in between.
void replaceInSorted(std::vector<float>& window, float outgoing, float incoming) {
    if (outgoing == incoming) return;
    const auto removed = window.begin() + sortedBound(window, [&](float v) { return v < outgoing; });
    const auto place = window.begin() + sortedBound(window, [&](float v) { return !(incoming < v); });
    if (incoming > outgoing) {
        std::move(removed + 1, place, removed);
        *(place - 1) = incoming;
    } else {
        std::move_backward(place, removed, removed + 1);
        *place = incoming;
    }
}

}  // namespace

std::unique_ptr<KVHarmonicProcessor> KVHarmonicProcessor::initWithSource(std::shared_ptr<FrameRecordSource> source,
                                                                         std::shared_ptr<FrameRecordSource> destination,
                                                                         std::int32_t operation, std::int32_t series,
                                                                         std::uint8_t snap, std::int32_t variant) {
    if (!source || !destination) return nullptr;
    return std::make_unique<KVHarmonicProcessor>(Token{}, std::move(source), std::move(destination), operation,
                                                 series, snap, variant);
}

KVHarmonicProcessor::KVHarmonicProcessor(Token, std::shared_ptr<FrameRecordSource> source,
                                         std::shared_ptr<FrameRecordSource> destination, std::int32_t operation,
                                         std::int32_t series, std::uint8_t snap, std::int32_t variant)
    : mSource(std::move(source)),
      mDestination(std::move(destination)),
      mOperation(operation),
      mSeries(series),
      mSnap(snap),
      mVariant(variant),
      mSourceRecord(FrameRecord::create()),
      mDestinationRecord(FrameRecord::create()),
      mWork(std::make_unique<HarmonicWorkspace>()) {}

KVHarmonicProcessor::~KVHarmonicProcessor() = default;

float KVHarmonicProcessor::processFrame(FramePos frame, float frequency) {
    float f0 = frequency;
    for (std::int32_t channel = -1; channel < mSource->numberOfChannels(); ++channel) {
        f0 = processChannel(frame, channel, f0);
        if (f0 < 0.0f) return -1.0f;
    }
    return f0;
}

float KVHarmonicProcessor::processChannel(FramePos frame, std::int32_t channel, float frequency) {
    float f0 = clampedFundamental(frequency);
    FrameRecord& source = *mSourceRecord;
    FrameRecord& destination = *mDestinationRecord;
    if (mSource->readFrameRecord(frame, source, channel) != 0) source.reset();
    if (source.valid == 0) return -1.0f;
    if (mDestination->readFrameRecord(frame, destination, channel) != 0) destination.reset();
    if (mSnap == 1) f0 = snapped(source, f0);
    mWork->load(source, destination);
    process(f0);
    mDestination->writeFrameRecord(destination, frame, channel);
    return f0;
}

float KVHarmonicProcessor::clampedFundamental(float frequency) {
    return std::isnan(frequency) ? 0.0f : std::clamp(frequency, 0.0f, kNyquist);
}

float KVHarmonicProcessor::snapped(const FrameRecord& source, float f0) const {
    const float peak = source.binFrequency(source.nearestPeakBin(f0));
    return peak != 0.0f && std::fabs(peak - f0) < 0.1f * f0 ? peak : f0;
}

void KVHarmonicProcessor::process(float f0) {
    if (mOperation != 0 && mOperation != 1) return;
    const bool modify = mOperation == 1;
    const bool peakTreatment = mVariant == 0 || mVariant == 2;
    if (mSeries != 1 && mVariant != 1 && !peakTreatment) return;
    HarmonicWorkspace& pair = *mWork;
    const HarmonicSet harmonics(f0, mSeries);
    if (mSeries == 1 || peakTreatment) {
        if (modify) attenuateToFloor(pair, harmonics);
        else if (mSeries == 1) extractFundamental(pair, f0);
        else extractWithPeaks(pair, harmonics, f0);
    } else {
        if (modify) restoreNearHarmonics(pair, harmonics);
        else extractWithMedian(pair, harmonics, f0);
    }
}

void KVHarmonicProcessor::medianFilter(std::span<float> x, int halfWidth) {
    const std::int64_t n = static_cast<std::int64_t>(x.size());
    if (n == 0 || halfWidth <= 0) return;
    auto valueAt = [&](std::int64_t i) {
        float v = x[std::clamp<std::int64_t>(i, 0, n - 1)];
        return std::isnan(v) ? 0.0f : v;  // keeps the sorted window consistent
    };
    // The window of position i holds the values at i - w .. i + w - 1 (edges repeated), kept
    // sorted; moving on removes one value and inserts one.
    std::vector<float> window;
    window.reserve(2 * halfWidth);
    for (std::int64_t j = -halfWidth; j < halfWidth; ++j) window.push_back(valueAt(j));
    std::sort(window.begin(), window.end());
    std::vector<float> result(n);
    for (std::int64_t i = 0; i < n; ++i) {
        result[i] = window[halfWidth];
        if (i + 1 == n) break;
        replaceInSorted(window, valueAt(i - halfWidth), valueAt(i + halfWidth));
    }
    std::copy(result.begin(), result.end(), x.begin());
}

void KVHarmonicProcessor::stabilityWeight(std::span<float> magnitudes, std::span<const float> frequencies,
                                          const std::uint32_t* skip) {
    constexpr float kSteadyLimit = 2.1533203f;  // 0.8 of the bin spacing 22050 / 8192 Hz
    constexpr float kPerBin = 0.00012207031f;   // 1 / 8192
    const std::size_t n = std::min(magnitudes.size(), frequencies.size());
    for (std::size_t k = 1; k < n; ++k) {
        if (skip && skip[k]) continue;
        const float d = std::fabs(frequencies[k] - frequencies[k - 1]);
        if (!(d < kSteadyLimit)) continue;
        const float position = float(k) * kPerBin;
        magnitudes[k] *= (1.0f - position) * d * 0.4643991f + position;
    }
}

}  // namespace orvex
