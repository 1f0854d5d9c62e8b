#pragma once

#include <array>
#include <atomic>
#include <optional>

#include "playback/AudioOutputBackend.h"

namespace orvex {

// An output with no device behind it: the caller pulls cycles of any shape through the installed
// render function, and any step of opening the output can be made to fail. pull() may run on any
// one thread at a time; everything else on the owner's thread, before the engine takes it over.
class ManualAudioBackend : public AudioOutputBackend {
public:
    enum class Step { Find, Open, SetCallback, DeviceRate, SetFormat, Initialize, OutputRate, BufferSize, Start, Stop };

    explicit ManualAudioBackend(FrameCount bufferFrames = 512);

    // Makes step answer status (for Find: any non-zero status means "no output").
    void failStep(Step step, Status status);

    // One cycle through the render function; nothing when the output is not started.
    std::optional<Status> pull(const AudioBufferList& list);
    // One well-formed stereo cycle of frames frames into left and right.
    std::optional<Status> pullStereo(float* left, float* right, FrameCount frames);

    bool isStarted() const { return mStarted.load(); }
    double inputRate() const { return mInputRate; }
    int inputChannels() const { return mInputChannels; }

    bool findOutput() override;
    Status openOutput() override;
    Status setRenderCallback(AudioRenderProc proc, void* reference) override;
    Status deviceSampleRate(double& rate) override;
    Status setInputFormat(double rate, int channels) override;
    Status initialize() override;
    Status outputSampleRate(double& rate) override;
    Status bufferFrameSize(FrameCount& frames) override;
    Status start() override;
    Status stop() override;
    void uninitialize() override;

private:
    Status answer(Step step) const { return mAnswers[static_cast<std::size_t>(step)]; }

    std::array<Status, 10> mAnswers{};
    FrameCount mBufferFrames;
    double mInputRate = 0.0;
    int mInputChannels = 0;
    std::atomic<bool> mStarted{false};
};

}  // namespace orvex
