#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "dsp/AlignedBuffer.h"
#include "dsp/FftEngine.h"
#include "dsp/FrameRecord.h"
#include "dsp/PeakPicker.h"
#include "dsp/WarpInverse.h"
#include "dsp/WarpTable.h"

namespace orvex {

// Receives each analysed frame. The record is reused after the call: copy what you keep.
using FrameAnalyzedCallback = void (*)(FrameRecord* record, std::int32_t channel, void* userData);
// Fills a freshly reset record (valid 0) with the frame to synthesise next.
using FrameRequestCallback = void (*)(FrameRecord* record, std::int32_t channel, void* userData);

// What analyzeFrame reports besides the per-bin arrays.
struct FrameEstimate {
    float noisiness = 0.0f;   // 0..1 from the spectral entropy
    float warpFactor = 1.0f;  // signed chirp factor of the chosen warp table
    float minimum = 0.0f;     // lowest Hann-windowed sample, <= 0
    float maximum = 0.0f;     // highest, >= 0
};

// A chosen warp and the spectral entropy of the frame warped with it.
struct WarpChoice {
    float factor = 1.0f;
    float entropy = 0.0f;
};

// Streaming short-time Fourier analysis (feedSamples: one FrameRecord per hop) and
// inverse-FFT resynthesis (synthesizeFrame, pullSamples) of one stream of samples.
// Frame size N (power of two), overlap (hop = N / overlap), zero padding P (FFT size M = N x P).
// A processor is used in one direction only and by one thread at a time; it holds no lock.
// After construction nothing allocates: all work arrays and the record are kept.
class SpectralProcessor {
public:
    SpectralProcessor(std::int64_t frameSize, std::int64_t overlap, std::int64_t zeroPadding, double sampleRate,
                      float warpLimit = 1.1f, std::int64_t warpSteps = 11);
    SpectralProcessor(const SpectralProcessor&) = delete;
    SpectralProcessor& operator=(const SpectralProcessor&) = delete;

    void setAnalysisCallback(FrameAnalyzedCallback callback, void* userData, std::int32_t channel);
    void setSynthesisCallback(FrameRequestCallback callback, void* userData, std::int32_t channel);

    // Analysis direction: frames complete every hop samples; each is analysed and, when an
    // analysis callback is set, delivered as a record.
    void feedSamples(std::int64_t count, const float* samples);
    // Before the first feedSamples: the N - hop samples that precede the stream, which the first
    // frames then hold instead of zeros (the sound before a segment that starts inside a file).
    void primeInput(const float* samples);
    // Synthesis direction: asks the synthesis callback for one record per hop and overlap-adds.
    void pullSamples(std::int64_t count, float* out);

    // Estimates the frame x[N]: fills magnitudes, phases, frequencies (Hz), stabilities
    // (bins) and the candidate spectrum.
    FrameEstimate analyzeFrame(const float* x);
    // The rest of analyzeFrame once the warp is chosen: unwarpedEntropy is spectralEntropy(x).
    FrameEstimate analyzeFrameWithWarp(const float* x, float unwarpedEntropy, float warpFactor);
    // The warp whose resampled frame has strictly the lowest spectral entropy (1.0 on ties).
    WarpChoice chooseWarp(const float* frame);
    // Spectral entropy (bits, not normalised) of the Welch-windowed frame of N samples.
    float spectralEntropy(const float* frame);
    // The same of the frame warped with table; its spectrum stays in entropySpectrum().
    float warpedEntropy(const WarpTable& table, const float* frame);
    // The entropy of a spectrum of N + 2 interleaved values, as a Welch-windowed frame gives.
    float entropyOfSpectrum(const float* spectrum);
    // The spectrum of the last spectralEntropy or warpedEntropy: N / 2 + 1 complex values.
    std::span<const float> entropySpectrum() const { return {mEntropySpectrum.data(), size_t(mFrameSize + 2)}; }
    // Whether a warp of entropy is chosen over the best one so far: strictly lower only.
    static bool improves(float entropy, const WarpChoice& best) { return entropy < best.entropy; }
    // The FFT-size part of analyzeFrame: warps x with the table of warpFactor, estimates every
    // bin and derives stabilities and candidates.
    void frameSpectrum(const float* x, float warpFactor);
    // Packs the last analysed frame into record: header, peaks, regions and bin codes.
    void fillRecord(const FrameEstimate& estimate, FrameRecord& record);

    // N windowed output samples of record (null or invalid: silence). Writes the record's
    // minimum and maximum sample fields.
    void synthesizeFrame(FrameRecord* record, float* out);

    std::int64_t frameSize() const { return mFrameSize; }
    std::int64_t overlap() const { return mOverlap; }
    std::int64_t hop() const { return mFrameSize / mOverlap; }
    std::int64_t fftSize() const { return mFftSize; }
    std::int64_t binCount() const { return mFftSize / 2; }
    double sampleRate() const { return mSampleRate; }
    float binSpacing() const { return mBinSpacing; }
    // Peak search limit V = truncate(22050 / bin spacing); peaks lie below V / 2.
    std::int64_t peakSearchLimit() const { return mPeakLimit; }

    std::span<const float> magnitudes() const { return {mMagnitude.data(), size_t(binCount())}; }
    std::span<const float> phases() const { return {mPhase.data(), size_t(binCount())}; }
    std::span<const float> frequencies() const { return {mFrequency.data(), size_t(binCount())}; }
    std::span<const float> stabilities() const { return {mStability.data(), size_t(binCount())}; }
    // M entries; from M/2 on always 0.
    std::span<const float> candidates() const { return mCandidates; }

    std::span<const float> warpFactors() const { return {mWarpFactors.data(), mWarpTables.size()}; }
    const WarpTable& warpTable(std::size_t index) const { return mWarpTables[index]; }
    std::span<const float> hannWindow() const { return mHann; }
    std::span<const float> welchWindow() const { return mWelch; }

private:
    void buildWindows();
    void buildWarpTables(float warpLimit, std::int64_t warpSteps);
    WarpChoice chooseWarp(const float* frame, float unwarpedEntropy);
    float entropyOfWindowed(const float* windowed);
    void estimateSpectrum(const float* x, float warpFactor);
    void limitFrequencies();
    void analyzeHop();
    void decodeForSynthesis(const FrameRecord& record);
    void advanceRegeneratedPhases();
    void unwarpForSynthesis(float factor, const float* x, float* out);

    std::int64_t mFrameSize;
    std::int64_t mOverlap;
    std::int64_t mZeroPadding;
    std::int64_t mFftSize;
    double mSampleRate;
    float mBinSpacing;
    std::int64_t mPeakLimit;

    FrameAnalyzedCallback mAnalysisCallback = nullptr;
    void* mAnalysisUserData = nullptr;
    std::int32_t mAnalysisChannel = 0;
    FrameRequestCallback mSynthesisCallback = nullptr;
    void* mSynthesisUserData = nullptr;
    std::int32_t mSynthesisChannel = 0;

    std::int64_t mRover = 0;
    std::vector<float> mInputFifo;
    std::vector<float> mOutputFifo;
    AlignedFloats mRealA;     // M: windowed warped frame, zero from N on
    AlignedFloats mRealB;     // M: the same read L samples later
    AlignedFloats mComplex;   // M + 2: synthesis half spectrum, interleaved
    AlignedFloats mSpectrumA; // M + 2: complex spectrum of A
    AlignedFloats mSpectrumB; // M + 2: complex spectrum of B
    AlignedFloats mEntropyInput;     // N
    AlignedFloats mEntropySpectrum;  // N + 2
    AlignedFloats mEntropyMagnitude; // N / 2
    std::vector<float> mWarped;      // N
    std::vector<float> mPhase;
    std::vector<float> mSynthesisPhase;  // accumulators, persist between frames
    std::vector<float> mOutputAccumulator;  // 2N
    std::vector<float> mFrequency;
    std::vector<float> mStability;
    std::vector<float> mMagnitude;
    std::vector<float> mCandidates;
    std::vector<float> mSynthesisFrequency;
    std::vector<float> mSynthesisMagnitude;
    std::vector<std::uint8_t> mSynthesisFlags;
    std::vector<float> mDecodedMagnitude;  // M/2 (at most a record's bins)
    std::vector<float> mDecodedFrequency;
    std::vector<float> mDecodedPhase;
    std::vector<float> mUnwarped;        // N: synthesised frame after undoing the warp
    std::vector<float> mSynthesisFrame;  // N: one frame of pullSamples
    std::vector<float> mPeakWork;
    std::vector<float> mHann;
    std::vector<float> mWelch;
    std::vector<float> mWarpFactors;
    std::vector<WarpTable> mWarpTables;
    std::vector<std::unique_ptr<WarpInverse>> mWarpInverses;  // per table, built when first needed
    std::unique_ptr<WarpInverse> mUnlistedInverse;             // for a stored factor not in the list
    std::unique_ptr<FrameRecord> mRecord;
    FftEngine mAnalysisFft;
    FftEngine mSynthesisFft;
    FftEngine mEntropyFft;
};

}  // namespace orvex
