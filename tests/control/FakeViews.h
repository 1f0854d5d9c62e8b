#pragma once

#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "control/KVOutputViewInterface.h"
#include "control/KVOverviewBuilder.h"
#include "control/KVSegmentRange.h"
#include "control/KVSegmentViewInterface.h"

namespace orvex::test {

// Records what a controller hands an overview view; columns that were never set read as NaN.
template <class Interface>
class RecordingView : public Interface {
public:
    void setNumberOfColumns(std::int64_t columns) override {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        mColumns.assign(static_cast<std::size_t>(columns), unset());
    }
    void setHighQuality(bool) override {}
    void setNumberOfChannels(std::int64_t channels) override { mChannels = channels; }
    void setMinL(float minL, float minR, float maxL, float maxR, std::int64_t index) override {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (index < 0 || index >= static_cast<std::int64_t>(mColumns.size())) return;
        mColumns[static_cast<std::size_t>(index)] = {minL, minR, maxL, maxR};
    }
    void setNeedsRedraw() override { ++mRedraws; }
    void setNeedsDisplay() override {}
    void setAnalysisStartFrame(FramePos frame) override { mRange.setAnalysisStartFrame(frame); }
    void setAnalysisEndFrame(FramePos frame) override { mRange.setAnalysisEndFrame(frame); }
    void setPlayCursor(FramePos frame) override { mPlayCursor = frame; }
    std::recursive_mutex& monitor() override { return mMonitor; }

    std::vector<KVOverviewColumn> columns() const {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        return mColumns;
    }
    static bool isSet(const KVOverviewColumn& c) { return c.minL == c.minL; }

    std::int64_t mChannels = 0;
    int mRedraws = 0;
    FramePos mPlayCursor = 0;
    KVSegmentRange mRange;

private:
    static KVOverviewColumn unset() {
        const float nan = std::numeric_limits<float>::quiet_NaN();
        return {nan, nan, nan, nan};
    }
    mutable std::recursive_mutex mMonitor;
    std::vector<KVOverviewColumn> mColumns;
};

class FakeOutputView : public RecordingView<KVOutputViewInterface> {
public:
    void setNumberOfRecords(std::int64_t) override {}
    FramePos playCursor() const override { return mPlayCursor; }
    FramePos editCursor() const override { return 0; }
};

// Applies the segment rules through KVSegmentRange, as the real view does.
// Like the real view, it edits its controller's range while it has one.
class FakeSegmentView : public RecordingView<KVSegmentViewInterface> {
public:
    void useRange(KVSegmentRange* range) override {
        if (!range) mRange = *mUsed;
        mUsed = range ? range : &mRange;
    }
    void setNumFrames(FrameCount frames) override { mUsed->setTotalFrames(frames); }
    void setSelectionStartFrame(FramePos frame) override { mUsed->setSelectionStartFrame(frame); }
    void setSelectionEndFrame(FramePos frame) override { mUsed->setSelectionEndFrame(frame); }
    void setAnalysisStartFrame(FramePos frame) override { mUsed->setAnalysisStartFrame(frame); }
    void setAnalysisEndFrame(FramePos frame) override { mUsed->setAnalysisEndFrame(frame); }
    FramePos selectionStartFrame() override { return mUsed->selectionStartFrame(); }
    FramePos selectionEndFrame() override { return mUsed->selectionEndFrame(); }
    FramePos analysisStartFrame() const override { return mUsed->analysisStartFrame(); }
    FramePos analysisEndFrame() const override { return mUsed->analysisEndFrame(); }

private:
    KVSegmentRange* mUsed = &mRange;
};

}  // namespace orvex::test
