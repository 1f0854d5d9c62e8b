#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "common/Types.h"
#include "playback/AudioRenderCallback.h"
#include "playback/KVPlayBuffer.h"
#include "playback/KVPlaybackSources.h"
#include "playback/SeqLocked.h"

namespace orvex {

class KVAudioEngineController;

// The document's ordinary playback: what is heard from the input segment, the analysis tab or the
// output mixdown, with play range, looping, gain and end of play. The document owns one and
// installs it in its audio engine on play.
//
// Threads: fillBuffers() runs on the audio thread with the document's monitor held (the render
// callback takes it). The transport settings are atomics that any thread may change while a render
// runs. Sources are swapped on the main thread under the monitor. Nothing on the audio thread
// touches the delegate: the play position is published in an atomic that the main thread polls
// (deliverPlayPosition(), from the display timer), and the end of play posts one call to the main
// thread per stop (the only allocation the render path may make besides growing its scratch buffer).
class KVDocumentPlayback : public AudioRenderContext {
public:
    // monitor: the document's own recursive lock; delegate: not owned, may be null.
    KVDocumentPlayback(std::recursive_mutex& monitor, KVPlaybackDelegate* delegate);
    // Detaches from the engine (without telling the delegate) and waits for a render in progress.
    ~KVDocumentPlayback() override;
    KVDocumentPlayback(const KVDocumentPlayback&) = delete;
    KVDocumentPlayback& operator=(const KVDocumentPlayback&) = delete;

    // --- Main thread: where the audio comes from (taken under the monitor) ---
    void setEngineController(KVAudioEngineController* controller);
    void setEditStep(std::shared_ptr<KVPlayStep> step);
    void setAnalysisSource(std::shared_ptr<KVPlayFrameSource> source);
    void setOutputSource(std::shared_ptr<KVPlayFrameSource> source);

    // --- Any thread: transport settings the next render uses ---
    void setPlaySource(PlaySource source) { mPlaySource.store(source); }
    PlaySource playSource() const { return mPlaySource.load(); }
    void setLoopEnabled(bool enabled) { mLoopEnabled.store(enabled); }
    bool loopEnabled() const { return mLoopEnabled.load(); }
    void setPlaybackVolume(double gain) { mPlaybackVolume.store(gain); }
    double playbackVolume() const { return mPlaybackVolume.load(); }
    // The input view's selection: the play range of the input tab when at least 2 frames long.
    void setInputSelection(FramePos start, FramePos end) { mInputRange.store({start, end}); }
    // The output view's edit cursor and length: the play range of the output tab.
    void setOutputRange(FramePos editCursor, FrameCount numFrames) { mOutputRange.store({editCursor, numFrames}); }
    bool isPlaying() const { return mIsPlaying.load(); }
    FramePos currentPlayPosition() const { return mCurrentPlayPositionFrame.load(); }

    // --- Main thread: transport ---
    // Stores the position and tells the delegate.
    void setPlayPosition(FramePos frame);
    // As setPlayPosition, and moves the stream of the analysis or output source that is playing
    // (under the monitor, so never in the middle of a render).
    void seek(FramePos frame);
    // Starts at startFrame by installing the render callback; without a running engine it sounds
    // the system beep and returns false.
    bool play(FramePos startFrame);
    // Removes the render callback, waits for a render under way, then clears the playing state
    // and tells the delegate once. Must not be called with the monitor held.
    void stopPlayback();
    // From the engine when another client replaces this one: clears the playing state and tells
    // the delegate (not while stopPlayback() detaches: it tells the delegate itself, afterwards).
    void stopped() override;
    // Tells the delegate the play position if it moved since last told; true when it did.
    bool deliverPlayPosition();

    // --- Audio thread ---
    // Fills numFrames frames of the outputs from the current source; see the .cpp for the rules.
    void fillBuffers(float* const* buffers, FrameCount numFrames, std::int64_t numChannels);
    // The render function installed in the engine: context is the KVDocumentPlayback.
    static void renderCallback(float* const* buffers, std::int64_t frames, std::int64_t channels,
                               AudioRenderContext* context);

private:
    struct Range {
        FramePos start = 0;
        FramePos end = 0;
    };

    Range playRange(PlaySource source, FrameCount total) const;
    KVPlayFrameSource* frameSource(PlaySource source) const;
    bool readChunk(PlaySource source, FramePos position, FrameCount chunk);
    void rewindSource(PlaySource source, FramePos frame);
    void requestStop();

    std::recursive_mutex& mMonitor;
    KVPlaybackDelegate* mDelegate;
    KVAudioEngineController* mEngine = nullptr;

    // Guarded by mMonitor.
    std::shared_ptr<KVPlayStep> mEditStep;
    std::shared_ptr<KVPlayFrameSource> mAnalysisSource;
    std::shared_ptr<KVPlayFrameSource> mOutputSource;
    KVPlayBuffer mAudioPlayBuffer;

    std::atomic<FramePos> mCurrentPlayPositionFrame{0};
    std::atomic<PlaySource> mPlaySource{PlaySource::Input};
    std::atomic<bool> mIsPlaying{false};
    std::atomic<bool> mLoopEnabled{false};
    std::atomic<double> mPlaybackVolume{1.0};
    SeqLocked<Range> mInputRange;
    SeqLocked<Range> mOutputRange;

    // Set by the audio thread when play has ended; renders stay silent until the next play().
    std::atomic<bool> mEndReached{false};
    std::atomic<std::uint64_t> mPlayGeneration{0};
    FramePos mDeliveredPosition = -1;  // main thread only
    bool mDetaching = false;           // main thread only
    std::shared_ptr<char> mAlive = std::make_shared<char>(0);
};

}  // namespace orvex
