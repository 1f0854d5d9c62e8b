#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/KVAnalysisViewInterface.h"
#include "platform/HeadlessPlatform.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex::test {

// A view that answers the controller from settable fields and records what it was told.
class StubAnalysisView : public KVAnalysisViewInterface {
public:
    std::atomic<bool> drawing{false};
    std::atomic<bool> firstResponder{true};
    std::atomic<float> pitch{414.0f};  // A4
    std::atomic<FramePos> mouseFrame{0};
    std::atomic<FramePos> cursor{0};

    std::recursive_mutex& monitor() override { return mMonitor; }
    bool isDrawing() override { return drawing; }
    bool isFirstResponder() override { return firstResponder; }
    float pitchUnderMouse() override { return pitch; }
    FramePos frameUnderMouse() override { return mouseFrame; }
    FramePos editCursor() override { return cursor; }
    void setPlayCursor(FramePos sample) override { mPlayCursor = sample; }
    FramePos playCursor() override { return mPlayCursor; }
    void scrollToPlayCursor() override {}
    void redraw() override { ++redraws; }
    void relayout() override { ++relayouts; }
    void setStatusMessage(const std::string& message) override {
        std::lock_guard<std::mutex> guard(mLog);
        statusMessages.push_back(message);
    }
    void addPath(const std::vector<KVPathPoint>&) override { ++pathsAdded; }
    void removePath(const std::vector<KVPathPoint>&) override { ++pathsRemoved; }
    void setStores(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) override {
        analysisStore = analysis;
        selectionStore = selection;
    }
    std::vector<std::string> messages() {
        std::lock_guard<std::mutex> guard(mLog);
        return statusMessages;
    }

    std::atomic<int> redraws{0}, relayouts{0}, pathsAdded{0}, pathsRemoved{0};
    KVAnalysisFileSet* analysisStore = nullptr;
    KVAnalysisFileSet* selectionStore = nullptr;

private:
    std::recursive_mutex mMonitor;
    std::mutex mLog;
    std::vector<std::string> statusMessages;
    FramePos mPlayCursor = 0;
};

using SteadyPlatform = SteadyHeadlessPlatform;

// The platform fixture with a SteadyPlatform (or a given subclass of it).
class EngineFixture : public PlatformFixture {
protected:
    void SetUp() override { installPlatform(std::make_shared<SteadyPlatform>()); }
    void installPlatform(std::shared_ptr<SteadyPlatform> steady) {
        steady->setEchoAlerts(false);
        mPlatform = steady;
        Platform::install(steady);
    }
};

}  // namespace orvex::test
