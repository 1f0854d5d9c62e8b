#include "playback/KVDocumentPlayback.h"

#include <algorithm>

#include "platform/Platform.h"
#include "playback/KVAudioEngineController.h"

namespace orvex {

KVDocumentPlayback::KVDocumentPlayback(std::recursive_mutex& monitor, KVPlaybackDelegate* delegate)
    : mMonitor(monitor), mDelegate(delegate) {}

KVDocumentPlayback::~KVDocumentPlayback() {
    if (!mEngine || mEngine->context() != this) return;
    mDelegate = nullptr;
    mEngine->setCallback(nullptr, nullptr);
    if (mEngine->engine()) mEngine->engine()->awaitRenderCycle();
}

void KVDocumentPlayback::setEngineController(KVAudioEngineController* controller) { mEngine = controller; }

void KVDocumentPlayback::setEditStep(std::shared_ptr<KVPlayStep> step) {
    std::lock_guard<std::recursive_mutex> lock(mMonitor);
    mEditStep = std::move(step);
}

void KVDocumentPlayback::setAnalysisSource(std::shared_ptr<KVPlayFrameSource> source) {
    std::lock_guard<std::recursive_mutex> lock(mMonitor);
    mAnalysisSource = std::move(source);
}

void KVDocumentPlayback::setOutputSource(std::shared_ptr<KVPlayFrameSource> source) {
    std::lock_guard<std::recursive_mutex> lock(mMonitor);
    mOutputSource = std::move(source);
}

void KVDocumentPlayback::setPlayPosition(FramePos frame) {
    mCurrentPlayPositionFrame.store(frame);
    mDeliveredPosition = frame;
    if (mDelegate) mDelegate->playPositionChanged(frame);
}

void KVDocumentPlayback::seek(FramePos frame) {
    {
        std::lock_guard<std::recursive_mutex> lock(mMonitor);
        rewindSource(mPlaySource.load(), frame);
    }
    setPlayPosition(frame);
}

bool KVDocumentPlayback::deliverPlayPosition() {
    const FramePos frame = mCurrentPlayPositionFrame.load();
    if (frame == mDeliveredPosition) return false;
    mDeliveredPosition = frame;
    if (mDelegate) mDelegate->playPositionChanged(frame);
    return true;
}

bool KVDocumentPlayback::play(FramePos startFrame) {
    mCurrentPlayPositionFrame.store(startFrame);
    if (!mEngine || !mEngine->isRunning()) {
        Platform::shared().beep();
        return false;
    }
    mPlayGeneration.fetch_add(1);
    mEndReached.store(false);
    mEngine->setCallback(&KVDocumentPlayback::renderCallback, this);
    mIsPlaying.store(true);
    return true;
}

// A render that took the callback before it was removed ends first, so it cannot move the
// position (or a source's stream) on after the stop has set it back. The engine's notification
// of the removal is held back until then: the delegate hears of the stop once.
void KVDocumentPlayback::stopPlayback() {
    if (mEngine) {
        mDetaching = true;
        mEngine->setCallback(nullptr, nullptr);
        mDetaching = false;
        if (mEngine->engine()) mEngine->engine()->awaitRenderCycle();
    }
    mIsPlaying.store(false);
    if (mDelegate) mDelegate->stopped();
}

void KVDocumentPlayback::stopped() {
    if (mDetaching) return;
    mIsPlaying.store(false);
    if (mDelegate) mDelegate->stopped();
}

void KVDocumentPlayback::renderCallback(float* const* buffers, std::int64_t frames, std::int64_t channels,
                                        AudioRenderContext* context) {
    auto* playback = static_cast<KVDocumentPlayback*>(context);
    if (!playback) return;
    std::lock_guard<std::recursive_mutex> lock(playback->mMonitor);
    playback->fillBuffers(buffers, frames, channels);
}

KVDocumentPlayback::Range KVDocumentPlayback::playRange(PlaySource source, FrameCount total) const {
    Range candidate;
    if (source == PlaySource::Input) candidate = mInputRange.load();
    if (source == PlaySource::Output) candidate = mOutputRange.load();
    if (candidate.end - candidate.start >= 2) return candidate;
    return Range{0, total};
}

KVPlayFrameSource* KVDocumentPlayback::frameSource(PlaySource source) const {
    if (source == PlaySource::Analysis) return mAnalysisSource.get();
    if (source == PlaySource::Output) return mOutputSource.get();
    return nullptr;
}

// Reads chunk frames at position into the scratch buffer; frames a source does not deliver are
// silence. False when a stream source reports a failure.
bool KVDocumentPlayback::readChunk(PlaySource source, FramePos position, FrameCount chunk) {
    if (source == PlaySource::Input) {
        const FrameCount delivered = mEditStep->readAt(position, chunk, mAudioPlayBuffer.buffers());
        if (delivered < chunk) mAudioPlayBuffer.clear(std::max<FrameCount>(delivered, 0), chunk);
        return true;
    }
    KVPlayFrameSource* stream = frameSource(source);
    if (!stream) {
        mAudioPlayBuffer.clear(0, chunk);
        return true;
    }
    return stream->readPlayFrames(chunk, mAudioPlayBuffer.buffers()) != -1;
}

void KVDocumentPlayback::rewindSource(PlaySource source, FramePos frame) {
    if (KVPlayFrameSource* stream = frameSource(source)) stream->setPlayPosition(frame);
}

// Called on the audio thread at the end of play: later renders stay silent, and one call on the
// main thread detaches the callback unless a new play() came first.
void KVDocumentPlayback::requestStop() {
    if (mEndReached.exchange(true)) return;
    const std::uint64_t generation = mPlayGeneration.load();
    std::weak_ptr<char> alive = mAlive;
    Platform::sharedPtr()->postToMainThread(
        [this, alive, generation] {
            if (alive.expired() || generation != mPlayGeneration.load()) return;
            deliverPlayPosition();
            stopPlayback();
        },
        false);
}

// Plays the range chosen by the play source (the input selection, the output from its edit cursor,
// or the whole edit step when that range is shorter than 2 frames) from the play position, with the
// gain formed in double precision. A mono source feeds both outputs. At the end of the range the
// position returns to its start; with looping the render goes on from there, otherwise play stops
// and the rest of the outputs stays silent. A position past the end (or before frame 0) restarts at
// the start. A position the main thread sets during the render wins over the render's own.
void KVDocumentPlayback::fillBuffers(float* const* buffers, FrameCount numFrames, std::int64_t numChannels) {
    if (mEndReached.load() || !mEditStep || !buffers || numFrames < 1) return;
    const PlaySource source = mPlaySource.load();
    const bool looping = mLoopEnabled.load();
    const double gain = mPlaybackVolume.load();
    const std::int64_t sourceChannels = mEditStep->numberOfChannels();
    const std::int64_t outputs = std::min({sourceChannels, numChannels, std::int64_t{kMaxRenderChannels}});
    const Range range = playRange(source, mEditStep->numberOfFrames());
    if (range.end <= range.start) {
        requestStop();
        return;
    }

    FramePos startPosition = mCurrentPlayPositionFrame.load();
    FramePos position = startPosition;
    if (position > range.end || position < 0) {
        position = range.start;
        rewindSource(source, position);
    }
    FrameCount offset = 0;
    FrameCount remaining = numFrames;
    bool stop = false;
    while (remaining > 0) {
        const FrameCount chunk = std::min(range.end - position, remaining);
        if (chunk > 0) {
            mAudioPlayBuffer.reserve(sourceChannels, chunk);
            if (!readChunk(source, position, chunk)) {
                stop = true;
                break;
            }
            for (std::int64_t c = 0; c < outputs; ++c) {
                float* out = buffers[c];
                if (!out) continue;
                const float* in = mAudioPlayBuffer.channel(c);
                for (FrameCount i = 0; i < chunk; ++i) out[offset + i] = static_cast<float>(in[i] * gain);
            }
            if (sourceChannels == 1 && numChannels >= 2 && buffers[0] && buffers[1]) {
                std::copy_n(buffers[0] + offset, chunk, buffers[1] + offset);
            }
            position += chunk;
            offset += chunk;
            remaining -= chunk;
        }
        if (position >= range.end) {
            position = range.start;
            rewindSource(source, position);
            if (!looping) {
                stop = true;
                break;
            }
        }
    }
    // The position is stored before the stop is requested: the main thread may run the stop,
    // and report the position, before this render returns.
    mCurrentPlayPositionFrame.compare_exchange_strong(startPosition, position);
    if (stop) requestStop();
}

}  // namespace orvex
