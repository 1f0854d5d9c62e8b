#pragma once

#include <memory>

#include "playback/AudioEngine.h"

namespace orvex {

// One per owner of audio (the document, the analysis controller), for the owner's whole life. It
// owns an AudioEngine that starts its output at once; owners attach and detach render functions
// instead of starting and stopping the output. Main thread only.
class KVAudioEngineController {
public:
    // The sound card through PortAudio; with no usable device the engine stays silent.
    KVAudioEngineController();
    explicit KVAudioEngineController(std::unique_ptr<AudioOutputBackend> outputUnit);
    ~KVAudioEngineController();
    KVAudioEngineController(const KVAudioEngineController&) = delete;
    KVAudioEngineController& operator=(const KVAudioEngineController&) = delete;

    // The sound card when it can be opened, else a silent output paced in real time, so that
    // playback still advances on a machine without a sound card.
    static std::unique_ptr<KVAudioEngineController> initWithPacedFallback();

    // Sends stopped() to the context installed so far (on this thread), then installs the new
    // function and context (either may be null). The context is not owned.
    void setCallback(AudioRenderCallback callback, AudioRenderContext* context);

    bool isRunning() const { return mEngine != nullptr; }
    // The engine's rate once initialised, else 0.0.
    double sampleRate() const;
    AudioEngine* engine() const { return mEngine.get(); }
    // The context installed last (not owned).
    AudioRenderContext* context() const { return mContext; }

private:
    std::unique_ptr<AudioEngine> mEngine;
    AudioRenderContext* mContext = nullptr;
};

}  // namespace orvex
