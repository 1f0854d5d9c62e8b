#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "common/Types.h"
#include "control/KVMainThreadPoster.h"
#include "control/OverviewColumns.h"
#include "control/KVSegmentViewInterface.h"
#include "history/KVEditHistory.h"
#include "platform/PropertyList.h"

namespace orvex {

// Drives the input overview: builds the view's waveform columns from the document's edit
// history (overview thread), restores the chosen segment and the analysed range from the
// working file's parameter dictionary, saves them back, and passes cursor and play requests
// from the view to the document.
// Threads: every operation runs on the main thread; the overview thread posts its repaints
// without waiting, and the destructor stops and joins it.
class KVSegmentController {
public:
    // Nothing when history is null. view must outlive the controller.
    static std::unique_ptr<KVSegmentController> initWithEditHistory(std::shared_ptr<KVEditHistory> history,
                                                                    KVSegmentViewInterface* view, bool highQuality);
    ~KVSegmentController();
    KVSegmentController(const KVSegmentController&) = delete;
    KVSegmentController& operator=(const KVSegmentController&) = delete;

    void setDelegate(KVSegmentControllerDelegate* delegate) { mDelegate = delegate; }
    KVSegmentControllerDelegate* delegate() const { return mDelegate; }

    void setAnalysisStart(FramePos start, FramePos end);
    // Stores the view's segment and analysed range in the dictionary and saves it (stamped
    // with the version and its own path); false when the dictionary could not be written.
    bool saveSelectionAndAnalysisRange();
    // The analysed range stored for the file at path ((0, 0) when none); always true.
    static bool analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end);

    void setPlayCursor(FramePos frame);
    void togglePlayStop();
    void cursorWasMoved();

    const PropertyList& paramDict() const { return mParamDict; }
    // The chosen segment and the analysed range. The controller owns them; its view shows and
    // edits them (useRange) while the controller lives.
    const KVSegmentRange& range() const { return mRange; }
    std::int64_t numberOfColumns() const { return mNumberOfColumns; }
    // The overview's columns, filled by the overview thread; the view paints from them.
    std::shared_ptr<const OverviewColumns> overviewColumns() const { return mColumns; }
    bool isOverviewRunning() const { return mOverviewRunning.load(); }
    // Waits for the overview thread; its last repaint is still posted to the main thread.
    void waitForOverview();

private:
    KVSegmentController(std::shared_ptr<KVEditHistory> history, KVSegmentViewInterface* view, bool highQuality);
    void runInNewThread();
    void restoreStoredRanges();

    KVSegmentViewInterface* mView;
    KVSegmentRange mRange;
    std::shared_ptr<KVEditHistory> mHistory;
    PropertyList mParamDict;
    const std::int64_t mNumberOfColumns;
    const std::shared_ptr<OverviewColumns> mColumns;
    KVSegmentControllerDelegate* mDelegate = nullptr;
    std::thread mOverviewThread;
    std::atomic<bool> mCancelOverview{false}, mOverviewRunning{false}, mDisplayPending{false};
    KVMainThreadPoster mPoster;
};

}  // namespace orvex
