#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "playback/KVAudioEngineController.h"
#include "playback/KVDocumentPlayback.h"
#include "playback/ManualAudioBackend.h"
#include "support/PlatformFixture.h"

namespace orvex::test {

// Records what reaches the document; stops are counted atomically for the threaded tests.
struct RecordingDelegate : KVPlaybackDelegate {
    void stopped() override { stoppedCount.fetch_add(1); }
    void playPositionChanged(FramePos frame) override { positions.push_back(frame); }
    std::atomic<int> stoppedCount{0};
    std::vector<FramePos> positions;  // main thread only
};

// A document's playback installed in a running engine over a manual output, with the headless
// platform whose main-thread queue the test pumps. The engine's log is kept out of the test output.
class DocumentPlaybackFixture : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        auto backend = std::make_unique<ManualAudioBackend>();
        mOutput = backend.get();
        testing::internal::CaptureStdout();
        mEngine = std::make_unique<KVAudioEngineController>(std::move(backend));
        testing::internal::GetCapturedStdout();
        mPlayback = std::make_unique<KVDocumentPlayback>(mMonitor, &mDelegate);
        mPlayback->setEngineController(mEngine.get());
    }
    void TearDown() override {
        testing::internal::CaptureStdout();
        mPlayback.reset();
        mEngine.reset();
        testing::internal::GetCapturedStdout();
        PlatformFixture::TearDown();
    }

    std::recursive_mutex mMonitor;
    RecordingDelegate mDelegate;
    ManualAudioBackend* mOutput = nullptr;
    std::unique_ptr<KVAudioEngineController> mEngine;
    std::unique_ptr<KVDocumentPlayback> mPlayback;
};

}  // namespace orvex::test
