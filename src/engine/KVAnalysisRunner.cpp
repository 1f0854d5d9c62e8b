#include "engine/KVAnalysisRunner.h"

#include <algorithm>

#include "engine/KVBlockWindow.h"
#include "history/KVEditHistory.h"
#include "platform/Platform.h"
#include "store/KVAnalysisFileSet.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

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
    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    dict.setBool(paramkeys::kAnalysisDataSelected, false);
    dict.setBool(paramkeys::kAnalysisCompleteForSelection, false);
    KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(path, &dict);
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
    mStore->flushAppends();
}

void KVAnalysisRunner::readBlocks(KVBlockWindow& window, std::int32_t channels,
                                  const std::vector<std::size_t>& lanesHere) {
    const float share = 1.0f / static_cast<float>(channels);
    FramePos position = 0;
    for (std::uint64_t block = 0; !mCancelRequested; ++block) {
        const std::vector<float*>& buffers = window.nextBlock();
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            mEditHistory->readAt(position, kBlockFrames, buffers.data() + 1);
        }
        float* mix = buffers[0];
        for (FrameCount i = 0; i < kBlockFrames; ++i) {
            float sum = 0.0f;
            for (std::int32_t c = 0; c < channels; ++c) sum += buffers[std::size_t(c) + 1][i] * share;
            mix[i] = sum;
        }
        position += kBlockFrames;
        FrameCount length = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            length = mEditHistory->numberOfFrames();
        }
        const bool last = position > length;
        window.publish(last ? -1.0f
                            : static_cast<float>(100.0 * static_cast<double>(position) / static_cast<double>(length)));
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
    const std::string& path = mStore->sourceFilePath();
    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(path);
    dict.setBool(paramkeys::kAnalysisCompleteForSelection, true);
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(path, dict);
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
