#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/KVAnalysisController.h"
#include "history/KVEditHistory.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "support/PlatformFixture.h"
#include "StubAnalysisView.h"

namespace orvex {
namespace {

using namespace std::chrono_literals;

class ControllerConcurrencyTest : public test::EngineFixture {};

// The runner, the preview thread, a worker operation and the audio thread all at once; run
// under ThreadSanitizer this shows that they share nothing unguarded.
TEST_F(ControllerConcurrencyTest, RunnerPreviewWorkerAndAudioRunTogether) {
    const std::string path = temp().file("busy.wav");
    test::writeWave(path, test::toneClicksAndNoise(40000), 44100);
    test::StubAnalysisView view;
    auto backend = std::make_unique<ManualAudioBackend>(256);
    ManualAudioBackend* output = backend.get();
    auto controller = KVAnalysisController::initWithEditHistory(
        KVEditHistory::initWithContentsOfFile(path, 44100.0, false), &view, true, std::move(backend));
    ASSERT_TRUE(controller);
    controller->setRealtimePreview(true);

    std::atomic<bool> stopAudio{false};
    std::atomic<int> cycles{0};
    std::jthread audio([&] {
        std::vector<float> left(256), right(256);
        while (!stopAudio) {
            output->pullStereo(left.data(), right.data(), 256);
            ++cycles;
            std::this_thread::sleep_for(1ms);
        }
    });

    // Wait for the first stored frames, then select everything while the runner still runs.
    EXPECT_TRUE(platform().pumpMainThreadUntil([&] { return controller->analysisStore().frameCount() > 0; }, 600s));
    for (int i = 0; i < 5; ++i) {
        view.mouseFrame = 10 * i;
        view.pitch = 400.0f + 4.0f * float(i);
        controller->mouseUpdate(0, i % 2 == 1);
        platform().pumpMainThreadUntil([] { return false; }, 5ms);
    }
    controller->selectAll();
    controller->mouseUpdate(0, false);
    EXPECT_TRUE(platform().pumpMainThreadUntil(
        [&] { return controller->runner()->hasEnded() && !controller->isProcessing(); }, 600s));

    stopAudio = true;
    audio.join();
    EXPECT_GT(cycles.load(), 0);
    EXPECT_GT(controller->store().frameCount(), 0);
    EXPECT_EQ(controller->analysisStore().frameCount(), 5 * 64);
    controller->shutdown();
    controller.reset();
    platform().pumpMainThread();
}

}  // namespace
}  // namespace orvex
