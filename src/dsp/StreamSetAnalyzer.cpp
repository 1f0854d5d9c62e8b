#include "dsp/StreamSetAnalyzer.h"

#include <algorithm>
#include <cstring>

namespace orvex {

StreamSetAnalyzer::StreamSetAnalyzer(int channels, std::int64_t frameSize, std::int64_t overlap,
                                     std::int64_t zeroPadding, double sampleRate, float warpLimit,
                                     std::int64_t warpSteps)
    : mMixSpectrum(static_cast<std::size_t>(frameSize + 2)), mShare(1.0f / static_cast<float>(std::max(channels, 1))) {
    for (int stream = 0; stream <= std::max(channels, 1); ++stream)
        mStreams.push_back(
            std::make_unique<SpectralProcessor>(frameSize, overlap, zeroPadding, sampleRate, warpLimit, warpSteps));
    mUnwarpedEntropy.resize(mStreams.size());
    mBest.resize(mStreams.size());
}

void StreamSetAnalyzer::analyze(const float* const* frames, FrameRecord* const* records) {
    const std::size_t bytes = sizeof(float) * static_cast<std::size_t>(mStreams[0]->frameSize());
    if (mStreams.size() == 2) {
        analyzeAlone(1, frames[1], *records[1]);
        if (std::memcmp(frames[0], frames[1], bytes) == 0)
            FrameRecord::copy(*records[1], *records[0]);
        else
            analyzeAlone(0, frames[0], *records[0]);
        return;
    }
    searchWarps(frames);
    for (std::size_t s = 0; s < mStreams.size(); ++s) {
        SpectralProcessor& stream = *mStreams[s];
        const FrameEstimate estimate = stream.analyzeFrameWithWarp(frames[s], mUnwarpedEntropy[s], mBest[s].factor);
        stream.fillRecord(estimate, *records[s]);
    }
}

void StreamSetAnalyzer::analyzeAlone(std::size_t stream, const float* frame, FrameRecord& record) {
    SpectralProcessor& processor = *mStreams[stream];
    processor.fillRecord(processor.analyzeFrame(frame), record);
}

// The candidates in the order and with the tie rule of a stream's own search; the identity
// table is skipped there as here (it reproduces the unwarped frame).
void StreamSetAnalyzer::searchWarps(const float* const* frames) {
    for (std::size_t s = 0; s < mStreams.size(); ++s) {
        mUnwarpedEntropy[s] = mStreams[s]->spectralEntropy(frames[s]);
        mBest[s] = {1.0f, mUnwarpedEntropy[s]};
    }
    SpectralProcessor& mix = *mStreams[0];
    const std::size_t tables = mix.warpFactors().size();
    for (std::size_t t = 0; t < tables; ++t) {
        const WarpTable& table = mix.warpTable(t);
        if (table.isIdentity()) continue;
        for (std::size_t s = 1; s < mStreams.size(); ++s) {
            const float entropy = mStreams[s]->warpedEntropy(table, frames[s]);
            if (SpectralProcessor::improves(entropy, mBest[s])) mBest[s] = {table.factor(), entropy};
            addToMixSpectrum(mStreams[s]->entropySpectrum().data(), s == 1);
        }
        const float entropy = mix.entropyOfSpectrum(mMixSpectrum.data());
        if (SpectralProcessor::improves(entropy, mBest[0])) mBest[0] = {table.factor(), entropy};
    }
}

void StreamSetAnalyzer::addToMixSpectrum(const float* spectrum, bool first) {
    float* mix = mMixSpectrum.data();
    const float share = mShare;
    const auto n = static_cast<std::int64_t>(mMixSpectrum.size());
    if (first) {
#pragma omp simd
        for (std::int64_t k = 0; k < n; ++k) mix[k] = spectrum[k] * share;
        return;
    }
#pragma omp simd
    for (std::int64_t k = 0; k < n; ++k) mix[k] += spectrum[k] * share;
}

}  // namespace orvex
