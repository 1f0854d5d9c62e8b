#include "playback/PortAudioBackend.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <mutex>

#ifdef ORVEX_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif
#ifdef ORVEX_HAVE_JACK
#include <jack/jack.h>
#endif

namespace orvex {

namespace {

// Frames per callback that the stream is opened with (about 11.6 ms at 44 100 Hz).
constexpr unsigned long kFramesPerBuffer = 512;

#ifdef ORVEX_HAVE_ALSA
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
#ifdef ORVEX_HAVE_JACK
void quietJack(const char*) {}
#endif

// Device probing makes ALSA and JACK print on standard error even when nothing is wrong for us.
void silenceAudioLibraries() {
    static std::once_flag once;
    std::call_once(once, [] {
#ifdef ORVEX_HAVE_ALSA
        snd_lib_error_set_handler(quietAlsa);
#endif
#ifdef ORVEX_HAVE_JACK
        jack_set_error_function(quietJack);
        jack_set_info_function(quietJack);
#endif
    });
}

// One Pa_Initialize shared by every live back end; Pa_Terminate when the last one lets go.
std::shared_ptr<void> acquirePortAudio() {
    static std::mutex mutex;
    static std::weak_ptr<void> current;
    std::lock_guard<std::mutex> lock(mutex);
    if (auto session = current.lock()) return session;
    silenceAudioLibraries();
    if (Pa_Initialize() != paNoError) return nullptr;
    std::shared_ptr<void> session(nullptr, [](void*) { Pa_Terminate(); });
    current = session;
    return session;
}

bool hasStereoOutput(PaDeviceIndex device) {
    if (device == paNoDevice) return false;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
    return info && info->maxOutputChannels >= 2;
}

}  // namespace

PortAudioBackend::PortAudioBackend() = default;

PortAudioBackend::~PortAudioBackend() {
    uninitialize();
    close();
}

PaDeviceIndex PortAudioBackend::findStereoDevice() {
    const PaDeviceIndex count = Pa_GetDeviceCount();
    for (PaDeviceIndex device = 0; device < count; ++device) {
        if (hasStereoOutput(device)) return device;
    }
    return paNoDevice;
}

bool PortAudioBackend::findOutput() {
    mSession = acquirePortAudio();
    if (!mSession) return false;
    mDevice = Pa_GetDefaultOutputDevice();
    if (!hasStereoOutput(mDevice)) {
        std::fputs("can't find the default one, look explicitly for a stereo output device\n", stderr);
        mDevice = findStereoDevice();
    }
    return mDevice != paNoDevice;
}

Status PortAudioBackend::openOutput() { return Pa_GetDeviceInfo(mDevice) ? 0 : paInvalidDevice; }

Status PortAudioBackend::deviceSampleRate(double& rate) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(mDevice);
    if (!info) return paInvalidDevice;
    rate = info->defaultSampleRate;
    return 0;
}

Status PortAudioBackend::setInputFormat(double rate, int channels) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(mDevice);
    if (!info) return paInvalidDevice;
    mParameters = PaStreamParameters{};
    mParameters.device = mDevice;
    mParameters.channelCount = channels;
    mParameters.sampleFormat = paFloat32 | paNonInterleaved;
    mParameters.suggestedLatency = info->defaultLowOutputLatency;
    mRate = rate;
    const PaError supported = Pa_IsFormatSupported(nullptr, &mParameters, rate);
    return supported == paFormatIsSupported ? 0 : supported;
}

Status PortAudioBackend::initialize() {
    if (mStream) return 0;
    return Pa_OpenStream(&mStream, nullptr, &mParameters, mRate, kFramesPerBuffer, paNoFlag,
                         &PortAudioBackend::streamCallback, this);
}

Status PortAudioBackend::outputSampleRate(double& rate) {
    const PaStreamInfo* info = mStream ? Pa_GetStreamInfo(mStream) : nullptr;
    if (!info) return paBadStreamPtr;
    rate = info->sampleRate;
    return 0;
}

Status PortAudioBackend::bufferFrameSize(FrameCount& frames) {
    if (!mStream) return paBadStreamPtr;
    frames = static_cast<FrameCount>(kFramesPerBuffer);
    return 0;
}

Status PortAudioBackend::start() { return mStream ? Pa_StartStream(mStream) : paBadStreamPtr; }

Status PortAudioBackend::stop() { return mStream ? Pa_StopStream(mStream) : paBadStreamPtr; }

void PortAudioBackend::uninitialize() {
    if (!mStream) return;
    Pa_CloseStream(mStream);
    mStream = nullptr;
}

void PortAudioBackend::close() {
    mDevice = paNoDevice;
    mSession.reset();
}

int PortAudioBackend::streamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                                     PaStreamCallbackFlags, void* user) {
    const auto* self = static_cast<const PortAudioBackend*>(user);
    auto* const* channels = static_cast<float* const*>(output);
    const auto bytes = static_cast<std::uint32_t>(frames * sizeof(float));
    std::array<AudioBuffer, 2> buffers{{{1, bytes, channels[0]}, {1, bytes, channels[1]}}};
    const AudioBufferList list{2, buffers.data()};
    if (self->renderCycle(list) != 0) {
        std::fill_n(channels[0], frames, 0.0f);
        std::fill_n(channels[1], frames, 0.0f);
    }
    return paContinue;
}

}  // namespace orvex
