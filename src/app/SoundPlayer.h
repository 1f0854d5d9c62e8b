#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "playback/AudioRenderCallback.h"
#include "playback/KVAudioEngineController.h"

namespace orvex {

// Plays short sound files (the finished and start-up sounds) through its own audio engine, so
// the desktop needs no multimedia toolkit. A new sound replaces the one playing.
// Threads: play() and the destructor on the main thread; the voice renders on the audio thread.
class SoundPlayer {
public:
    // output: the engine to play through; null opens the sound card on the first sound (silent
    // when there is none).
    explicit SoundPlayer(std::unique_ptr<KVAudioEngineController> output = nullptr);
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Decodes the whole file at 44 100 Hz and starts it; false when the file cannot be read.
    bool play(const std::string& path);
    // True while the last sound started has frames left.
    bool isPlaying() const;

private:
    class Voice;
    static void render(float* const* buffers, std::int64_t frames, std::int64_t channels, AudioRenderContext* context);

    std::unique_ptr<KVAudioEngineController> mOutput;
    std::unique_ptr<Voice> mVoice;
};

}  // namespace orvex
