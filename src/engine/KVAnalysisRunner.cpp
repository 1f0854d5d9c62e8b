#include "engine/KVAnalysisRunner.h"

#include <algorithm>

#include "engine/KVBlockAnalysis.h"
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

// Analysis threads: one per core, at least two (reading the blocks takes little), at most four.
// Each analyses whole blocks, so all of them are busy up to the segment's last blocks.
constexpr std::size_t kMostWorkers = 4;

std::size_t workerCount() {
    return std::clamp<std::size_t>(std::thread::hardware_concurrency(), 2, kMostWorkers);
}

}  // namespace

void KVAnalysisRunner::analyzeBlocks() {
    const std::int32_t channels = std::max(mEditHistory->numberOfChannels(), 1);
    const std::size_t workers = mParallel ? workerCount() : 0;
    KVBlockQueue queue(workers + 2, std::size_t(channels) + 1, std::size_t(mFrameSize + kBlockFrames));
    std::vector<std::thread> threads;
    for (std::size_t w = 0; w < workers; ++w)
        threads.emplace_back([this, &queue, channels] { workerLoop(queue, channels); });
    if (workers == 0) {
        KVBlockAnalysis here(channels, mFrameSize, mOverlap, mZeroPadding, mSampleRate, kWarpLimit, kWarpSteps,
                             kBlockFrames);
        readBlocks(queue, channels, &here);
    } else {
        readBlocks(queue, channels, nullptr);
    }
    queue.close();
    for (std::thread& thread : threads) thread.join();
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

// The first frame ends one hop into the segment, so it holds N - hop samples from before it.
std::vector<std::vector<float>> KVAnalysisRunner::leadIn(std::int32_t channels) {
    std::vector<std::vector<float>> lead(std::size_t(channels) + 1, std::vector<float>(std::size_t(mFrameSize), 0.0f));
    if (mEditHistory->segmentStart() <= 0) return lead;
    const FrameCount hop = mFrameSize / mOverlap;
    std::vector<float*> buffers;
    for (auto& stream : lead) buffers.push_back(stream.data() + hop);
    readSegment(-(mFrameSize - hop), mFrameSize - hop, channels, buffers.data());
    return lead;
}

// Each block's buffers start with the frame's worth of samples that precede the block.
void KVAnalysisRunner::readBlocks(KVBlockQueue& queue, std::int32_t channels, KVBlockAnalysis* here) {
    std::vector<std::vector<float>> lead = leadIn(channels);
    std::vector<float*> blockStarts(lead.size());
    FramePos position = 0;
    // A store that could not take a frame stops the analysis as a cancel does.
    for (std::uint64_t block = 0; !mCancelRequested && !mStore->writeFailed(); ++block) {
        const std::vector<float*>& buffers = queue.nextBlock();
        for (std::size_t s = 0; s < lead.size(); ++s) {
            std::copy(lead[s].begin(), lead[s].end(), buffers[s]);
            blockStarts[s] = buffers[s] + mFrameSize;
        }
        FrameCount length = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(mEditHistory->monitor());
            length = mEditHistory->numberOfFrames();
        }
        readSegment(position, kBlockFrames, channels, blockStarts.data());
        for (std::size_t s = 0; s < lead.size(); ++s)
            std::copy(buffers[s] + kBlockFrames, buffers[s] + kBlockFrames + mFrameSize, lead[s].begin());
        position += kBlockFrames;
        const bool last = position / kAnalysisHop >= analysedFrameCount(length, mFrameSize);
        const double total = double(analysedFrameCount(length, mFrameSize) * kAnalysisHop);
        queue.publish(last ? -1.0f : static_cast<float>(100.0 * static_cast<double>(position) / total));
        if (here) analyzeAndStore(queue, *here, *queue.take());
        if (last) break;
    }
}

// The last block reports no progress: finishing the analysis does.
void KVAnalysisRunner::analyzeAndStore(KVBlockQueue& queue, KVBlockAnalysis& analysis,
                                       const KVBlockQueue::Taken& taken) {
    analysis.analyze(taken.block, *taken.samples);
    const float progress = queue.storeInTurn(taken.block, [&] { analysis.store(*mStore); });
    if (progress < 0.0f) return;
    mProgress = progress;
    postProgress();
}

void KVAnalysisRunner::workerLoop(KVBlockQueue& queue, std::int32_t channels) {
    Platform::shared().setCurrentThreadPriority(0.0);
    KVBlockAnalysis analysis(channels, mFrameSize, mOverlap, mZeroPadding, mSampleRate, kWarpLimit, kWarpSteps,
                             kBlockFrames);
    while (const std::optional<KVBlockQueue::Taken> taken = queue.take())
        analyzeAndStore(queue, analysis, *taken);
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
