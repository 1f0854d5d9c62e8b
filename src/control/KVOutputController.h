#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"
#include "control/KVMainThreadPoster.h"
#include "control/OverviewColumns.h"
#include "control/KVMasterExport.h"
#include "control/KVOutputViewInterface.h"
#include "playback/KVPlaybackSources.h"
#include "store/KVMixdownStore.h"

namespace orvex {

// Owns the master output (the mixdown) of one working file: opens it, fills its untouched
// records from the working file (prefill thread), feeds the output view's overview (overview
// thread), plays it (audio thread, readPlayFrames) and exports it (export thread).
// Threads: every operation except readPlayFrames runs on the main thread; workers report back
// by posting to the main thread without waiting, and the destructor cancels and joins them.
// monitor() orders block reads and writes of the mixdown (prefill, export, overview, commits).
class KVOutputController : public KVPlayFrameSource {
public:
    // view may be null (no overview is shown then). Opens the mixdown for R = records, reports
    // "Incompatible Master File" when the stored mixdown is of another version, loads the
    // analysed range and starts the prefill and the overview builder.
    // Without the file's exact length, its export holds the R whole records.
    static std::unique_ptr<KVOutputController> initWithView(KVOutputViewInterface* view, const std::string& path,
                                                            std::int32_t channels, FrameCount records, bool highQuality);
    // The same for the working file at path, with its channel count and length (the export
    // then holds exactly the file's frames); nothing when it is not a readable sound file.
    static std::unique_ptr<KVOutputController> initWithView(KVOutputViewInterface* view, const std::string& path,
                                                            bool highQuality);
    ~KVOutputController() override;
    KVOutputController(const KVOutputController&) = delete;
    KVOutputController& operator=(const KVOutputController&) = delete;

    void setDelegate(KVOutputControllerDelegate* delegate) { mDelegate = delegate; }
    KVOutputControllerDelegate* delegate() const { return mDelegate; }

    // The mixdown's length shown in the overview: R whole records.
    FrameCount numFrames() const { return mRecords * kAnalysisHop; }
    // The working file's length; a master export holds exactly this many frames.
    FrameCount fileFrames() const { return mFileFrames; }
    FrameCount numberOfRecords() const { return mRecords; }
    std::int32_t numberOfChannels() const { return mChannels; }
    std::int64_t numberOfColumns() const { return mNumberOfColumns; }
    // The overview's columns, filled by the overview thread; the view paints from them.
    std::shared_ptr<const OverviewColumns> overviewColumns() const { return mColumns; }
    const std::string& originalInputFilePath() const { return mOriginalInputFilePath; }
    // The collections commits write rendered grain records into (under monitor()).
    KVGrainCollection* leftMasterCollection() const { return mMaster.left.get(); }
    // Why the master cannot be used until it is reset (grains lost behind the store's back), or
    // success. A damaged master is not prefilled, exported or committed to.
    const Result& masterDamage() const { return mMaster.damage; }
    KVGrainCollection* rightMasterCollection() const { return mMaster.right.get(); }
    std::recursive_mutex& monitor() const { return mMonitor; }

    // Playback source (audio thread): the next n frames of the master, channel 0 from the left
    // collection and, for stereo, channel 1 from the right. -1 without a mixdown or past its end.
    std::int64_t readPlayFrames(FrameCount n, float* const* buffers) override;
    // The next frame played is frame of the working file.
    void setPlayPosition(FramePos frame) override;

    // From the view and the document.
    void cursorWasMoved();
    bool moveToEditCursor();
    bool moveToPlayCursor();
    void setPlayCursor(FramePos frame);
    void togglePlayStop();
    void setAnalysisStart(FramePos start, FramePos end);
    void loadAnalysisRangeForFileAtPath(const std::string& path);
    void reportProgress(int percent);

    // Rebuilds the overview on a new thread (a running build is stopped first).
    void restartOverview();
    // Exports the master to path on a new thread, with the given chunks; the export waits for
    // the prefill. A running export is cancelled first.
    void exportToPath(const std::string& path, const KVMetadataChunks& chunks);
    void cancelExport();
    // Drops every committed edit: empties both collections, then prefills and rebuilds anew.
    void resetMasterFile();
    // Starts the prefill on a new thread (a running one is stopped first).
    void prefillMasterFilesInNewThread();

    // For the command line and tests (main thread).
    bool isPrefillFinished() const { return mPrefillFinished.load(); }
    bool isOverviewRunning() const { return mOverviewRunning.load(); }
    bool isExporting() const { return mExporting.load(); }
    // Waits for the export thread; the finishing step is still posted to the main thread.
    void waitForExport();
    void waitForPrefill();
    KVMasterExport::Outcome lastExportOutcome() const { return mLastExportOutcome.load(); }
    // The last export's failure as its alert told it (success when none failed); main thread.
    const Result& lastExportResult() const { return mLastExportResult; }
    // Samples the last export clipped to the file's range (for the status line).
    FrameCount lastExportClippedSamples() const { return mLastExportClippedSamples.load(); }

private:
    KVOutputController(KVOutputViewInterface* view, const std::string& path, std::int32_t channels,
                       FrameCount fileFrames, bool highQuality);
    // Starts the prefill and the overview builder of a new controller.
    static std::unique_ptr<KVOutputController> start(std::unique_ptr<KVOutputController> controller);
    void configureView(bool highQuality);
    void writePlaceholders();
    void prefill();
    void buildOverview();
    void runExport();
    void finishExport(KVMasterExport::Outcome outcome, const std::string& path, const Result& sourceDamage);
    void requestDisplay();
    void stopPrefill();
    void stopOverview();
    void stopExport();

    KVOutputViewInterface* mView;
    const std::string mOriginalInputFilePath;
    const std::int32_t mChannels;
    const FrameCount mFileFrames;
    const FrameCount mRecords;
    const std::int64_t mNumberOfColumns;
    const std::shared_ptr<OverviewColumns> mColumns;
    KVOutputControllerDelegate* mDelegate = nullptr;
    KVMixdownStore::Collections mMaster;
    mutable std::recursive_mutex mMonitor;

    std::thread mPrefillThread, mOverviewThread, mExportThread;
    std::atomic<bool> mCancelPrefill{false}, mCancelOverview{false}, mCancelExport{false};
    std::atomic<bool> mPrefillFinished{false}, mOverviewRunning{false}, mExporting{false};
    std::atomic<bool> mDisplayPending{false};
    std::atomic<KVMasterExport::Outcome> mLastExportOutcome{KVMasterExport::Outcome::Written};
    std::atomic<FrameCount> mLastExportClippedSamples{0};
    std::mutex mPrefillMutex;
    std::condition_variable mPrefillDone;
    std::string mExportPath;
    Result mLastExportResult = Result::success();
    KVOwnedMetadataChunks mExportChunks;
    KVMainThreadPoster mPoster;
};

}  // namespace orvex
