#include "dsp/SpectralProcessor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "common/MathConstants.h"
#include "dsp/FastMath.h"
#include "dsp/WarpInverse.h"

namespace orvex {

namespace {

constexpr std::size_t kMaxWarpTables = 128;
constexpr float kLowestFrequency = 20.0f;
constexpr float kHighestFrequency = 22050.0f;
constexpr float kCandidateSpread = 0.55f;     // bins: neighbours agreeing this closely are tonal
constexpr float kCandidateMagnitude = 20.0f;  // about 40 dB below a full-scale sine
// The Hann window squared overlaps to 3 x overlap / 8 and the synthesis scales each frame by
// 2 / overlap: 4/3 makes the overlap-add sum of unchanged frames the input itself.
constexpr float kSynthesisGain = 4.0f / 3.0f;

std::size_t sz(std::int64_t n) { return static_cast<std::size_t>(n); }

}  // namespace

SpectralProcessor::SpectralProcessor(std::int64_t frameSize, std::int64_t overlap, std::int64_t zeroPadding,
                                     double sampleRate, float warpLimit, std::int64_t warpSteps)
    : mFrameSize(frameSize),
      mOverlap(overlap),
      mZeroPadding(zeroPadding),
      mFftSize(frameSize * zeroPadding),
      mSampleRate(sampleRate),
      mBinSpacing(static_cast<float>(sampleRate / double(frameSize * zeroPadding))),
      mPeakLimit(static_cast<std::int64_t>(kHighestFrequency / mBinSpacing)),
      mInputFifo(sz(frameSize)),
      mOutputFifo(sz(frameSize)),
      mRealA(sz(mFftSize)),
      mRealB(sz(mFftSize)),
      mComplex(sz(mFftSize + 2)),
      mSpectrumA(sz(mFftSize + 2)),
      mSpectrumB(sz(mFftSize + 2)),
      mEntropyInput(sz(frameSize)),
      mEntropySpectrum(sz(frameSize + 2)),
      mEntropyMagnitude(sz(frameSize / 2)),
      mWarped(sz(frameSize)),
      mPhase(sz(mFftSize)),
      mSynthesisPhase(sz(mFftSize)),
      mOutputAccumulator(sz(2 * frameSize)),
      mFrequency(sz(mFftSize)),
      mStability(sz(mFftSize)),
      mMagnitude(sz(mFftSize)),
      mCandidates(sz(mFftSize)),
      mSynthesisFrequency(sz(mFftSize)),
      mSynthesisMagnitude(sz(mFftSize)),
      mSynthesisFlags(sz(mFftSize)),
      mDecodedMagnitude(sz(std::min<std::int64_t>(mFftSize / 2, kFrameRecordMaxBins))),
      mDecodedFrequency(mDecodedMagnitude.size()),
      mDecodedPhase(mDecodedMagnitude.size()),
      mUnwarped(sz(frameSize)),
      mSynthesisFrame(sz(frameSize)),
      mPeakWork(sz(std::max<std::int64_t>(mPeakLimit, 1))),
      mHann(sz(frameSize)),
      mWelch(sz(frameSize)),
      mRecord(FrameRecord::create()),
      mAnalysisFft(mFftSize),
      mSynthesisFft(mFftSize),
      mEntropyFft(frameSize) {
    buildWindows();
    buildWarpTables(warpLimit, warpSteps);
}

void SpectralProcessor::buildWindows() {
    const std::int64_t n = mFrameSize;
    const double half = double(n) / 2.0;
    for (std::int64_t k = 0; k < n; ++k) {
        const float angle = static_cast<float>(k) * fastmath::kTwoPi / static_cast<float>(n);
        mHann[k] = 0.5f - 0.5f * std::cos(angle);
        const double t = (double(k) - half) / half;
        mWelch[k] = static_cast<float>(1.0 - t * t);
    }
}

// Factors 1, +-(1 + step), +-(1 + 2 step), ... up to the first one at or above the limit,
// the step added in single precision as the stored factor list requires.
void SpectralProcessor::buildWarpTables(float warpLimit, std::int64_t warpSteps) {
    const float step = static_cast<float>((double(warpLimit) - 1.0) / double(warpSteps));
    mWarpTables.reserve(kMaxWarpTables);
    for (float f = 1.0f; mWarpTables.size() < kMaxWarpTables; f = f + step) {
        mWarpTables.emplace_back(f, mFrameSize);
        if (f != 1.0f && mWarpTables.size() < kMaxWarpTables) mWarpTables.emplace_back(-f, mFrameSize);
        if (double(f) >= double(warpLimit) || step <= 0.0f) break;
    }
    for (const WarpTable& table : mWarpTables) mWarpFactors.push_back(table.factor());
    mWarpInverses.resize(mWarpTables.size());
}

void SpectralProcessor::setAnalysisCallback(FrameAnalyzedCallback callback, void* userData, std::int32_t channel) {
    mAnalysisCallback = callback;
    mAnalysisUserData = userData;
    mAnalysisChannel = channel;
}

void SpectralProcessor::setSynthesisCallback(FrameRequestCallback callback, void* userData, std::int32_t channel) {
    mSynthesisCallback = callback;
    mSynthesisUserData = userData;
    mSynthesisChannel = channel;
}

// ---- analysis -------------------------------------------------------------------------------

void SpectralProcessor::feedSamples(std::int64_t count, const float* samples) {
    const std::int64_t latency = mFrameSize - hop();
    if (mRover == 0) mRover = latency;
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t run = std::min(count - done, mFrameSize - mRover);
        std::memcpy(mInputFifo.data() + mRover, samples + done, sizeof(float) * sz(run));
        done += run;
        mRover += run;
        if (mRover < mFrameSize) break;
        mRover = latency;
        analyzeHop();
        std::memmove(mInputFifo.data(), mInputFifo.data() + hop(), sizeof(float) * sz(latency));
    }
}

void SpectralProcessor::primeInput(const float* samples) {
    if (mRover != 0) return;
    std::copy(samples, samples + (mFrameSize - hop()), mInputFifo.begin());
    mRover = mFrameSize - hop();
}

void SpectralProcessor::analyzeHop() {
    const FrameEstimate estimate = analyzeFrame(mInputFifo.data());
    if (!mAnalysisCallback) return;
    fillRecord(estimate, *mRecord);
    mAnalysisCallback(mRecord.get(), mAnalysisChannel, mAnalysisUserData);
}

namespace {

// Lowest and highest of w[k] x[k] (kWindowed) or of x[k], both starting from 0.
template <bool kWindowed>
[[gnu::always_inline]] inline void extremes(const float* x, const float* window, int n, float* lowest, float* highest) {
    float low = 0.0f, high = 0.0f;
#pragma omp simd reduction(min : low) reduction(max : high)
    for (int k = 0; k < n; ++k) {
        const float v = kWindowed ? window[k] * x[k] : x[k];
        low = std::min(low, v);
        high = std::max(high, v);
    }
    // Exactly as a running minimum and maximum that start at +0 and take only strictly
    // lower or higher values: the sign of a zero result does not depend on the lanes.
    *lowest = low < 0.0f ? low : 0.0f;
    *highest = high > 0.0f ? high : 0.0f;
}

inline float magnitudeLogTerm(float m) { return m > 0.0f ? m * fastmath::logApprox(m) : 0.0f; }

// Sum of m ln m over the magnitudes m = |X[k]| x scale of the complex values X[0 .. half-1].
// Two passes, the magnitudes first (shorter loop bodies run faster). The sum runs in 16 fixed
// lanes added up in a fixed order, so that every vector width gives the same result.
[[gnu::always_inline]] inline float magnitudeLogSum(const float* spectrum, float* magnitude, int half, float scale) {
#pragma omp simd
    for (int k = 0; k < half; ++k) {
        const float re = spectrum[2 * k];
        const float im = spectrum[2 * k + 1];
        magnitude[k] = std::sqrt(re * re + im * im) * scale;
    }
    constexpr int kLanes = 16;
    float lanes[kLanes] = {};
    const int whole = half - half % kLanes;
    for (int k = 0; k < whole; k += kLanes) {
#pragma omp simd
        for (int j = 0; j < kLanes; ++j) lanes[j] += magnitudeLogTerm(magnitude[k + j]);
    }
    for (int k = whole; k < half; ++k) lanes[0] += magnitudeLogTerm(magnitude[k]);
    return fastmath::sumSixteenLanes(lanes);
}

}  // namespace

FrameEstimate SpectralProcessor::analyzeFrame(const float* x) {
    const float entropy = spectralEntropy(x);
    return analyzeFrameWithWarp(x, entropy, chooseWarp(x, entropy).factor);
}

FrameEstimate SpectralProcessor::analyzeFrameWithWarp(const float* x, float unwarpedEntropy, float warpFactor) {
    FrameEstimate estimate;
    fastmath::dispatch<extremes<true>>(x, static_cast<const float*>(mHann.data()), static_cast<int>(mFrameSize),
                                       &estimate.minimum, &estimate.maximum);
    estimate.warpFactor = warpFactor;
    frameSpectrum(x, estimate.warpFactor);
    const float clamped = std::min(std::max(unwarpedEntropy, 2.0f), 50.0f);
    estimate.noisiness = std::pow((clamped - 2.0f) * 0.020833334f, 0.75f);
    return estimate;
}

float SpectralProcessor::spectralEntropy(const float* frame) {
    float* windowed = mEntropyInput.data();
    const float* welch = mWelch.data();
#pragma omp simd
    for (std::int64_t k = 0; k < mFrameSize; ++k) windowed[k] = frame[k] * welch[k];
    return entropyOfWindowed(windowed);
}

float SpectralProcessor::entropyOfWindowed(const float* windowed) {
    mEntropyFft.realForward(windowed, mEntropySpectrum.data(), mFrameSize);
    return entropyOfSpectrum(mEntropySpectrum.data());
}

// -(sum of m ln m) / ln 2 over the magnitudes m = |X[k]| / N of the lower half spectrum.
float SpectralProcessor::entropyOfSpectrum(const float* spectrum) {
    const float sum = fastmath::dispatch<magnitudeLogSum>(spectrum, mEntropyMagnitude.data(),
                                                          static_cast<int>(mFrameSize / 2),
                                                          1.0f / static_cast<float>(mFrameSize));
    return -sum / static_cast<float>(std::numbers::ln2);
}

float SpectralProcessor::warpedEntropy(const WarpTable& table, const float* frame) {
    table.warpWeighted(frame, mWelch.data(), mEntropyInput.data());
    return entropyOfWindowed(mEntropyInput.data());
}

WarpChoice SpectralProcessor::chooseWarp(const float* frame) { return chooseWarp(frame, spectralEntropy(frame)); }

// The identity table reproduces the unwarped frame exactly, so its entropy equals the
// unwarped one and can never be strictly lower: it is skipped.
WarpChoice SpectralProcessor::chooseWarp(const float* frame, float unwarpedEntropy) {
    WarpChoice best{1.0f, unwarpedEntropy};
    for (const WarpTable& table : mWarpTables) {
        if (table.isIdentity()) continue;
        const float entropy = warpedEntropy(table, frame);
        if (improves(entropy, best)) best = {table.factor(), entropy};
    }
    return best;
}

void SpectralProcessor::frameSpectrum(const float* x, float warpFactor) {
    estimateSpectrum(x, warpFactor);
    limitFrequencies();
}

namespace {

// Per bin k < m/2 of the spectra X = a and Y = b (the frame and the frame L samples later):
// magnitude 2 |X|, phase arg X, and the frequency in cycles per sample from the phase
// difference arg(Y conj X) with the expected advance of bin k removed and wrapped. The phase is
// stored and resynthesised, so it is computed accurately; the difference only feeds the
// frequency estimate and the tonal classification, for which the fast form is enough.
[[gnu::always_inline]] inline void binEstimates(const float* a, const float* b, float* magnitude, float* phase,
                                                float* frequency, int m, int lag) {
    const float advance = fastmath::kTwoPi * static_cast<float>(lag) / static_cast<float>(m);
    const float binsPerCycle = static_cast<float>(m) / static_cast<float>(lag);
    const float inverseSize = 1.0f / static_cast<float>(m);  // exact: m is a power of two
    const int half = m / 2;  // 32-bit index: SSE2 converts only int32 lanes to float
#pragma omp simd
    for (int k = 0; k < half; ++k) {
        const float xr = a[2 * k], xi = a[2 * k + 1];
        const float yr = b[2 * k], yi = b[2 * k + 1];
        magnitude[k] = 2.0f * std::sqrt(xr * xr + xi * xi);
        const float d = fastmath::atan2Approx(yi * xr - yr * xi, yr * xr + yi * xi);
        float u = d - static_cast<float>(k) * advance;
        u = u - fastmath::kTwoPi * fastmath::roundNearest(u * fastmath::kInverseTwoPi);
        frequency[k] = (u * fastmath::kInverseTwoPi * binsPerCycle + static_cast<float>(k)) * inverseSize;
        phase[k] = fastmath::atan2Accurate(xi, xr);
    }
}

}  // namespace

// Magnitude, phase and instantaneous frequency (cycles per sample) of every bin, from the
// phase difference between the warped frame and the same frame read L = N/32 samples later.
void SpectralProcessor::estimateSpectrum(const float* x, float warpFactor) {
    const auto listed = std::find(mWarpFactors.begin(), mWarpFactors.end(), warpFactor);
    const std::size_t tableIndex = listed == mWarpFactors.end() ? 0 : sz(listed - mWarpFactors.begin());
    mWarpTables[tableIndex].warpBandLimited(x, mWarped.data());

    const std::int64_t n = mFrameSize;
    const std::int64_t m = mFftSize;
    const std::int64_t lag = n / 32;
    // B[k] = w[k] y[(k + L) mod M] with y zero from N on: zeros enter at the end when the
    // frame is padded, the frame wraps around when it is not.
    const float* y = mWarped.data();
    const float* w = mHann.data();
    float* realA = mRealA.data();
    float* realB = mRealB.data();
    const std::int64_t wrapped = m == n ? lag : 0;
    for (std::int64_t k = 0; k < n; ++k) realA[k] = w[k] * y[k];
    for (std::int64_t k = 0; k < n - lag; ++k) realB[k] = w[k] * y[k + lag];
    for (std::int64_t k = n - lag; k < n - lag + wrapped; ++k) realB[k] = w[k] * y[k + lag - n];
    for (std::int64_t k = n - lag + wrapped; k < n; ++k) realB[k] = 0.0f;
    mAnalysisFft.realForward(mRealA.data(), mSpectrumA.data(), m);
    mAnalysisFft.realForward(mRealB.data(), mSpectrumB.data(), m);

    fastmath::dispatch<binEstimates>(static_cast<const float*>(mSpectrumA.data()),
                                     static_cast<const float*>(mSpectrumB.data()), mMagnitude.data(), mPhase.data(),
                                     mFrequency.data(), static_cast<int>(m), static_cast<int>(lag));
}

// Frequencies to Hz, estimates outside 20 .. 22050 Hz cleared to 0 (no measured frequency),
// then the neighbour differences: stability in bins and the candidate (tonal) spectrum. A bin
// without a measured frequency keeps its magnitude, which is part of the sound (noise and low
// bins often give wild estimates), but it is never a candidate.
void SpectralProcessor::limitFrequencies() {
    const std::int64_t half = mFftSize / 2;
    float* frequency = mFrequency.data();
    const float* magnitude = mMagnitude.data();
    const double rate = mSampleRate;
#pragma omp simd
    for (std::int64_t k = 0; k < half; ++k) {
        const float f = static_cast<float>(double(frequency[k]) * rate);
        const bool outside = (f < kLowestFrequency) | (f > kHighestFrequency);
        frequency[k] = outside ? 0.0f : f;
    }
    float* stability = mStability.data();
    float* candidates = mCandidates.data();
    const float df = mBinSpacing;
    const float spread = kCandidateSpread * df;
    stability[0] = 0.0f;
    candidates[0] = 0.0f;
#pragma omp simd
    for (std::int64_t k = 1; k < half; ++k) {
        const float difference = std::fabs(frequency[k] - frequency[k - 1]);
        stability[k] = difference / df;
        const bool tonal = (difference <= spread) & (magnitude[k] > kCandidateMagnitude) & (frequency[k] > 0.0f);
        candidates[k] = tonal ? magnitude[k] : 0.0f;
    }
}

void SpectralProcessor::fillRecord(const FrameEstimate& estimate, FrameRecord& record) {
    record.reset();
    record.noisiness = estimate.noisiness;
    record.warpFactor = estimate.warpFactor;
    record.minimumSample = estimate.minimum;
    record.maximumSample = estimate.maximum;
    record.fundamental = 0.0f;
    record.zeroPaddingFactor = static_cast<std::uint16_t>(mZeroPadding);
    record.overlap = static_cast<std::uint16_t>(mOverlap);
    record.frameSize = static_cast<std::uint16_t>(mFrameSize);
    record.valid = 1;
    PeakList peaks = findPeaks(mCandidates, mPeakLimit, mPeakWork);
    const PeakList regions = findPeakRegions(mCandidates, mPeakLimit, peaks);
    std::copy(peaks.begin(), peaks.end(), record.peakBins);
    std::copy(regions.begin(), regions.end(), record.regionBounds);
    const std::size_t half = sz(mFftSize / 2);
    record.encode({mMagnitude.data(), half}, {mFrequency.data(), half}, {mPhase.data(), half});
}

// ---- synthesis ------------------------------------------------------------------------------

namespace {

// A[k] = (cos acc[k] x a[k], sin acc[k] x a[k]) for k < half, interleaved.
[[gnu::always_inline]] inline void polarToComplex(const float* magnitude, const float* phase, float* spectrum,
                                                  int half) {
#pragma omp simd
    for (int k = 0; k < half; ++k) {
        float sine, cosine;
        fastmath::sinCosApprox(phase[k], sine, cosine);
        spectrum[2 * k] = cosine * magnitude[k];
        spectrum[2 * k + 1] = sine * magnitude[k];
    }
}

// out[k] = gain w[k] x[k]: the synthesis window.
[[gnu::always_inline]] inline void applyWindow(const float* x, const float* window, float gain, float* out, int n) {
#pragma omp simd
    for (int k = 0; k < n; ++k) out[k] = gain * window[k] * x[k];
}

}  // namespace

void SpectralProcessor::synthesizeFrame(FrameRecord* record, float* out) {
    const std::int64_t n = mFrameSize;
    const std::int64_t m = mFftSize;
    const std::int64_t half = m / 2;
    float warpFactor = 1.0f;
    if (record && record->valid == 1) {
        warpFactor = record->warpFactor;
        decodeForSynthesis(*record);
    } else {
        std::fill_n(mSynthesisMagnitude.begin(), half, 0.0f);
        std::fill_n(mSynthesisFrequency.begin(), half, 0.0f);
    }
    advanceRegeneratedPhases();
    // Stored magnitudes are twice the modulus, which the one-sided inverse halves again for
    // every bin but the DC bin: that one is given at its own modulus.
    mSynthesisMagnitude[0] *= 0.5f;
    fastmath::dispatch<polarToComplex>(static_cast<const float*>(mSynthesisMagnitude.data()),
                                       static_cast<const float*>(mSynthesisPhase.data()), mComplex.data(),
                                       static_cast<int>(half));
    float* real = mWarped.data();
    mSynthesisFft.realInverse(mComplex.data(), real, m, n);
    float* frame = mUnwarped.data();
    unwarpForSynthesis(warpFactor, real, frame);
    fastmath::dispatch<applyWindow>(static_cast<const float*>(frame), static_cast<const float*>(mHann.data()),
                                    kSynthesisGain * 2.0f / static_cast<float>(mOverlap), out, static_cast<int>(n));
    if (record) {
        float lowest = 0.0f, highest = 0.0f;
        fastmath::dispatch<extremes<false>>(static_cast<const float*>(out), static_cast<const float*>(nullptr),
                                            static_cast<int>(n), &lowest, &highest);
        record->minimumSample = lowest;
        record->maximumSample = highest;
    }
}

// Regenerated bins advance by the true phase advance of their frequency over one hop, in
// double precision and wrapped into one turn, so the accumulators never grow.
void SpectralProcessor::advanceRegeneratedPhases() {
    const std::int64_t half = mFftSize / 2;
    const double df = mSampleRate / double(mFftSize);
    const double expected = kTwoPi * double(hop()) / double(mFftSize);
    const double perHop = kTwoPi / double(mZeroPadding * mOverlap);
    const std::uint8_t* flags = mSynthesisFlags.data();
    int anyFlag = 0;
#pragma omp simd reduction(| : anyFlag)
    for (std::int64_t k = 0; k < half; ++k) anyFlag |= flags[k];
    if (!anyFlag) return;
    for (std::int64_t k = 0; k < half; ++k) {
        if (!flags[k]) continue;
        const double bin = double(k);
        const double deviation = (double(mSynthesisFrequency[k]) - bin * df) * perHop / df;
        mSynthesisPhase[k] = static_cast<float>(std::fmod(double(mSynthesisPhase[k]) + bin * expected + deviation, kTwoPi));
    }
}

namespace {

// Whether any of the first n bins stores phase code 0 (unknown).
[[gnu::always_inline]] inline bool anyUnknownPhaseCode(const FrameBinCodes* bins, std::int64_t n) {
    int unknown = 0;
#pragma omp simd reduction(| : unknown)
    for (std::int64_t k = 0; k < n; ++k) unknown |= bins[k].phase == 0 ? 1 : 0;
    return unknown != 0;
}

}  // namespace

// Bins with a stored phase keep it; bins without (or all, when the record asks for
// regenerated phases) move to the bin of their frequency and get an accumulating phase.
// Sets the synthesis magnitude and frequency of every bin below half the transform.
void SpectralProcessor::decodeForSynthesis(const FrameRecord& record) {
    const bool regenerate = record.regeneratePhases != 0;
    const auto bins = static_cast<std::int64_t>(mDecodedPhase.size());  // at most half
    const std::int64_t half = mFftSize / 2;
    const std::int64_t stored = record.valid == 0 ? 0 : std::min<std::int64_t>(bins, record.binCount());
    if (!regenerate &&
        !fastmath::dispatch<anyUnknownPhaseCode>(static_cast<const FrameBinCodes*>(record.bins), stored)) {
        // Every bin keeps its own place and phase: phases, magnitudes and frequencies are
        // decoded straight into the synthesis arrays (the decode clears them past the record's
        // bins).
        record.decodePhasesInto({mSynthesisPhase.data(), sz(bins)});
        record.decodeMagnitudesInto({mSynthesisMagnitude.data(), sz(half)});
        record.decodeFrequenciesInto({mSynthesisFrequency.data(), sz(half)});
        std::fill_n(mSynthesisFlags.begin(), bins, std::uint8_t{0});
        return;
    }
    record.decodePhasesInto(mDecodedPhase);
    record.decodeMagnitudesInto(mDecodedMagnitude);
    record.decodeFrequenciesInto(mDecodedFrequency);
    std::fill_n(mSynthesisMagnitude.begin(), half, 0.0f);
    std::fill_n(mSynthesisFrequency.begin(), half, 0.0f);
    const double df = mSampleRate / double(mFftSize);
    for (std::int64_t k = 0; k < bins; ++k) {
        const float p = mDecodedPhase[k];
        const float a = mDecodedMagnitude[k];
        const float f = mDecodedFrequency[k];
        if (regenerate || std::trunc(p) == kPhaseUnknown) {
            // A bin without a measured frequency sounds at its own place, not at 0 Hz.
            const double target = f > 0.0f ? std::trunc(double(f) / df) : double(k);
            if (target >= 0.0 && target < double(half)) {
                const auto b = static_cast<std::int64_t>(target);
                mSynthesisMagnitude[b] += a;
                mSynthesisFrequency[b] = f > 0.0f ? f : static_cast<float>(double(k) * df);
                mSynthesisFlags[b] = 1;
            }
        } else {
            mSynthesisMagnitude[k] = a;
            mSynthesisFrequency[k] = f;
            mSynthesisFlags[k] = 0;
            mSynthesisPhase[k] = p;
        }
    }
}

// A stored factor that describes no warp (0, NaN) is played unwarped rather than trusted. The
// inverse of each table is built the first time a record needs it.
void SpectralProcessor::unwarpForSynthesis(float factor, const float* x, float* out) {
    if (factor == 1.0f || !WarpTable::usable(factor)) {
        std::memcpy(out, x, sizeof(float) * sz(mFrameSize));
        return;
    }
    const auto listed = std::find(mWarpFactors.begin(), mWarpFactors.end(), factor);
    if (listed != mWarpFactors.end()) {
        std::unique_ptr<WarpInverse>& inverse = mWarpInverses[sz(listed - mWarpFactors.begin())];
        if (!inverse) inverse = std::make_unique<WarpInverse>(mWarpTables[sz(listed - mWarpFactors.begin())]);
        return inverse->apply(x, out);
    }
    if (!mUnlistedInverse || mUnlistedInverse->factor() != factor)
        mUnlistedInverse = std::make_unique<WarpInverse>(WarpTable(factor, mFrameSize));
    mUnlistedInverse->apply(x, out);
}

void SpectralProcessor::pullSamples(std::int64_t count, float* out) {
    const std::int64_t n = mFrameSize;
    const std::int64_t step = hop();
    const std::int64_t latency = n - step;
    if (mRover == 0) mRover = latency;
    for (std::int64_t i = 0; i < count; ++i) {
        out[i] = mOutputFifo[mRover - latency];
        if (++mRover < n) continue;
        mRover = latency;
        mRecord->reset();
        if (mSynthesisCallback) mSynthesisCallback(mRecord.get(), mSynthesisChannel, mSynthesisUserData);
        synthesizeFrame(mRecord.get(), mSynthesisFrame.data());
        float* accumulator = mOutputAccumulator.data();
        for (std::int64_t k = 0; k < n; ++k) accumulator[k] += mSynthesisFrame[k];
        std::copy(accumulator, accumulator + step, mOutputFifo.begin());
        std::memmove(accumulator, accumulator + step, sizeof(float) * sz(2 * n - step));
        std::fill(accumulator + 2 * n - step, accumulator + 2 * n, 0.0f);
    }
}

}  // namespace orvex
