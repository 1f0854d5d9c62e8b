#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "common/Types.h"
#include "playback/AudioOutputBackend.h"
#include "playback/AudioRenderCallback.h"
#include "playback/SeqLocked.h"

namespace orvex {

// Pull-driven stereo output at 44 100 Hz. The constructor opens and starts the output at once;
// if any step fails the engine stays uninitialised and silent until destroyed. Every cycle the
// output's thread clears the two channel buffers and hands them to the installed client render
// function, if any. Construction, destruction and setClient() run on the owner's thread;
// renderCallback() runs on the output's real-time thread, never locks and never allocates.
class AudioEngine {
public:
    explicit AudioEngine(std::unique_ptr<AudioOutputBackend> outputUnit);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Installs a client; the render thread sees either the old pair or the new pair, never a mix.
    void setClient(AudioRenderCallback callback, AudioRenderContext* context);
    // Returns once the render cycle under way at the call, if any, has finished; after
    // setClient() this means the old client is no longer in use. Must not be called while
    // holding a lock that the client's render function takes.
    void awaitRenderCycle() const;

    bool isInitialised() const { return mInitialised; }
    bool isStarted() const { return mStarted; }
    float sampleRate() const { return mSampleRate; }
    FrameCount deviceBufferFrames() const { return mDeviceBufferFrames; }
    std::int64_t channelCount() const { return mChannelCount; }

    // The output's render function; reference is the engine. Validates the buffer list (2 to 127
    // buffers, the first two of equal size of at least one float, with data), clears buffers 0
    // and 1 and calls the client. Returns -1, touching nothing, on a malformed list.
    static Status renderCallback(void* reference, const AudioBufferList* list);

    // The engine logs its start, format and shutdown on standard error; a command-line program
    // that keeps standard error for its own messages switches the log off. Any thread.
    static void setLogging(bool enabled);

private:
    struct Client {
        AudioRenderCallback callback = nullptr;
        AudioRenderContext* context = nullptr;
    };

    Status openAudioOutput();
    Status setOutputFormat(double rate);
    void shutdown();
    void render(const AudioBufferList& list) const;

    std::unique_ptr<AudioOutputBackend> mOutputUnit;
    FrameCount mDeviceBufferFrames = 0;
    SeqLocked<Client> mClient;
    mutable std::atomic<std::uint64_t> mRenderSequence{0};  // odd while a cycle renders
    std::mutex mClientWriter;  // serialises setClient() callers; never taken on the render thread
    std::int64_t mChannelCount = 0;
    float mSampleRate = 0.0f;
    bool mStarted = false;
    bool mInitialised = false;
};

}  // namespace orvex
