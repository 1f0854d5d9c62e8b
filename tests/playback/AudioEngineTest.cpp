#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "playback/AudioEngine.h"
#include "playback/KVAudioEngineController.h"
#include "playback/ManualAudioBackend.h"
#include "playback/PacedAudioBackend.h"

namespace orvex {
namespace {

constexpr float kSentinel = 7.25f;

// Records what the engine hands to a client.
struct Recorder : AudioRenderContext {
    int calls = 0;
    std::int64_t frames = -1;
    std::int64_t channels = -1;
    bool zerosOnEntry = true;
    std::array<float*, kMaxRenderChannels> pointers{};
    int stoppedCount = 0;
    void stopped() override { ++stoppedCount; }
};

void recordCallback(float* const* buffers, std::int64_t frames, std::int64_t channels, AudioRenderContext* context) {
    auto* recorder = static_cast<Recorder*>(context);
    ++recorder->calls;
    recorder->frames = frames;
    recorder->channels = channels;
    std::copy_n(buffers, kMaxRenderChannels, recorder->pointers.begin());
    for (int c = 0; c < 2; ++c) {
        recorder->zerosOnEntry = recorder->zerosOnEntry && std::all_of(buffers[c], buffers[c] + frames, [](float v) { return v == 0.0f; });
        std::fill_n(buffers[c], frames, 0.5f);
    }
}

// Owns a manual output inside a running engine with a recording client installed.
struct ManualRig {
    ManualRig() {
        auto backend = std::make_unique<ManualAudioBackend>(256);
        output = backend.get();
        engine = std::make_unique<AudioEngine>(std::move(backend));
        engine->setClient(&recordCallback, &recorder);
    }
    ManualAudioBackend* output = nullptr;
    std::unique_ptr<AudioEngine> engine;
    Recorder recorder;
};

// Buffers of a list under test, each prefilled with a sentinel.
struct BufferSet {
    BufferSet(std::uint32_t count, std::uint32_t bytes) : storage(count, std::vector<float>(64, kSentinel)), list(count) {
        for (std::uint32_t i = 0; i < count; ++i) list[i] = AudioBuffer{1, bytes, storage[i].data()};
    }
    AudioBufferList view() { return AudioBufferList{static_cast<std::uint32_t>(list.size()), list.data()}; }
    bool untouched() const {
        return std::all_of(storage.begin(), storage.end(), [](const std::vector<float>& b) {
            return std::all_of(b.begin(), b.end(), [](float v) { return v == kSentinel; });
        });
    }
    std::vector<std::vector<float>> storage;
    std::vector<AudioBuffer> list;
};

TEST(AudioEngineRender, MalformedBufferListsAreRejectedUntouched) {
    ManualRig rig;
    struct Case {
        const char* name;
        std::uint32_t count;
        std::uint32_t bytes;
        void (*spoil)(BufferSet&);
    };
    const Case cases[] = {
        {"one buffer", 1, 64, nullptr},
        {"128 buffers", 128, 64, nullptr},
        {"unequal sizes", 2, 64, [](BufferSet& s) { s.list[1].dataByteSize = 60; }},
        {"null left", 2, 64, [](BufferSet& s) { s.list[0].data = nullptr; }},
        {"null right", 2, 64, [](BufferSet& s) { s.list[1].data = nullptr; }},
        {"three bytes", 2, 3, nullptr},
        {"empty", 2, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BufferSet set(c.count, c.bytes);
        if (c.spoil) c.spoil(set);
        const AudioBufferList list = set.view();
        EXPECT_EQ(rig.output->pull(list), std::optional<Status>(-1));
        EXPECT_TRUE(set.untouched());
    }
    EXPECT_EQ(rig.recorder.calls, 0);
    EXPECT_EQ(AudioEngine::renderCallback(rig.engine.get(), nullptr), -1);
    BufferSet set(2, 64);
    const AudioBufferList list = set.view();
    EXPECT_EQ(AudioEngine::renderCallback(nullptr, &list), -1);
    EXPECT_TRUE(set.untouched());
}

void throwingCallback(float* const* buffers, std::int64_t frames, std::int64_t, AudioRenderContext*) {
    std::fill_n(buffers[0], frames, 0.75f);
    throw std::runtime_error("client failed");
}

TEST(AudioEngineRender, WellFormedListsReachTheClientClearedAndAFailingClientGivesSilence) {
    ManualRig rig;
    // 2 and 127 buffers are accepted; a size that is not a whole number of floats is rounded down.
    for (std::uint32_t count : {2u, 3u, 127u}) {
        SCOPED_TRACE(count);
        BufferSet set(count, 10);
        const AudioBufferList list = set.view();
        rig.recorder = Recorder{};
        EXPECT_EQ(rig.output->pull(list), std::optional<Status>(0));
        EXPECT_EQ(rig.recorder.calls, 1);
        EXPECT_EQ(rig.recorder.frames, 2);
        EXPECT_EQ(rig.recorder.channels, 2);
        EXPECT_TRUE(rig.recorder.zerosOnEntry);
        for (std::uint32_t i = 0; i < count; ++i) EXPECT_EQ(rig.recorder.pointers[i], set.storage[i].data());
        for (std::size_t i = count; i < kMaxRenderChannels; ++i) EXPECT_EQ(rig.recorder.pointers[i], nullptr);
        EXPECT_EQ(set.storage[0][2], kSentinel);  // past the two whole frames
        if (count > 2) {
            EXPECT_EQ(set.storage[2][0], kSentinel);  // extra buffers are not cleared
        }
    }

    // Without a client, or with one that throws, the output is silence and the thread goes on.
    for (AudioRenderCallback client : {AudioRenderCallback(nullptr), AudioRenderCallback(&throwingCallback)}) {
        rig.engine->setClient(client, nullptr);
        std::vector<float> left(32, kSentinel), right(32, kSentinel);
        EXPECT_EQ(rig.output->pullStereo(left.data(), right.data(), 32), std::optional<Status>(0));
        EXPECT_EQ(left, std::vector<float>(32, 0.0f));
        EXPECT_EQ(right, std::vector<float>(32, 0.0f));
    }
}

TEST(AudioEngineLifecycle, RunningEngineReportsItsFormatAFailedStartIsLogged) {
    auto backend = std::make_unique<ManualAudioBackend>(256);
    ManualAudioBackend* output = backend.get();
    testing::internal::CaptureStderr();
    {
        AudioEngine engine(std::move(backend));
        EXPECT_TRUE(engine.isInitialised());
        EXPECT_TRUE(engine.isStarted());
        EXPECT_TRUE(output->isStarted());
        EXPECT_EQ(engine.sampleRate(), 44100.0f);
        EXPECT_EQ(engine.deviceBufferFrames(), 256);
        EXPECT_EQ(engine.channelCount(), 2);
        EXPECT_EQ(output->inputRate(), 44100.0);
        EXPECT_EQ(output->inputChannels(), 2);
    }
    const std::string log = testing::internal::GetCapturedStderr();
    for (const char* line : {" >**** AudioEngine::AudioEngine(): STARTING (2)\n",
                             "Rendering source:\n\tSampleRate=44100.000000,BytesPerPacket=4,FramesPerPacket=1,"
                             "BytesPerFrame=4,BitsPerChannel=32,ChannelsPerFrame=2\n",
                             " > AudioUnitGetProperty kAudioDevicePropertyBufferFrameSize = 256\n",
                             " >**** AudioEngine::AudioEngine(): SHUTTING DOWN\nStopped!\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;

    // A failed start is logged and otherwise counts as started.
    auto failing = std::make_unique<ManualAudioBackend>();
    failing->failStep(ManualAudioBackend::Step::Start, -66);
    testing::internal::CaptureStderr();
    AudioEngine engine(std::move(failing));
    EXPECT_NE(testing::internal::GetCapturedStderr().find(" > >Error in AudioOutputUnitStart(), -66\n"), std::string::npos);
    EXPECT_TRUE(engine.isInitialised());
    EXPECT_TRUE(engine.isStarted());
}

TEST(AudioEngineLifecycle, EveryFailedOpeningStepLeavesASilentEngine) {
    using Step = ManualAudioBackend::Step;
    struct Case {
        Step step;
        const char* logged;
    };
    const Case cases[] = {
        {Step::Find, " >error finding audio output unit\n >AudioEngine::AudioEngine(): OpenAudioOutput() returned -1\n"},
        {Step::Open, " >err OpenAComponent\n >AudioEngine::AudioEngine(): OpenAudioOutput() returned -50\n"},
        {Step::SetCallback, "AudioUnitSetProperty-CB=-50\n"},
        {Step::SetFormat, "AudioUnitSetProperty-SF=...., -50\n >AudioEngine::AudioEngine(): SetOutputFormat() returned -50\n"},
        {Step::Initialize, "AudioUnitInitialize=-50\n"},
        {Step::OutputRate, "SetOutputFormat() returned -50\n"},
        {Step::BufferSize, "AudioUnitGetProperty kAudioDevicePropertyBufferFrameSize=-50\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.step));
        auto backend = std::make_unique<ManualAudioBackend>();
        backend->failStep(c.step, -50);
        ManualAudioBackend* output = backend.get();
        testing::internal::CaptureStderr();
        KVAudioEngineController controller(std::move(backend));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_TRUE(controller.isRunning());
        EXPECT_EQ(controller.sampleRate(), 0.0);
        EXPECT_FALSE(controller.engine()->isInitialised());
        EXPECT_FALSE(controller.engine()->isStarted());
        std::vector<float> left(8, kSentinel), right(8, kSentinel);
        EXPECT_FALSE(output->pullStereo(left.data(), right.data(), 8).has_value());
    }
}

TEST(KVAudioEngineControllerTest, ReplacingTheClientTellsThePreviousContextOnce) {
    auto backend = std::make_unique<ManualAudioBackend>();
    ManualAudioBackend* output = backend.get();
    KVAudioEngineController controller(std::move(backend));
    EXPECT_EQ(controller.sampleRate(), 44100.0);
    Recorder first, second;
    controller.setCallback(&recordCallback, &first);
    EXPECT_EQ(first.stoppedCount, 0);
    std::vector<float> left(16), right(16);
    output->pullStereo(left.data(), right.data(), 16);
    controller.setCallback(&recordCallback, &second);
    output->pullStereo(left.data(), right.data(), 16);
    controller.setCallback(nullptr, nullptr);
    controller.setCallback(nullptr, nullptr);
    output->pullStereo(left.data(), right.data(), 16);
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(first.stoppedCount, 1);
    EXPECT_EQ(second.stoppedCount, 1);
    EXPECT_EQ(controller.context(), nullptr);
}

// Blocks inside the render until released, to show that awaiting a render cycle waits for it.
struct Gate : AudioRenderContext {
    std::promise<void> entered;
    std::shared_future<void> release;
};

void gateCallback(float* const*, std::int64_t, std::int64_t, AudioRenderContext* context) {
    auto* gate = static_cast<Gate*>(context);
    gate->entered.set_value();
    gate->release.wait();
}

TEST(AudioEngineLifecycle, AwaitingTheRenderCycleOutlastsTheOldClient) {
    auto backend = std::make_unique<ManualAudioBackend>();
    ManualAudioBackend* output = backend.get();
    AudioEngine engine(std::move(backend));
    Gate gate;
    std::promise<void> release;
    gate.release = release.get_future().share();
    engine.setClient(&gateCallback, &gate);
    std::thread audio([&] {
        std::vector<float> left(16), right(16);
        output->pullStereo(left.data(), right.data(), 16);
    });
    gate.entered.get_future().wait();
    engine.setClient(nullptr, nullptr);
    std::atomic<bool> awaited{false};
    std::thread waiter([&] {
        engine.awaitRenderCycle();
        awaited = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(awaited.load());
    release.set_value();
    waiter.join();
    audio.join();
    EXPECT_TRUE(awaited.load());
}

// A hundred default engines in a row, without a device or with one; the fallback is paced.
TEST(AudioEngineLifecycle, DefaultEnginesOpenWithOrWithoutADeviceAndTheFallbackIsPaced) {
    testing::internal::CaptureStdout();
    for (int i = 0; i < 100; ++i) {
        KVAudioEngineController controller;
        ASSERT_TRUE(controller.isRunning());
        Recorder recorder;
        controller.setCallback(&recordCallback, &recorder);
        controller.setCallback(nullptr, nullptr);
        if (!controller.engine()->isInitialised()) {
            ASSERT_EQ(controller.sampleRate(), 0.0);
        }
    }
    auto controller = KVAudioEngineController::initWithPacedFallback();
    testing::internal::GetCapturedStdout();
    ASSERT_TRUE(controller->engine()->isInitialised());
    EXPECT_EQ(controller->sampleRate(), 44100.0);

    auto backend = std::make_unique<PacedAudioBackend>(441);
    PacedAudioBackend* output = backend.get();
    testing::internal::CaptureStdout();
    KVAudioEngineController paced(std::move(backend));
    Recorder recorder;
    const auto begin = std::chrono::steady_clock::now();
    paced.setCallback(&recordCallback, &recorder);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::int64_t cycles = output->cycles();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    paced.setCallback(nullptr, nullptr);
    testing::internal::GetCapturedStdout();
    // 441 frames are 10 ms: about elapsed / 10 ms cycles, never a burst far ahead of real time.
    EXPECT_LE(cycles, static_cast<std::int64_t>(elapsed * 100.0) + 3);
    EXPECT_GE(cycles, static_cast<std::int64_t>(elapsed * 100.0 * 0.5));
}

}  // namespace
}  // namespace orvex
