#include "control/KVSegmentController.h"

#include <vector>

#include "control/KVOverviewBuilder.h"
#include "control/KVStoredRanges.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

namespace {

constexpr std::int64_t kHighQualityColumns = 4096;
constexpr std::int64_t kLowQualityColumns = 512;

}  // namespace

std::unique_ptr<KVSegmentController> KVSegmentController::initWithEditHistory(std::shared_ptr<KVEditHistory> history,
                                                                              KVSegmentViewInterface* view,
                                                                              bool highQuality) {
    if (!history || !view) return nullptr;
    return std::unique_ptr<KVSegmentController>(new KVSegmentController(std::move(history), view, highQuality));
}

KVSegmentController::KVSegmentController(std::shared_ptr<KVEditHistory> history, KVSegmentViewInterface* view,
                                         bool highQuality)
    : mView(view),
      mHistory(std::move(history)),
      mNumberOfColumns(highQuality ? kHighQualityColumns : kLowQualityColumns),
      mColumns(std::make_shared<OverviewColumns>(mNumberOfColumns)) {
    mView->useRange(&mRange);
    mView->showColumns(mColumns);
    mView->setHighQuality(highQuality);
    mView->setNumFrames(mHistory->numberOfFrames());
    mView->setNumberOfChannels(mHistory->numberOfChannels());
    mOverviewRunning = true;
    mOverviewThread = std::thread([this] { runInNewThread(); });
    const std::string& path = mHistory->sourceFilePath();
    mParamDict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    mParamDict.setString(paramkeys::kDictionaryPath, KVUtilities::paramDictPathForAnalysisOfFileAtPath(path));
    restoreStoredRanges();
}

KVSegmentController::~KVSegmentController() {
    mCancelOverview = true;
    waitForOverview();
    mPoster.invalidate();
    mView->useRange(nullptr);
}

void KVSegmentController::restoreStoredRanges() {
    mView->setSelectionStartFrame(mParamDict.getInt(paramkeys::kSelectionStartFrame));
    mView->setSelectionEndFrame(mParamDict.getInt(paramkeys::kSelectionEndFrame));
    mView->setAnalysisStartFrame(mParamDict.getInt(paramkeys::kAnalysisStartFrame));
    mView->setAnalysisEndFrame(mParamDict.getInt(paramkeys::kAnalysisEndFrame));
}

void KVSegmentController::setAnalysisStart(FramePos start, FramePos end) {
    mView->setAnalysisStartFrame(start);
    mView->setAnalysisEndFrame(end);
}

bool KVSegmentController::saveSelectionAndAnalysisRange() {
    // Only the four ranges are written: the rest of the stored dictionary (the mode, the
    // analysis flags the runner keeps) may have changed since this copy was read.
    auto setRanges = [this](PropertyList& dict) {
        dict.setInt(paramkeys::kSelectionStartFrame, mRange.selectionStartFrame());
        dict.setInt(paramkeys::kSelectionEndFrame, mRange.selectionEndFrame());
        dict.setInt(paramkeys::kAnalysisStartFrame, mRange.analysisStartFrame());
        dict.setInt(paramkeys::kAnalysisEndFrame, mRange.analysisEndFrame());
    };
    setRanges(mParamDict);
    return KVParamDictionary::change(mHistory->sourceFilePath(), setRanges, KVParamDictionary::Stamp::CurrentVersion);
}

bool KVSegmentController::analysisRangeForFileAtPath(const std::string& path, FramePos& start, FramePos& end) {
    return KVStoredRanges::analysisRangeForFileAtPath(path, start, end);
}

void KVSegmentController::setPlayCursor(FramePos frame) { mView->setPlayCursor(frame); }

void KVSegmentController::togglePlayStop() {
    if (mDelegate) mDelegate->togglePlayStop(*this);
}

void KVSegmentController::cursorWasMoved() {
    if (mDelegate) mDelegate->cursorWasMoved(*this);
}

void KVSegmentController::waitForOverview() {
    if (mOverviewThread.joinable()) mOverviewThread.join();
}

// Reads the history in steps of one column, each under the history's lock; the last column
// starts at the history's end and reads as silence, as reads past the end do.
void KVSegmentController::runInNewThread() {
    KVEditHistory& history = *mHistory;
    const FrameCount frames = history.numberOfFrames();
    const bool stereo = history.numberOfChannels() > 1;
    FramePos position = 0;
    const auto read = [&](FrameCount n, float* left, float* right) {
        float* const channels[2] = {left, right};
        std::lock_guard<std::recursive_mutex> guard(history.monitor());
        history.readAt(position, n, channels);
        position += n;
        return true;
    };
    const auto columnStored = [this] {
        if (mDisplayPending.exchange(true)) return;
        mPoster.post([this] {
            mDisplayPending = false;
            mView->setNeedsDisplay();
        });
    };
    const bool complete =
        KVOverviewBuilder::build(frames, mNumberOfColumns, frames + 1, stereo, read, *mColumns, mCancelOverview, columnStored);
    mOverviewRunning = false;
    if (!complete) return;
    mPoster.post([this] {
        KVUtilities::playFinishedSound();
        mView->setNeedsRedraw();
    });
}

}  // namespace orvex
