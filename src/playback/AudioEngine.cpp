#include "playback/AudioEngine.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <thread>

#include "common/AnalysisConstants.h"

namespace orvex {

namespace {

constexpr double kEngineSampleRate = kWorkingSampleRate;
constexpr int kEngineChannels = 2;
constexpr std::uint32_t kMinBuffers = 2;
constexpr std::uint32_t kMaxBuffers = 127;

std::atomic<bool> gLogging{true};

// The engine logs on standard error, one line at a time, so that its messages never mix into
// what a program writes on standard output.
template <class... Args>
void logLine(const char* format, Args... args) {
    if (!gLogging.load()) return;
    std::fprintf(stderr, format, args...);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// A status as four characters, the way output services report their codes; unprintable bytes as '.'.
std::array<char, 5> statusChars(Status status) {
    std::array<char, 5> text{};
    const auto code = static_cast<std::uint32_t>(status);
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(code >> (24 - 8 * i));
        text[i] = std::isprint(byte) ? static_cast<char>(byte) : '.';
    }
    return text;
}

}  // namespace

AudioEngine::AudioEngine(std::unique_ptr<AudioOutputBackend> outputUnit) : mOutputUnit(std::move(outputUnit)) {
    logLine(" >**** AudioEngine::AudioEngine(): STARTING (2)");
    mChannelCount = kEngineChannels;
    if (const Status status = openAudioOutput(); status != 0) {
        logLine(" >AudioEngine::AudioEngine(): OpenAudioOutput() returned %d", status);
        return;
    }
    if (const Status status = setOutputFormat(kEngineSampleRate); status != 0) {
        logLine(" >AudioEngine::AudioEngine(): SetOutputFormat() returned %d", status);
        return;
    }
    mInitialised = true;
    if (const Status status = mOutputUnit->start(); status != 0) {
        logLine(" > >Error in AudioOutputUnitStart(), %d", status);
    }
    mStarted = true;
}

AudioEngine::~AudioEngine() { shutdown(); }

void AudioEngine::setLogging(bool enabled) { gLogging = enabled; }

Status AudioEngine::openAudioOutput() {
    if (!mOutputUnit || !mOutputUnit->findOutput()) {
        logLine(" >error finding audio output unit");
        return -1;
    }
    if (const Status status = mOutputUnit->openOutput(); status != 0) {
        logLine(" >err OpenAComponent");
        return status;
    }
    if (const Status status = mOutputUnit->setRenderCallback(&AudioEngine::renderCallback, this); status != 0) {
        logLine("AudioUnitSetProperty-CB=%ld", static_cast<long>(status));
        return status;
    }
    return 0;
}

Status AudioEngine::setOutputFormat(double rate) {
    double deviceRate = 0.0;
    if (mOutputUnit->deviceSampleRate(deviceRate) != 0) {
        logLine("AudioUnitGetProperty kAudioUnitProperty_StreamFormat");
    }
    const double inputRate = rate > 0.0 ? rate : deviceRate;
    mSampleRate = static_cast<float>(inputRate);
    if (gLogging.load()) std::fputs("Rendering source:\n\t", stderr);
    logLine("SampleRate=%f,BytesPerPacket=%ld,FramesPerPacket=%ld,BytesPerFrame=%ld,BitsPerChannel=%ld,"
            "ChannelsPerFrame=%ld",
            inputRate, 4L, 1L, 4L, 32L, static_cast<long>(kEngineChannels));
    if (const Status status = mOutputUnit->setInputFormat(inputRate, kEngineChannels); status != 0) {
        logLine("AudioUnitSetProperty-SF=%4.4s, %ld", statusChars(status).data(), static_cast<long>(status));
        return status;
    }
    if (const Status status = mOutputUnit->initialize(); status != 0) {
        logLine("AudioUnitInitialize=%ld", static_cast<long>(status));
        return status;
    }
    double outputRate = 0.0;
    if (const Status status = mOutputUnit->outputSampleRate(outputRate); status != 0) {
        logLine("AudioUnitGetProperty kAudioUnitProperty_SampleRate=%ld", static_cast<long>(status));
        return status;
    }
    FrameCount frames = 0;
    if (const Status status = mOutputUnit->bufferFrameSize(frames); status != 0) {
        logLine("AudioUnitGetProperty kAudioDevicePropertyBufferFrameSize=%ld", static_cast<long>(status));
        return status;
    }
    mDeviceBufferFrames = frames;
    logLine(" > AudioUnitGetProperty kAudioDevicePropertyBufferFrameSize = %d", static_cast<int>(frames));
    return 0;
}

void AudioEngine::shutdown() {
    logLine(" >**** AudioEngine::AudioEngine(): SHUTTING DOWN");
    setClient(nullptr, nullptr);
    if (mInitialised && mStarted) {
        if (const Status status = mOutputUnit->stop(); status != 0) {
            logLine(" > >Error in AudioOutputUnitStop(), %d", status);
        }
        mStarted = false;
        logLine("Stopped!");
    }
    if (mOutputUnit) {
        mOutputUnit->uninitialize();
        mOutputUnit->close();
        mOutputUnit.reset();
    }
}

void AudioEngine::setClient(AudioRenderCallback callback, AudioRenderContext* context) {
    std::lock_guard<std::mutex> writer(mClientWriter);
    mClient.store(Client{callback, context});
}

void AudioEngine::awaitRenderCycle() const {
    const std::uint64_t sequence = mRenderSequence.load(std::memory_order_seq_cst);
    if ((sequence & 1) == 0) return;
    while (mRenderSequence.load(std::memory_order_acquire) == sequence) std::this_thread::yield();
}

Status AudioEngine::renderCallback(void* reference, const AudioBufferList* list) {
    const auto* engine = static_cast<const AudioEngine*>(reference);
    if (!engine || !list || !list->buffers) return -1;
    if (list->numberBuffers < kMinBuffers || list->numberBuffers > kMaxBuffers) return -1;
    const AudioBuffer& left = list->buffers[0];
    const AudioBuffer& right = list->buffers[1];
    if (left.dataByteSize != right.dataByteSize || !left.data || !right.data) return -1;
    if (left.dataByteSize < sizeof(float)) return -1;
    engine->render(*list);
    return 0;
}

void AudioEngine::render(const AudioBufferList& list) const {
    const auto frames = static_cast<FrameCount>(list.buffers[0].dataByteSize / sizeof(float));
    std::array<float*, kMaxRenderChannels> channels{};
    for (std::uint32_t i = 0; i < list.numberBuffers; ++i) channels[i] = static_cast<float*>(list.buffers[i].data);
    std::fill_n(channels[0], frames, 0.0f);
    std::fill_n(channels[1], frames, 0.0f);
    // Sequentially consistent with setClient() and awaitRenderCycle(): either that call sees this
    // cycle running, or this cycle sees the client stored before it.
    mRenderSequence.fetch_add(1, std::memory_order_seq_cst);
    const Client client = mClient.load();
    try {
        if (client.callback) client.callback(channels.data(), frames, mChannelCount, client.context);
    } catch (...) {
        // Nothing may unwind into the output service's thread; a failed cycle is silence.
        std::fill_n(channels[0], frames, 0.0f);
        std::fill_n(channels[1], frames, 0.0f);
    }
    mRenderSequence.fetch_add(1, std::memory_order_release);
}

}  // namespace orvex
