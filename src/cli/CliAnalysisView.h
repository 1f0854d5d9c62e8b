#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/KVAnalysisViewInterface.h"

namespace orvex::cli {

// The analysis controller's view when there is no screen: nothing is drawn, the mouse is
// nowhere and the cursors stay at the segment's start.
// Threads: the state queries return constants, so any thread may call them.
class CliAnalysisView : public KVAnalysisViewInterface {
public:
    std::recursive_mutex& monitor() override { return mMonitor; }
    bool isDrawing() override { return false; }
    bool isFirstResponder() override { return false; }
    float pitchUnderMouse() override { return -1.0f; }
    FramePos frameUnderMouse() override { return 0; }
    FramePos editCursor() override { return 0; }
    void setPlayCursor(FramePos) override {}
    FramePos playCursor() override { return 0; }
    void scrollToPlayCursor() override {}
    void redraw() override {}
    void relayout() override {}
    void setStatusMessage(const std::string&) override {}
    void addPath(const std::vector<KVPathPoint>&) override {}
    void removePath(const std::vector<KVPathPoint>&) override {}
    void setStores(KVAnalysisFileSet*, KVAnalysisFileSet*) override {}

private:
    std::recursive_mutex mMonitor;
};

}  // namespace orvex::cli
