#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "common/AnalysisConstants.h"
#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"
#include "playback/AudioRenderCallback.h"

namespace orvex {

// The real-time preview of an analysis controller: two record slots between the preview thread,
// which puts the frame under the mouse into the free slot, and the audio side, whose synthesis
// processor takes the other slot once per hop (reduced to 2048 bins, phases regenerated).
// Threads: render() and fillBuffers() run on the audio thread and only try the controller's
// lock (a busy lock yields silence for that cycle, never a wait); offerFrame() and clearSlots()
// run on the preview thread and take the lock; the rest on any thread.
class KVPreviewExchange : public AudioRenderContext {
public:
    static constexpr std::int64_t kSynthesisFrameSize = kAnalysisFrameSize;
    static constexpr std::int64_t kSynthesisOverlap = 4;
    static constexpr std::int64_t kSynthesisBins = 2048;

    explicit KVPreviewExchange(std::recursive_mutex& controllerMonitor);

    // The preview render function and the silent one that replaces it while the selection is
    // rewritten; context is the exchange.
    static void render(float* const* buffers, std::int64_t frames, std::int64_t channels,
                       AudioRenderContext* context);
    static void renderSilence(float* const* buffers, std::int64_t frames, std::int64_t channels,
                              AudioRenderContext* context);
    // Synthesised preview into channel 0, clipped to -1 .. 0.999 and copied to channel 1;
    // zeros when the preview is off.
    void fillBuffers(float* const* buffers, std::int64_t frames, std::int64_t channels);

    void setEnabled(bool enabled) { mEnabled = enabled; }
    bool isEnabled() const { return mEnabled.load(); }

    // True while the audio side waits for a record.
    bool frameRequested() const { return mFrameRequested.load(); }
    // Puts record (null: nothing) into the free slot and answers the request.
    void offerFrame(const FrameRecord* record);
    void clearSlots();
    std::int64_t slotIndex() const { return mSlotIndex.load(); }

    // The harmonics of frequency in record: bins within a quarter tone of h x frequency keep
    // their frequency and magnitude, so the preview sounds them at their level in the sound (a
    // gain of 4 / h made the fundamental 12 dB louder than what a pencil keeps); all others are
    // zeroed. h runs 1, 2, ... (0.5, 1, 1.5, ... for tool 2; only 1 for tool 1) while
    // h x frequency <= 22 050 and h <= 100. With snap, the frequency moves to the record's
    // nearest peak when that lies closer to it than the frequency itself. False (into
    // untouched) when the record is not valid.
    static bool harmonicPreview(const FrameRecord& record, float frequency, int tool, bool snapToGrid,
                                FrameRecord& into);

private:
    static void frameRequest(FrameRecord* record, std::int32_t channel, void* userData);
    void fillRequestedFrame(FrameRecord& record);

    std::recursive_mutex& mMonitor;
    SpectralProcessor mProcessor;
    std::array<FrameRecord, 2> mSlots{};
    std::atomic<std::int64_t> mSlotIndex{0};
    std::atomic<bool> mFrameRequested{false};
    std::atomic<bool> mEnabled{false};
    std::vector<float> mMagnitudes, mFrequencies;                    // 8192 decoded bins
    std::vector<float> mReducedMagnitudes, mReducedFrequencies, mUnknownPhases;  // 2048 bins
};

}  // namespace orvex
