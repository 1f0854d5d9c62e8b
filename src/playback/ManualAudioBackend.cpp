#include "playback/ManualAudioBackend.h"

namespace orvex {

namespace {
constexpr double kDeviceRate = 48000.0;
}

ManualAudioBackend::ManualAudioBackend(FrameCount bufferFrames) : mBufferFrames(bufferFrames) {}

void ManualAudioBackend::failStep(Step step, Status status) { mAnswers[static_cast<std::size_t>(step)] = status; }

std::optional<Status> ManualAudioBackend::pull(const AudioBufferList& list) {
    if (!mStarted.load() || !hasRenderCallback()) return std::nullopt;
    return renderCycle(list);
}

std::optional<Status> ManualAudioBackend::pullStereo(float* left, float* right, FrameCount frames) {
    const auto bytes = static_cast<std::uint32_t>(frames * sizeof(float));
    AudioBuffer buffers[2] = {{1, bytes, left}, {1, bytes, right}};
    return pull(AudioBufferList{2, buffers});
}

bool ManualAudioBackend::findOutput() { return answer(Step::Find) == 0; }

Status ManualAudioBackend::openOutput() { return answer(Step::Open); }

Status ManualAudioBackend::setRenderCallback(AudioRenderProc proc, void* reference) {
    if (const Status status = answer(Step::SetCallback); status != 0) return status;
    return AudioOutputBackend::setRenderCallback(proc, reference);
}

Status ManualAudioBackend::deviceSampleRate(double& rate) {
    rate = kDeviceRate;
    return answer(Step::DeviceRate);
}

Status ManualAudioBackend::setInputFormat(double rate, int channels) {
    if (const Status status = answer(Step::SetFormat); status != 0) return status;
    mInputRate = rate;
    mInputChannels = channels;
    return 0;
}

Status ManualAudioBackend::initialize() { return answer(Step::Initialize); }

Status ManualAudioBackend::outputSampleRate(double& rate) {
    rate = mInputRate;
    return answer(Step::OutputRate);
}

Status ManualAudioBackend::bufferFrameSize(FrameCount& frames) {
    frames = mBufferFrames;
    return answer(Step::BufferSize);
}

Status ManualAudioBackend::start() {
    mStarted = true;
    return answer(Step::Start);
}

Status ManualAudioBackend::stop() {
    mStarted = false;
    return answer(Step::Stop);
}

void ManualAudioBackend::uninitialize() { mStarted = false; }

}  // namespace orvex
