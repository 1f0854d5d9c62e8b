#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "dsp/FrameRecord.h"
#include "engine/KVAnalysisController.h"
#include "engine/KVAnalysisRunner.h"
#include "engine/KVPreviewExchange.h"
#include "history/KVEditHistory.h"
#include "playback/ManualAudioBackend.h"
#include "store/KVAnalysisFileSet.h"
#include "support/PlatformFixture.h"
#include "support/SoundFixtures.h"
#include "StubAnalysisView.h"

namespace orvex {
namespace {

using namespace std::chrono_literals;

class RecordingDocument : public KVAnalysisControllerDelegate {
public:
    void setProgressValue(int percent) override { progress.push_back(percent); }
    std::vector<int> progress;
};

// A controller on a generated sound file, with a manual audio output that the test pulls.
class ControllerTest : public test::EngineFixture {
protected:
    void TearDown() override {
        if (mController) {
            platform().pumpMainThreadUntil(
                [&] { return !mController->isProcessing() && mController->runner()->hasEnded(); }, 600s);
            mController->shutdown();
            mController.reset();
        }
        platform().pumpMainThread();
        EngineFixture::TearDown();
    }

    KVAnalysisController& open(const test::Channels& channels, bool waitForAnalysis = true) {
        const std::string path = temp().file("take.wav");
        test::writeWave(path, channels, 44100);
        auto history = KVEditHistory::initWithContentsOfFile(path, 44100.0, false);
        auto backend = std::make_unique<ManualAudioBackend>(512);
        mOutput = backend.get();
        mController = KVAnalysisController::initWithEditHistory(history, &mView, true, std::move(backend));
        mController->setDelegate(&mDocument);
        if (waitForAnalysis) {
            EXPECT_TRUE(platform().pumpMainThreadUntil([&] { return mController->hasFinishedProcessing(); }, 600s));
        }
        return *mController;
    }

    void waitForOperation() {
        ASSERT_TRUE(platform().pumpMainThreadUntil([&] { return !mController->isProcessing(); }, 600s));
    }

    // Pulls cycles of 512 frames, giving the preview thread time to answer each request.
    std::vector<float> pullPreview(int cycles, bool waitForAnswers, std::vector<float>* right = nullptr) {
        std::vector<float> left;
        std::vector<float> l(512), r(512);
        for (int i = 0; i < cycles; ++i) {
            EXPECT_TRUE(mOutput->pullStereo(l.data(), r.data(), 512).has_value());
            left.insert(left.end(), l.begin(), l.end());
            if (right) right->insert(right->end(), r.begin(), r.end());
            if (!waitForAnswers) continue;
            for (int wait = 0; wait < 200 && mController->preview().frameRequested(); ++wait)
                std::this_thread::sleep_for(1ms);
        }
        return left;
    }

    bool sameRecord(std::int32_t channel, FramePos frame) {
        auto a = FrameRecord::create();
        auto b = FrameRecord::create();
        mController->analysisStore().readFrameRecord(frame, *a, channel);
        mController->store().readFrameRecord(frame, *b, channel);
        return std::memcmp(a->bins, b->bins, sizeof a->bins) == 0 && a->valid == b->valid;
    }

    bool selectionValid(std::int32_t channel, FramePos frame) {
        auto record = FrameRecord::create();
        return mController->store().readFrameRecord(frame, *record, channel) == 0 && record->valid;
    }

    test::StubAnalysisView mView;
    RecordingDocument mDocument;
    ManualAudioBackend* mOutput = nullptr;
    std::shared_ptr<KVAnalysisController> mController;
};

TEST_F(ControllerTest, ModifyModeInvertsPencilsOnlyAndTheMouseOutsideTheAnalysisZeroesTheCursorFrame) {
    KVAnalysisController& controller = open({test::sine(440.0, 44100.0, 8000)});
    struct Case {
        int documentMode, tool, requested, stored;
    };
    const Case cases[] = {
        {2, 0, 0, 1}, {2, 0, 1, 0}, {2, 1, 0, 1}, {2, 2, 1, 0},  // Modify, pencils: inverted
        {2, 3, 0, 0}, {2, 8, 1, 1},                              // Modify, boxes: as requested
        {0, 0, 0, 0}, {1, 2, 1, 1}, {0, 5, 1, 1},                // Extract and Suppress: as requested
    };
    for (const Case& c : cases) {
        controller.setDocumentMode(DocumentMode(c.documentMode));
        controller.setTool(AnalysisTool(c.tool));
        controller.setSelectionMode(SelectionMode(c.requested));
        EXPECT_EQ(controller.selectionMode(), SelectionMode(c.stored))
            << "mode " << c.documentMode << " tool " << c.tool << " requested " << c.requested;
    }

    auto record = FrameRecord::create();
    mView.mouseFrame = 40;  // samples 1152 .. 5247
    controller.mouseUpdate(0, false);
    controller.copyCursorFrame(*record);
    EXPECT_EQ(record->valid, 1);
    EXPECT_NEAR(record->binFrequency(record->nearestPeakBin(440.0f)), 440.0f, 3.0f);
    mView.mouseFrame = 128;  // two blocks of records (8000 + 4095 frames to cover): 0 .. 127
    controller.mouseUpdate(0, true);
    controller.copyCursorFrame(*record);
    EXPECT_EQ(record->valid, 0);
    EXPECT_EQ(record->size, 0u);
}

// The runner's progress reaches the view's status line; the preview plays the harmonics under
// the mouse only when it is on and the view is first responder.
TEST_F(ControllerTest, ProgressReachesTheStatusLineAndThePreviewPlaysTheHarmonicsUnderTheMouse) {
    KVAnalysisController& controller = open({test::sine(440.0, 44100.0, 16000, 0.3)});
    // Three blocks: the frames that overlap the last of 16 000 samples reach 4 095 beyond it.
    EXPECT_EQ(mView.messages(), (std::vector<std::string>{"Processing... 33 % done", "Processing... 66 % done",
                                                          "Processing... 100 % done", ""}));
    EXPECT_GE(mView.relayouts.load(), 3);
    EXPECT_EQ(mView.analysisStore, &controller.analysisStore());
    EXPECT_EQ(mView.selectionStore, &controller.store());

    mView.mouseFrame = 50;
    mView.pitch = 414.0f;  // 440 Hz
    controller.mouseUpdate(0, false);
    ASSERT_GT(mView.redraws.load(), 0);

    // Off: silence, whatever the slots hold.
    for (float v : pullPreview(8, true)) ASSERT_EQ(v, 0.0f);

    controller.setRealtimePreview(true);
    std::vector<float> right;
    const std::vector<float> left = pullPreview(48, true, &right);
    EXPECT_EQ(left, right);
    const std::vector<float> tail(left.end() - 8192, left.end());
    const double at440 = test::amplitudeAt(tail, 440.0, 44100.0);
    EXPECT_GT(at440, 0.02);
    EXPECT_GT(at440, 10.0 * test::amplitudeAt(tail, 330.0, 44100.0));
    EXPECT_GT(at440, 10.0 * test::amplitudeAt(tail, 600.0, 44100.0));
    for (float v : left) ASSERT_TRUE(v >= -1.0f && v <= 0.999f);
    EXPECT_NEAR(controller.previewPitch(), 414.0f, 1e-4f);

    // Not first responder: the slots are cleared and requests go unanswered; once the
    // synthesis tail has played out the output is silent.
    mView.firstResponder = false;
    std::this_thread::sleep_for(50ms);
    const std::vector<float> quiet = pullPreview(32, false);
    for (std::size_t i = quiet.size() - 4096; i < quiet.size(); ++i) ASSERT_EQ(quiet[i], 0.0f) << i;

    controller.setRealtimePreview(false);
    mView.firstResponder = true;
    for (float v : pullPreview(8, true)) ASSERT_EQ(v, 0.0f);
}

TEST_F(ControllerTest, SelectAllCopiesEveryRecordInOneUndoStepWithProgressAndChime) {
    KVAnalysisController& controller = open(test::toneClicksAndNoise(6000));
    controller.selectAll();
    EXPECT_FALSE(controller.selectionIdle());
    waitForOperation();
    EXPECT_TRUE(controller.selectionIdle());
    ASSERT_EQ(controller.store().frameCount(), 128);
    for (std::int32_t channel : {-1, 0, 1})
        for (FramePos f : {0, 31, 63, 127}) EXPECT_TRUE(sameRecord(channel, f)) << channel << " " << f;
    ASSERT_FALSE(mDocument.progress.empty());
    EXPECT_EQ(mDocument.progress.back(), -1);
    EXPECT_TRUE(std::is_sorted(mDocument.progress.begin(), mDocument.progress.end() - 1));
    EXPECT_EQ(platform().soundsPlayed().back(), "finished-new.aiff");

    controller.undo();
    for (std::int32_t channel : {-1, 0, 1}) EXPECT_FALSE(selectionValid(channel, 31));
}

TEST_F(ControllerTest, BoxToolRunsOnTheMainThreadInsideAnUndoStep) {
    KVAnalysisController& controller = open({test::sine(440.0, 44100.0, 6000)});
    controller.setDocumentMode(DocumentMode::Extract);
    controller.setTool(AnalysisTool::deselectBox);  // subtract mode copies the analysis into the box
    controller.setSelectionMode(SelectionMode::Subtract);
    const std::size_t chimes = platform().soundsPlayed().size();
    controller.selectionComplete(10.0f, 0.0f, 5.0f, 100.0f);
    EXPECT_EQ(platform().soundsPlayed().size(), chimes + 1);
    for (FramePos f = 10; f < 15; ++f) EXPECT_TRUE(sameRecord(-1, f) && selectionValid(-1, f)) << f;
    EXPECT_FALSE(selectionValid(-1, 9));
    EXPECT_FALSE(selectionValid(0, 15));

    controller.undo();
    for (FramePos f = 10; f < 15; ++f) EXPECT_FALSE(selectionValid(-1, f)) << f;

    // A pencil tool ignores rectangles; the repeating pattern only beeps.
    controller.setTool(AnalysisTool::multiPencil);
    controller.selectionComplete(10.0f, 0.0f, 5.0f, 100.0f);
    EXPECT_FALSE(selectionValid(-1, 12));
    controller.uiIsolateRepeatingPattern();
    EXPECT_EQ(platform().beepCount(), 1);
}

TEST_F(ControllerTest, ClearSelectionIsRefusedWhileSelectAllCopiesAndPencilPathsNeedThreePoints) {
    KVAnalysisController& controller = open({test::sine(440.0, 44100.0, 6000)});
    controller.selectAllContinuously();
    const Result refused = controller.selectNone();
    EXPECT_EQ(refused.text(),
              "Processing is in progress: Sorry but that command cannot be completed, the file is currently busy. "
              "Please try again once all pending operations have completed");
    waitForOperation();
    EXPECT_EQ(controller.store().frameCount(), 128);
    EXPECT_TRUE(selectionValid(-1, 40));

    // Once idle it clears (the copy is not made twice: see the isolation commands' tests).
    EXPECT_TRUE(controller.selectNone());
    EXPECT_TRUE(platform().alerts().empty());
    EXPECT_EQ(controller.store().frameCount(), 0);

    // Pencil paths need more than two points and show the path while they run.
    controller.setDocumentMode(DocumentMode::Extract);
    controller.pathComplete({{0, 414}, {20, 414}});
    EXPECT_FALSE(controller.isProcessing());
    EXPECT_EQ(mView.pathsAdded.load(), 0);
    controller.pathComplete({{0, 414}, {20, 414}, {40, 414}});
    waitForOperation();
    EXPECT_EQ(mView.pathsAdded.load(), 1);
    EXPECT_EQ(mView.pathsRemoved.load(), 1);
    EXPECT_EQ(controller.store().frameCount(), controller.analysisStore().frameCount());
    EXPECT_EQ(mDocument.progress.back(), -1);
}

// The runner, the preview thread, a worker operation and the audio thread all at once; run
// under ThreadSanitizer this shows that they share nothing unguarded.
TEST_F(ControllerTest, RunnerPreviewWorkerAndAudioRunTogether) {
    KVAnalysisController& controller = open(test::toneClicksAndNoise(40000), false);
    controller.setRealtimePreview(true);
    std::atomic<bool> stopAudio{false};
    std::atomic<int> cycles{0};
    std::jthread audio([&] {
        std::vector<float> left(512), right(512);
        while (!stopAudio) {
            mOutput->pullStereo(left.data(), right.data(), 512);
            ++cycles;
            std::this_thread::sleep_for(1ms);
        }
    });

    // Wait for the first stored frames, then select everything while the runner still runs.
    EXPECT_TRUE(platform().pumpMainThreadUntil([&] { return controller.analysisStore().frameCount() > 0; }, 600s));
    for (int i = 0; i < 5; ++i) {
        mView.mouseFrame = 10 * i;
        mView.pitch = 400.0f + 4.0f * float(i);
        controller.mouseUpdate(0, i % 2 == 1);
        platform().pumpMainThreadUntil([] { return false; }, 5ms);
    }
    controller.selectAll();
    controller.mouseUpdate(0, false);
    EXPECT_TRUE(platform().pumpMainThreadUntil(
        [&] { return controller.runner()->hasEnded() && !controller.isProcessing(); }, 600s));
    stopAudio = true;
    audio.join();
    EXPECT_GT(cycles.load(), 0);
    EXPECT_GT(controller.store().frameCount(), 0);
    EXPECT_EQ(controller.analysisStore().frameCount(), KVAnalysisRunner::analysedFrameCount(40000, 4096));
}

}  // namespace
}  // namespace orvex
