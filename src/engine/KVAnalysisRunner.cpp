#include "engine/KVAnalysisRunner.h"

#include <algorithm>

#include "engine/KVBlockWindow.h"
#include "history/KVEditHistory.h"
#include "platform/Platform.h"
#include "store/KVAnalysisFileSet.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

std::shared_ptr<KVAnalysisRunner> KVAnalysisRunner::initWithEditHistory(std::shared_ptr<KVEditHistory> history,
                                                                        std::shared_ptr<KVAnalysisFileSet> store,
                                                                        bool parallel) {
    if (!history || !store) return nullptr;
    auto runner = std::make_shared<KVAnalysisRunner>(Token(), std::move(history), std::move(store), parallel);
    runner->mThread = std::thread([self = runner] { self->runInNewThread(); });
    return runner;
}

KVAnalysisRunner::KVAnalysisRunner(Token, std::shared_ptr<KVEditHistory> history,
                                   std::shared_ptr<KVAnalysisFileSet> store, bool parallel)
    : mZeroPadding(store->zeroPadding()),
      mFrameSize(store->frameSize()),
      mSampleRate(store->sampleRate()),
      mEditHistory(std::move(history)),
      mOverlap(store->overlap()),
      mStore(std::move(store)),
      mParallel(parallel) {}

// The worker holds the runner until its last step, so the last release happens either on the
// worker itself (which then cannot join itself) or after the worker has let go.
KVAnalysisRunner::~KVAnalysisRunner() {
    mCancelRequested = true;
    if (!mThread.joinable()) return;
    if (mThread.get_id() == std::this_thread::get_id())
        mThread.detach();
    else
        mThread.join();
}

FrameCount KVAnalysisRunner::frameCount() const { return mStore->frameCount(); }

bool KVAnalysisRunner::isAnalysisComplete() const { return mStore->isAnalysisComplete(); }

FrameCount KVAnalysisRunner::expectedFrameCount(FrameCount length) {
    const FrameCount blocks = std::max<FrameCount>(length, 0) / kBlockFrames + 1;
    return blocks * kBlockFrames / kAnalysisHop;
}

// The frame that starts at the last sample ends frameSize - 1 samples later.
FrameCount KVAnalysisRunner::analysedFrameCount(FrameCount length, std::int64_t frameSize) {
    const FrameCount reach = std::max<FrameCount>(length, 0) + frameSize - 1;
    const FrameCount blocks = std::max<FrameCount>((reach + kBlockFrames - 1) / kBlockFrames, 1);
    return std::max(blocks * kBlockFrames / kAnalysisHop, expectedFrameCount(length));
}

void KVAnalysisRunner::runInNewThread() {
    mIsRunning = true;
    mProgress = 0.0f;
    Platform::shared().setCurrentThreadPriority(0.0);
    if (!storedAnalysisIsUsable()) {
        startAnalysis();
        analyzeBlocks();
        finishAnalysis();
    }
    mIsRunning = false;
    postFinish();
    KVUtilities::playFinishedSound();
    mHasEnded = true;
}

// A store flagged complete is used as it is only when it holds every frame of the segment:
// an analysis that was cancelled or interrupted is analysed again.
bool KVAnalysisRunner::storedAnalysisIsUsable() {
    if (!mStore->isAnalysisComplete()) return false;
    FrameCount length = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
        length = mEditHistory->numberOfFrames();
    }
    return mStore->frameCount() >= expectedFrameCount(length);
}

void KVAnalysisRunner::startAnalysis() {
    mStore->markComplete();
    const std::string& path = mStore->sourceFilePath();
    KVParamDictionary::change(
        path,
        [](PropertyList& dict) {
            dict.setBool(paramkeys::kAnalysisDataSelected, false);
            dict.setBool(paramkeys::kAnalysisCompleteForSelection, false);
        },
        KVParamDictionary::Stamp::CurrentVersion);
}

namespace {

// Blocks a lane may run ahead of the slowest one; lane threads of a file with many channels.
constexpr std::size_t kWindowBlocks = 4;
constexpr std::size_t kMostLaneThreads = 3;

}  // namespace

void KVAnalysisRunner::analyzeBlocks() {
    const std::int32_t channels = std::max(mEditHistory->numberOfChannels(), 1);
    createLanes(channels);
    // Channels first and the mix last: the mix waits for the channels of its block.
    std::vector<std::size_t> allLanes;
    for (std::size_t lane = mLanes.size(); lane-- > 0;) allLanes.push_back(lane);

    primeLanes(channels);
    const std::size_t threads = mParallel ? std::min(mLanes.size(), kMostLaneThreads) : 0;
    KVBlockWindow window(threads > 0 ? kWindowBlocks : 1, mLanes.size(), std::size_t(kBlockFrames));
    std::vector<std::thread> laneThreads;
    for (std::size_t t = 0; t < threads; ++t) {
        std::vector<std::size_t> lanes;
        for (std::size_t lane : allLanes)
            if (lane % threads == t) lanes.push_back(lane);
        laneThreads.emplace_back([this, &window, lanes = std::move(lanes)] { laneLoop(window, lanes); });
    }
    readBlocks(window, channels, threads > 0 ? std::vector<std::size_t>{} : allLanes);
    window.close();
    for (std::thread& thread : laneThreads) thread.join();
    mLanes.clear();
    // Pushed to the disk, so that a write the system could only refuse late (a full disk
    // under delayed allocation) still fails the analysis.
    mStore->synchronize();
}

// A segment history plays the file's own frames from the segment's start, so reading the file
// there gives the segment and, around it, the sound the file has before and after it.
void KVAnalysisRunner::readSegment(FramePos position, FrameCount length, std::int32_t channels,
                                   float* const* buffers) {
    const FramePos fileStart = mEditHistory->segmentStart();
    {
        std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
        if (fileStart >= 0)
            mEditHistory->readFileAt(fileStart + position, length, buffers + 1);
        else
            mEditHistory->readAt(position, length, buffers + 1);
    }
    const float share = 1.0f / static_cast<float>(channels);
    float* mix = buffers[0];
    for (FrameCount i = 0; i < length; ++i) {
        float sum = 0.0f;
        for (std::int32_t c = 0; c < channels; ++c) sum += buffers[c + 1][i] * share;
        mix[i] = sum;
    }
}

void KVAnalysisRunner::primeLanes(std::int32_t channels) {
    if (mEditHistory->segmentStart() <= 0 || mLanes.empty()) return;
    const FrameCount lead = mFrameSize - mFrameSize / mOverlap;
    std::vector<std::vector<float>> samples(std::size_t(channels) + 1, std::vector<float>(std::size_t(lead)));
    std::vector<float*> buffers;
    for (auto& channel : samples) buffers.push_back(channel.data());
    readSegment(-lead, lead, channels, buffers.data());
    for (std::size_t lane = 0; lane < mLanes.size(); ++lane) mLanes[lane]->primeInput(buffers[lane]);
}

void KVAnalysisRunner::readBlocks(KVBlockWindow& window, std::int32_t channels,
                                  const std::vector<std::size_t>& lanesHere) {
    FramePos position = 0;
    // A store that could not take a frame stops the analysis as a cancel does.
    for (std::uint64_t block = 0; !mCancelRequested && !mStore->writeFailed(); ++block) {
        const std::vector<float*>& buffers = window.nextBlock();
        FrameCount length = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            length = mEditHistory->numberOfFrames();
        }
        readSegment(position, kBlockFrames, channels, buffers.data());
        position += kBlockFrames;
        const bool last = position / kAnalysisHop >= analysedFrameCount(length, mFrameSize);
        const double total = double(analysedFrameCount(length, mFrameSize) * kAnalysisHop);
        window.publish(last ? -1.0f : static_cast<float>(100.0 * static_cast<double>(position) / total));
        if (!lanesHere.empty()) feedBlock(window, lanesHere, block);
        if (last) break;
    }
}

void KVAnalysisRunner::createLanes(std::int32_t channels) {
    mLanes.clear();
    for (std::int32_t index = -1; index < channels; ++index) {
        auto processor = std::make_unique<SpectralProcessor>(mFrameSize, mOverlap, mZeroPadding, mSampleRate,
                                                             kWarpLimit, kWarpSteps);
        processor->setAnalysisCallback(&KVAnalysisRunner::frameAnalyzed, this, index);
        mLanes.push_back(std::move(processor));
    }
}

// Whichever lane finishes a block last (the mix) reports the block's progress.
bool KVAnalysisRunner::feedBlock(KVBlockWindow& window, const std::vector<std::size_t>& lanes, std::uint64_t block) {
    for (std::size_t lane : lanes) {
        const float* samples = window.await(lane, block);
        if (!samples) return false;
        mLanes[lane]->feedSamples(kBlockFrames, samples);
        const float progress = window.release(lane, block);
        if (progress >= 0.0f) {
            mProgress = progress;
            postProgress();
        }
    }
    return true;
}

void KVAnalysisRunner::laneLoop(KVBlockWindow& window, std::vector<std::size_t> lanes) {
    Platform::shared().setCurrentThreadPriority(0.0);
    for (std::uint64_t block = 0; feedBlock(window, lanes, block); ++block) {
    }
}

// Called on whichever thread feeds the lane; each chunk file locks itself around the append.
void KVAnalysisRunner::frameAnalyzed(FrameRecord* record, std::int32_t channel, void* userData) {
    auto* runner = static_cast<KVAnalysisRunner*>(userData);
    runner->mStore->appendFrameRecord(*record, channel);
}

void KVAnalysisRunner::finishAnalysis() {
    mProgress = 100.0f;
    if (mStore->writeFailed()) {
        postProgress();
        return;  // the stored analysis stays incomplete, to be analysed again
    }
    const std::string& path = mStore->sourceFilePath();
    KVParamDictionary::change(path, [](PropertyList& dict) { dict.setBool(paramkeys::kAnalysisCompleteForSelection, true); });
    postProgress();
}

void KVAnalysisRunner::postProgress() {
    Platform::shared().postToMainThread(
        [weak = weak_from_this()] {
            auto runner = weak.lock();
            if (runner && runner->mDelegate) runner->mDelegate->analysisRunnerDidProgress(*runner);
        },
        false);
}

void KVAnalysisRunner::postFinish() {
    Platform::shared().postToMainThread(
        [this] {
            if (mDelegate) mDelegate->analysisRunnerDidFinish(*this);
        },
        true);
}

}  // namespace orvex
