#include "engine/KVPreviewExchange.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Types.h"

namespace orvex {

namespace {
constexpr float kNyquist = 22050.0f;
constexpr float kClipLow = -1.0f;
constexpr float kClipHigh = 0.999f;
constexpr float kMaxHarmonic = 100.0f;  // 1 / h >= 0.01
}  // namespace

KVPreviewExchange::KVPreviewExchange(std::recursive_mutex& controllerMonitor)
    : mMonitor(controllerMonitor),
      mProcessor(kSynthesisFrameSize, kSynthesisOverlap, 1, kWorkingSampleRate, 1.1f, 11),
      mMagnitudes(kFrameRecordMaxBins),
      mFrequencies(kFrameRecordMaxBins),
      mReducedMagnitudes(kSynthesisBins),
      mReducedFrequencies(kSynthesisBins),
      mUnknownPhases(kSynthesisBins, kPhaseUnknown) {
    mProcessor.setSynthesisCallback(&KVPreviewExchange::frameRequest, this, -1);
}

void KVPreviewExchange::render(float* const* buffers, std::int64_t frames, std::int64_t channels,
                               AudioRenderContext* context) {
    if (auto* exchange = dynamic_cast<KVPreviewExchange*>(context)) exchange->fillBuffers(buffers, frames, channels);
}

void KVPreviewExchange::renderSilence(float* const* buffers, std::int64_t frames, std::int64_t channels,
                                      AudioRenderContext*) {
    for (std::int64_t c = 0; c < channels; ++c)
        if (buffers[c]) std::fill(buffers[c], buffers[c] + frames, 0.0f);
}

void KVPreviewExchange::fillBuffers(float* const* buffers, std::int64_t frames, std::int64_t channels) {
    std::unique_lock<std::recursive_mutex> lock(mMonitor, std::try_to_lock);
    if (!lock.owns_lock() || !mEnabled || channels < 1 || !buffers[0]) {
        renderSilence(buffers, frames, channels, this);
        return;
    }
    float* left = buffers[0];
    mProcessor.pullSamples(frames, left);
    for (std::int64_t i = 0; i < frames; ++i) left[i] = std::clamp(left[i], kClipLow, kClipHigh);
    if (channels > 1 && buffers[1]) std::copy(left, left + frames, buffers[1]);
}

// Called inside pullSamples, so on the audio thread with the controller's lock held.
void KVPreviewExchange::frameRequest(FrameRecord* record, std::int32_t, void* userData) {
    static_cast<KVPreviewExchange*>(userData)->fillRequestedFrame(*record);
}

void KVPreviewExchange::fillRequestedFrame(FrameRecord& record) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mFrameRequested) return;  // the preview thread has not answered: this hop stays silent
    const std::int64_t index = mSlotIndex.load();
    FrameRecord& slot = mSlots[std::size_t(index)];
    slot.decodeMagnitudesInto(mMagnitudes);
    slot.decodeFrequenciesInto(mFrequencies);
    mReducedMagnitudes[0] = mMagnitudes[0];
    mReducedFrequencies[0] = mFrequencies[0];
    for (std::size_t k = 1; k < std::size_t(kSynthesisBins); ++k) {
        mReducedMagnitudes[k] = mMagnitudes[4 * k];
        mReducedFrequencies[k] = mFrequencies[4 * k];
    }
    record.warpFactor = 1.0f;
    record.size = kFrameRecordSize;
    record.frameSize = std::uint16_t(kSynthesisBins);
    record.zeroPaddingFactor = 0;
    record.overlap = 0;
    record.valid = 1;
    record.regeneratePhases = 1;
    record.encode(mReducedMagnitudes, mReducedFrequencies, mUnknownPhases);
    std::memset(static_cast<void*>(&slot), 0, sizeof slot);
    mFrameRequested = true;
    mSlotIndex = 1 - index;
}

void KVPreviewExchange::offerFrame(const FrameRecord* record) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mFrameRequested) return;
    if (record) FrameRecord::copy(*record, mSlots[std::size_t(1 - mSlotIndex.load())]);
    mFrameRequested = false;
}

void KVPreviewExchange::clearSlots() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    for (FrameRecord& slot : mSlots) std::memset(static_cast<void*>(&slot), 0, sizeof slot);
}

bool KVPreviewExchange::harmonicPreview(const FrameRecord& record, float frequency, int tool, bool snapToGrid,
                                        FrameRecord& into) {
    if (!record.valid) return false;
    float f = std::clamp(frequency, 0.0f, kNyquist);
    FrameRecord::copy(record, into);
    if (snapToGrid) {
        const float peak = record.binFrequency(record.nearestPeakBin(f));
        if (std::fabs(peak - f) < f) f = peak;
    }
    const std::vector<float> magnitudes = record.decodeMagnitudes();
    const std::vector<float> frequencies = record.decodeFrequencies();
    std::vector<float> outMagnitudes(magnitudes.size(), 0.0f);
    std::vector<float> outFrequencies(frequencies.size(), 0.0f);
    const float step = tool == 2 ? 0.5f : 1.0f;
    const float tolerance = std::pow(2.0f, 1.0f / 24.0f) - 1.0f;
    for (float h = step; h * f <= kNyquist && h <= kMaxHarmonic; h += step) {
        const float harmonic = h * f;
        for (std::size_t k = 0; k < magnitudes.size(); ++k) {
            if (std::fabs(frequencies[k] - harmonic) > harmonic * tolerance) continue;
            outMagnitudes[k] = magnitudes[k];
            outFrequencies[k] = frequencies[k];
        }
        if (tool == 1) break;
    }
    into.warpFactor = record.warpFactor;
    into.encodeMagnitudesAndFrequencies(outMagnitudes, outFrequencies);
    return true;
}

}  // namespace orvex
