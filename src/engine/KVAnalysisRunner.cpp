#include "engine/KVAnalysisRunner.h"

#include <algorithm>

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

void KVAnalysisRunner::analyzeBlocks() {
    const std::int32_t channels = std::max(mEditHistory->numberOfChannels(), 1);
    std::vector<std::vector<float>> buffers(static_cast<std::size_t>(channels), std::vector<float>(kBlockFrames));
    std::vector<float*> pointers;
    for (auto& buffer : buffers) pointers.push_back(buffer.data());
    std::vector<float> mix(kBlockFrames, 0.0f);

    createLanes(channels);
    mLanes[0].samples = mix.data();
    for (std::int32_t c = 0; c < channels; ++c) mLanes[std::size_t(c) + 1].samples = pointers[std::size_t(c)];
    if (mParallel) startHelpers(std::min<std::size_t>(std::size_t(channels), 2));

    const float share = 1.0f / static_cast<float>(channels);
    FramePos position = 0;
    while (!mCancelRequested) {
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            mEditHistory->readAt(position, kBlockFrames, pointers.data());
        }
        for (FrameCount i = 0; i < kBlockFrames; ++i) {
            float sum = 0.0f;
            for (std::int32_t c = 0; c < channels; ++c) sum += buffers[std::size_t(c)][std::size_t(i)] * share;
            mix[std::size_t(i)] = sum;
        }
        feedLanes();
        position += kBlockFrames;
        FrameCount length = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            length = mEditHistory->numberOfFrames();
        }
        if (position > length) break;
        mProgress = static_cast<float>(100.0 * static_cast<double>(position) / static_cast<double>(length));
        postProgress();
    }
    stopHelpers();
    mLanes.clear();
    mStore->flushAppends();
}

void KVAnalysisRunner::createLanes(std::int32_t channels) {
    mLanes.clear();
    for (std::int32_t index = -1; index < channels; ++index) {
        Lane lane;
        lane.processor = std::make_unique<SpectralProcessor>(mFrameSize, mOverlap, mZeroPadding, mSampleRate,
                                                             kWarpLimit, kWarpSteps);
        lane.processor->setAnalysisCallback(&KVAnalysisRunner::frameAnalyzed, this, index);
        mLanes.push_back(std::move(lane));
    }
}

void KVAnalysisRunner::feedLanes() {
    if (mHelpers.empty()) {
        for (Lane& lane : mLanes) lane.processor->feedSamples(kBlockFrames, lane.samples);
        return;
    }
    {
        std::lock_guard<std::mutex> guard(mPoolMutex);
        mNextLane = 0;
        mPending = mLanes.size();
        ++mGeneration;
    }
    mPoolWake.notify_all();
    feedNextLanes();
    std::unique_lock<std::mutex> lock(mPoolMutex);
    mPoolDone.wait(lock, [this] { return mPending == 0; });
}

// Takes lanes of the current block until none is left. A lane is claimed under the pool's
// mutex, which also orders the block's samples and each processor's state between threads.
void KVAnalysisRunner::feedNextLanes() {
    bool finishedOne = false;
    for (;;) {
        std::size_t index = 0;
        {
            std::lock_guard<std::mutex> guard(mPoolMutex);
            if (finishedOne && --mPending == 0) mPoolDone.notify_all();
            if (mNextLane >= mLanes.size()) return;
            index = mNextLane++;
        }
        Lane& lane = mLanes[index];
        lane.processor->feedSamples(kBlockFrames, lane.samples);
        finishedOne = true;
    }
}

void KVAnalysisRunner::startHelpers(std::size_t count) {
    mStopHelpers = false;
    for (std::size_t i = 0; i < count; ++i) mHelpers.emplace_back([this] { helperLoop(); });
}

void KVAnalysisRunner::stopHelpers() {
    {
        std::lock_guard<std::mutex> guard(mPoolMutex);
        mStopHelpers = true;
    }
    mPoolWake.notify_all();
    for (std::thread& helper : mHelpers) helper.join();
    mHelpers.clear();
}

void KVAnalysisRunner::helperLoop() {
    Platform::shared().setCurrentThreadPriority(0.0);
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mPoolMutex);
            mPoolWake.wait(lock, [&] { return mStopHelpers || mGeneration != seen; });
            if (mStopHelpers) return;
            seen = mGeneration;
        }
        feedNextLanes();
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
