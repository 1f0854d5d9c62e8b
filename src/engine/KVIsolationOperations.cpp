#include "engine/KVIsolationOperations.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "common/Pitch.h"
#include "dsp/FrameRecord.h"
#include "dsp/KVHarmonicProcessor.h"
#include "dsp/PeakPicker.h"
#include "engine/KVBoxGeometry.h"
#include "engine/KVBoxTools.h"
#include "engine/KVFileSetRecordSource.h"
#include "engine/KVFloorShaping.h"
#include "engine/KVIsolationSpectra.h"
#include "engine/KVIsolationWindow.h"
#include "store/KVAnalysisFileSet.h"
#include "utilities/InTurn.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

namespace {
// Frames on either side of a frame whose minimum is its floor.
constexpr FrameCount kSustainedReach = 25;
constexpr FrameCount kTransientReach = 4;
// How far the continuous copy stays behind a running analysis.
constexpr FrameCount kContinuousLag = 64;
constexpr FrameCount kRelayoutInterval = 32;

// The records and arrays one lane of an operation works with.
struct LaneScratch {
    std::unique_ptr<FrameRecord> record = FrameRecord::create();
    std::unique_ptr<FrameRecord> other = FrameRecord::create();
    std::vector<float> magnitudes = std::vector<float>(kIsolationBins);
    std::vector<float> frequencies = std::vector<float>(kIsolationBins);
};
}  // namespace

KVIsolationOperations::KVIsolationOperations(KVAnalysisFileSet& analysis, KVAnalysisFileSet& selection,
                                             const std::atomic<bool>& cancel)
    : mAnalysis(analysis), mSelection(selection), mCancel(cancel), mStores(analysis, selection) {}

void KVIsolationOperations::setProgressHandler(std::function<void(int percent)> handler) {
    mProgress = std::move(handler);
}

void KVIsolationOperations::setPollInterval(std::chrono::milliseconds interval) { mPollInterval = interval; }

void KVIsolationOperations::setThreadCount(int threads) { mThreads = threads; }

bool KVIsolationOperations::cancelled() const { return mCancel.load(std::memory_order_relaxed); }

void KVIsolationOperations::reportProgress(FramePos done, FrameCount total, int& last) {
    if (!mProgress || total <= 0) return;
    const int percent = static_cast<int>(std::clamp<FrameCount>(100 * done / total, 0, 100));
    if (percent == last) return;
    last = percent;
    mProgress(percent);
}

void KVIsolationOperations::boxTool(AnalysisTool tool, SelectionMode selectionMode, bool shiftMode, float x, float y,
                                    float w, float h) {
    const auto box = KVBoxGeometry::fit(x, y, w, h, mAnalysis.frameCount());
    if (!box) return;
    const int mode = selectionMode == SelectionMode::Subtract ? 1 : 0;
    // The channels two at a time, the mix first (it also writes display records).
    const std::vector<std::int32_t> channels = mStores.shapingChannels();
    runInTurn(channels.size(), mThreads, [&](std::size_t i) {
        KVBoxTools tools(mStores, *box, {channels[i]});
        switch (tool) {
        case AnalysisTool::box: tools.box(mode, shiftMode); break;
        case AnalysisTool::denoiseBox: tools.denoise(); break;
        case AnalysisTool::backgroundBox: tools.background(mode); break;
        case AnalysisTool::gapFillerBox: tools.gapFiller(); break;
        case AnalysisTool::magicBox: tools.magic(shiftMode); break;
        case AnalysisTool::deselectBox: tools.deselect(mode); break;
        default: break;
        }
    });
}

void KVIsolationOperations::dragCeiling(FramePos start, FramePos end) {
    const FrameCount frames = mAnalysis.frameCount();
    mSelection.setFrameCount(frames);
    if (frames == 0) return;
    auto record = FrameRecord::create();
    std::vector<float> ceiling(kIsolationBins), values(kIsolationBins);
    // The ceiling is the frame where the drag began, kept inside the analysis.
    const FramePos ceilingFrame = std::clamp<FramePos>(start, 0, frames - 1);
    const FramePos first = std::max<FramePos>(0, std::min(start, end));
    const FramePos stop = std::min<FramePos>(frames, std::max(start, end));
    for (const std::int32_t channel : mStores.shapingChannels()) {
        KVIsolationStores::readMagnitudes(mAnalysis, ceilingFrame, channel, *record, ceiling);
        for (FramePos t = first; t < stop; ++t) {
            if (!mStores.selectedTarget(t, channel, *record)) continue;
            record->decodeMagnitudesInto(values);
            for (int k = 0; k < kIsolationBins; ++k) values[k] = std::min(values[k], ceiling[k]);
            record->encodeMagnitudes(values);
            mSelection.writeFrameRecord(*record, t, channel);
        }
    }
}

// The harmonic processor extracts (add) or attenuates (subtract) the fundamental and the
// harmonics of the tool's series along the path, the pitch interpolated frame by frame between
// consecutive points. The document mode chooses the processor's treatment. Each channel index
// has its own processor and lane; a channel takes the fundamental its predecessor used for the
// frame (snapping may move it) and skips the frame where a predecessor found no source record.
void KVIsolationOperations::pencilPath(const std::vector<KVPathPoint>& points, const KVPencilSettings& settings) {
    mSelection.setFrameCount(mAnalysis.frameCount());
    if (points.size() <= 2) return;
    struct PathStep {
        FramePos frame;
        float frequency;
    };
    std::vector<PathStep> steps;
    std::vector<FrameCount> segmentEnds;  // steps taken when each segment is done
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const FramePos x0 = std::max<FramePos>(0, points[i].x), x1 = std::max<FramePos>(0, points[i + 1].x);
        const double span = double(std::max<FramePos>(1, x1 - x0));
        for (FramePos t = x0; t < x1; ++t) {
            const double a = double(t - x0) / span;
            steps.push_back({t, static_cast<float>(hertzOfPitch((1.0 - a) * double(points[i].y) + a * double(points[i + 1].y)))});
        }
        segmentEnds.push_back(FrameCount(steps.size()));
    }
    const std::vector<std::int32_t> channels = mStores.shapingChannels();
    std::vector<std::unique_ptr<KVHarmonicProcessor>> processors;
    for (std::size_t lane = 0; lane < channels.size(); ++lane) {
        processors.push_back(KVHarmonicProcessor::initWithSource(
            std::make_shared<KVFileSetRecordSource>(mAnalysis), std::make_shared<KVFileSetRecordSource>(mSelection),
            settings.selectionMode == SelectionMode::Subtract ? 1 : 0, int(settings.tool), settings.snapToGrid ? 1 : 0,
            int(settings.documentMode)));
    }
    // The fundamental each lane used at each step, -1 where the frame stopped.
    std::vector<std::vector<float>> used(channels.size(), std::vector<float>(steps.size()));
    KVIsolationLanes lanes(channels.size(), FrameCount(steps.size()), mCancel);
    lanes.setChained(true);
    lanes.setThreadCount(mThreads);
    std::size_t reported = 0;
    lanes.run(
        [&](std::size_t lane, FramePos s) {
            const float given = lane == 0 ? steps[s].frequency : used[lane - 1][s];
            used[lane][s] = given < 0.0f ? -1.0f : processors[lane]->processChannel(steps[s].frame, channels[lane], given);
        },
        [&](FrameCount done) {
            for (; reported < segmentEnds.size() && segmentEnds[reported] <= done; ++reported)
                if (mProgress) mProgress(10);
        });
}

void KVIsolationOperations::isolateDeterministic() { shapeByFloor(kSustainedReach, false); }

void KVIsolationOperations::isolateStochastic() { shapeByFloor(kTransientReach, true); }

// The mask comes from the segment's audio; every record of every channel is scaled by it.
void KVIsolationOperations::separateByMedian(bool transients, const KVMedianSettings& settings,
                                             const KVMedianMask::AudioReader& read, int channels) {
    const FrameCount frames = mAnalysis.frameCount();
    if (frames == 0) return;
    KVMedianMask mask(frames, kIsolationBins, settings);
    if (!mask.build(read, channels, [this] { return cancelled(); })) return;
    const std::vector<std::int32_t> lanes = mStores.shapingChannels();
    std::vector<LaneScratch> scratch(lanes.size());
    runLanes(lanes.size(), frames, [&](std::size_t lane, FramePos f) {
        LaneScratch& work = scratch[lane];
        FrameRecord& record = *work.record;
        // An absent or empty frame is written as it is, as the other whole-segment edits do.
        KVIsolationStores::read(mAnalysis, f, lanes[lane], record);
        record.decodeMagnitudesInto(work.magnitudes);
        mask.sustainedShare(f, work.frequencies);  // the share, in the spare buffer
        for (int k = 0; k < kIsolationBins; ++k)
            work.magnitudes[k] *= transients ? 1.0f - work.frequencies[k] : work.frequencies[k];
        record.encodeMagnitudes(work.magnitudes);
        mSelection.writeFrameRecord(record, f, lanes[lane]);
    });
}

FrameCount KVIsolationOperations::runLanes(std::size_t lanes, FrameCount frames, const KVIsolationLanes::Step& step) {
    KVIsolationLanes runner(lanes, frames, mCancel);
    runner.setThreadCount(mThreads);
    int lastPercent = -1;
    return runner.run(step, [&](FrameCount done) { reportProgress(done, frames, lastPercent); });
}

// Every frame of every channel against the bin-wise minimum of the frames around it: the floor
// itself is what stays steady, what rises above it is transient.
void KVIsolationOperations::shapeByFloor(FrameCount reach, bool transients) {
    const FrameCount frames = mAnalysis.frameCount();
    if (frames == 0) return;
    const std::vector<std::int32_t> channels = mStores.shapingChannels();
    std::vector<std::unique_ptr<KVIsolationWindow>> windows;
    for (const std::int32_t channel : channels)
        windows.push_back(std::make_unique<KVIsolationWindow>(mAnalysis, channel, reach, reach, frames));
    std::vector<LaneScratch> scratch(channels.size());
    runLanes(channels.size(), frames, [&](std::size_t lane, FramePos f) {
        KVIsolationWindow& window = *windows[lane];
        std::vector<float>& values = scratch[lane].magnitudes;
        window.advanceTo(f);
        window.floor(values);
        const std::span<const float> analysis = window.magnitudes(f);
        for (int k = 0; k < kIsolationBins; ++k)
            values[k] = transients ? KVFloorShaping::transient(analysis[k], values[k])
                                   : KVFloorShaping::sustained(values[k]);
        FrameRecord& record = window.record(f);
        record.encodeMagnitudes(values);
        mSelection.writeFrameRecord(record, f, channels[lane]);
    });
}

void KVIsolationOperations::fillGaps(int documentMode) {
    const std::vector<std::int32_t> channels = mStores.shapingChannels();
    std::vector<LaneScratch> scratch(channels.size());
    runLanes(channels.size(), mAnalysis.frameCount(), [&](std::size_t lane, FramePos f) {
        LaneScratch& work = scratch[lane];
        const std::int32_t channel = channels[lane];
        if (mStores.selectedTarget(f, channel, *work.other)) return;
        FrameRecord& record = *work.record;
        if (!KVIsolationStores::read(mAnalysis, f, channel, record) || record.valid == 0) return;
        if (documentMode == 0) {
            // Extract mode fills with the analysis minus its steady partials and strongest peaks.
            record.decodeMagnitudesInto(work.magnitudes);
            record.decodeFrequenciesInto(work.frequencies);
            KVHarmonicProcessor::stabilityWeight(work.magnitudes, work.frequencies);
            suppressPeaks(work.magnitudes, 96, nullptr, 50.0f);
            record.encodeMagnitudes(work.magnitudes);
        }
        mSelection.writeFrameRecord(record, f, channel);
    });
}

void KVIsolationOperations::copyAnalysisFrame(FramePos f, FrameRecord& scratch) {
    for (const std::int32_t channel : mStores.copyingChannels()) {
        KVIsolationStores::read(mAnalysis, f, channel, scratch);
        mSelection.writeFrameRecord(scratch, f, channel);
    }
}

void KVIsolationOperations::selectAll() {
    const FrameCount frames = mAnalysis.frameCount();
    if (frames == 0) return;
    mSelection.setFrameCount(0);
    const std::vector<std::int32_t> channels = mStores.copyingChannels();
    std::vector<LaneScratch> scratch(channels.size());
    runLanes(channels.size(), frames, [&](std::size_t lane, FramePos f) {
        KVIsolationStores::read(mAnalysis, f, channels[lane], *scratch[lane].record);
        mSelection.writeFrameRecord(*scratch[lane].record, f, channels[lane]);
    });
}

bool KVIsolationOperations::pause(int intervals) {
    const auto until = std::chrono::steady_clock::now() + mPollInterval * intervals;
    while (!cancelled() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(mPollInterval, std::chrono::milliseconds(20)));
    return !cancelled();
}

void KVIsolationOperations::selectAllContinuously(const std::function<bool()>& analysisFinished,
                                                  const std::function<void()>& relayout,
                                                  const std::string& workingFilePath) {
    if (KVUtilities::paramDictForAnalysisOfFileAtPath(workingFilePath).getBool(paramkeys::kAnalysisDataSelected)) return;
    if (!pause(1)) return;
    mSelection.setFrameCount(0);
    auto record = FrameRecord::create();
    FramePos f = 0;
    for (;;) {
        // Stay behind a running analysis, whose newest frames may not be complete in every channel.
        while (!analysisFinished() && mAnalysis.frameCount() - f < kContinuousLag)
            if (!pause(1)) return;
        if (f >= mAnalysis.frameCount()) break;
        if (cancelled()) return;
        copyAnalysisFrame(f++, *record);
        if (f % kRelayoutInterval == 0 && relayout) relayout();
    }
    if (!pause(2)) return;
    for (const FrameCount frames = mAnalysis.frameCount(); f < frames && !cancelled(); ++f) copyAnalysisFrame(f, *record);
    if (cancelled()) return;
    KVParamDictionary::change(
        workingFilePath, [](PropertyList& dict) { dict.setBool(paramkeys::kAnalysisDataSelected, true); },
        KVParamDictionary::Stamp::CurrentVersion);
    if (relayout) relayout();
}

void KVIsolationOperations::clearSelection() { mSelection.setFrameCount(0); }

void KVIsolationOperations::applySelection() {
    const FrameCount frames = mSelection.frameCount();
    // An empty selection would leave an empty analysis, and the analysis keeps no undo.
    if (frames == 0) return;
    mAnalysis.setFrameCount(0);
    const std::vector<std::int32_t> channels = mStores.copyingChannels();
    std::vector<LaneScratch> scratch(channels.size());
    const FrameCount moved = runLanes(channels.size(), frames, [&](std::size_t lane, FramePos f) {
        FrameRecord& record = *scratch[lane].record;
        KVIsolationStores::read(mSelection, f, channels[lane], record);
        mAnalysis.writeFrameRecord(record, f, channels[lane]);
        record.reset();
        mSelection.writeFrameRecord(record, f, channels[lane]);
    });
    // A cancelled move keeps the frames it has not moved yet in the selection.
    if (moved == frames) mSelection.setFrameCount(0);
}

}  // namespace orvex
