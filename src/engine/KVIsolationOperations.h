#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Types.h"
#include "engine/KVDocumentMode.h"
#include "engine/KVIsolationLanes.h"
#include "engine/KVIsolationStores.h"
#include "engine/KVMedianMask.h"

namespace orvex {

class KVAnalysisFileSet;

// One point of a drawn pencil path: x is a frame, y a pitch in sixths of a semitone.
struct KVPathPoint {
    std::int64_t x = 0;
    std::int64_t y = 0;
};

// What the harmonic selection along a pencil path is told about the controller's state.
struct KVPencilSettings {
    SelectionMode selectionMode = SelectionMode::Add;
    AnalysisTool tool = AnalysisTool::multiPencil;  // one of the three pencils
    DocumentMode documentMode = DocumentMode::Modify;
    bool attackMode = false;
    bool snapToGrid = false;
    bool attenuateF0 = false;
};

// The selection operations of an analysed segment as synchronous algorithms: each reads
// records of the analysis and the selection file sets, shapes magnitudes and writes records.
// None of them opens or commits an undo step, switches audio or starts a thread; the caller
// owns that protocol. Channel -1 (the mix) is handled first by the shaping operations and last
// by the copying ones.
// The whole-segment operations and pencil paths run one lane per channel index on up to two
// threads (the calling thread and a helper joined before returning); each chunk file is written
// in the same order, so the stored bytes are those of a single thread.
// Threads: one operation at a time per object, called on one thread; the progress handler is
// called on that thread or the helper, never on both at once; cancel is polled between frames,
// and a cancelled operation stops every channel after the same frame.
class KVIsolationOperations {
public:
    KVIsolationOperations(KVAnalysisFileSet& analysis, KVAnalysisFileSet& selection, const std::atomic<bool>& cancel);

    // Percent 0..100 of the running whole-segment operation.
    void setProgressHandler(std::function<void(int percent)> handler);
    // The waiting step of the continuous copy (1 s unless changed; tests shorten it).
    void setPollInterval(std::chrono::milliseconds interval);
    // Threads an operation may use (2 unless changed; 1 runs the lanes on the calling thread).
    void setThreadCount(int threads);

    // A box tool (box .. deselect box; a pencil does nothing) over x, y, w, h in frames and
    // sixths of a semitone.
    void boxTool(AnalysisTool tool, SelectionMode selectionMode, bool shiftMode, float x, float y, float w, float h);
    // Limits the selection of frames start..end-1 to the analysis magnitudes at start; first makes
    // the selection's frame count equal to the analysis's.
    void dragCeiling(FramePos start, FramePos end);
    // Harmonic selection along the path (needs more than 2 points); makes the frame counts equal.
    // The attack and attenuate-F0 switches are carried for the controller; the processor has no use
    // for them.
    void pencilPath(const std::vector<KVPathPoint>& points, const KVPencilSettings& settings);

    // The sustained (tonal) part of the whole analysis into the selection.
    void isolateDeterministic();
    // The transient part of the whole analysis into the selection.
    void isolateStochastic();
    // The sustained or the transient part by the median separator (KVMedianMask over the
    // segment's audio, which read gives for its channels): each record's magnitudes scaled by
    // its share, so that the two parts add up to the analysis.
    void separateByMedian(bool transients, const KVMedianSettings& settings, const KVMedianMask::AudioReader& read,
                          int channels);
    // Fills every unselected frame from the analysis (damped and peak-suppressed in mode 0).
    void fillGaps(int documentMode);
    // Copies the whole analysis into the emptied selection.
    void selectAll();
    // Copies the analysis while it grows, until analysisFinished() and no frames remain; calls
    // relayout() every 32 frames and at the end; then sets "AnalysisDataSelected" in the
    // parameter dictionary of the working file. A cancelled copy stops and leaves the key unset.
    void selectAllContinuously(const std::function<bool()>& analysisFinished, const std::function<void()>& relayout,
                               const std::string& workingFilePath);
    // Empties the selection (frame count 0).
    void clearSelection();
    // Makes the selection the new analysis and leaves the selection empty. An empty selection
    // changes nothing; a cancelled move keeps the frames it has not moved in the selection.
    void applySelection();

private:
    bool cancelled() const;
    void reportProgress(FramePos done, FrameCount total, int& last);
    // Runs step(lane, frame) over frames 0..frames-1 of each lane with frame progress; returns
    // the frames every lane completed.
    FrameCount runLanes(std::size_t lanes, FrameCount frames, const KVIsolationLanes::Step& step);
    void shapeByFloor(FrameCount reach, bool transients);
    void copyAnalysisFrame(FramePos f, FrameRecord& scratch);
    // Waits the given number of poll intervals; false when cancelled meanwhile.
    bool pause(int intervals);

    KVAnalysisFileSet& mAnalysis;
    KVAnalysisFileSet& mSelection;
    const std::atomic<bool>& mCancel;
    KVIsolationStores mStores;
    std::function<void(int)> mProgress;
    std::chrono::milliseconds mPollInterval{1000};
    int mThreads = 2;
};

}  // namespace orvex
