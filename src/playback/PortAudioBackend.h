#pragma once

#include <memory>

#include <portaudio.h>

#include "playback/AudioOutputBackend.h"

namespace orvex {

// The sound card through PortAudio: the default output device, or else the first device with two
// output channels; stereo non-interleaved float32 at the requested rate. The render function runs
// on PortAudio's real-time thread. PortAudio itself stays initialised while any back end holds it.
class PortAudioBackend : public AudioOutputBackend {
public:
    PortAudioBackend();
    ~PortAudioBackend() override;

    bool findOutput() override;
    Status openOutput() override;
    Status deviceSampleRate(double& rate) override;
    Status setInputFormat(double rate, int channels) override;
    Status initialize() override;
    Status outputSampleRate(double& rate) override;
    Status bufferFrameSize(FrameCount& frames) override;
    Status start() override;
    Status stop() override;
    void uninitialize() override;
    void close() override;

private:
    static int streamCallback(const void* input, void* output, unsigned long frames,
                              const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags, void* user);
    static PaDeviceIndex findStereoDevice();

    std::shared_ptr<void> mSession;  // keeps PortAudio initialised
    PaDeviceIndex mDevice = paNoDevice;
    PaStreamParameters mParameters{};
    double mRate = 0.0;
    PaStream* mStream = nullptr;
};

}  // namespace orvex
