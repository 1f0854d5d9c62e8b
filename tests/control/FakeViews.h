#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "control/KVOutputViewInterface.h"
#include "control/KVOverviewBuilder.h"
#include "control/KVSegmentRange.h"
#include "control/KVSegmentViewInterface.h"
#include "control/OverviewColumns.h"

namespace orvex::test {

// Records what a controller hands an overview view; columns that were never set read as NaN.
template <class Interface>
class RecordingView : public Interface {
public:
    void showColumns(std::shared_ptr<const OverviewColumns> columns) override { mColumns = std::move(columns); }
    void setHighQuality(bool) override {}
    void setNumberOfChannels(std::int64_t channels) override { mChannels = channels; }
    void setNeedsRedraw() override { ++mRedraws; }
    void setNeedsDisplay() override {}
    void setAnalysisStartFrame(FramePos frame) override { mRange.setAnalysisStartFrame(frame); }
    void setAnalysisEndFrame(FramePos frame) override { mRange.setAnalysisEndFrame(frame); }
    void setPlayCursor(FramePos frame) override { mPlayCursor = frame; }

    std::vector<KVOverviewColumn> columns() const { return mColumns ? mColumns->copy() : std::vector<KVOverviewColumn>{}; }
    // Columns the controller's overview thread has stored so far, left to right.
    std::int64_t storedColumns() const { return mColumns ? mColumns->stored() : 0; }

    std::int64_t mChannels = 0;
    int mRedraws = 0;
    FramePos mPlayCursor = 0;
    KVSegmentRange mRange;

private:
    std::shared_ptr<const OverviewColumns> mColumns;
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
