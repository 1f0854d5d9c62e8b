#include "control/KVMixdownStream.h"

#include <mutex>

#include "store/KVAnalysisPaths.h"

namespace orvex {

void KVMixdownStream::seekToFrame(KVGrainCollection& collection, FramePos frame) {
    frame = std::max<FramePos>(frame, 0);
    std::lock_guard<std::recursive_mutex> guard(collection.monitor());
    collection.seekGrainRecord(frame / kAnalysisHop);
    collection.readAudio(kLeadIn + frame % kAnalysisHop, nullptr);
}

std::unique_ptr<KVMixdownStream> KVMixdownStream::open(const std::string& workingFilePath) {
    auto left = KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownLeftPath(workingFilePath), true,
                                                           false);
    auto right = KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownRightPath(workingFilePath), true,
                                                            false);
    if (!left || !right) return nullptr;
    return std::unique_ptr<KVMixdownStream>(new KVMixdownStream(std::move(left), std::move(right)));
}

KVMixdownStream::KVMixdownStream(std::unique_ptr<KVGrainCollection> left, std::unique_ptr<KVGrainCollection> right)
    : mLeft(std::move(left)), mRight(std::move(right)) {}

void KVMixdownStream::seekToFrame(FramePos frame) {
    seekToFrame(*mLeft, frame);
    seekToFrame(*mRight, frame);
}

bool KVMixdownStream::read(FrameCount n, float* left, float* right) {
    float* leftChannels[1] = {left};
    float* rightChannels[1] = {right};
    const Status leftStatus = mLeft->readAudio(n, leftChannels);
    const Status rightStatus = mRight->readAudio(n, right ? rightChannels : nullptr);
    return leftStatus == 0 && rightStatus == 0;
}

Result KVMixdownStream::damage() const {
    const Result left = mLeft->damage();
    return left ? mRight->damage() : left;
}

}  // namespace orvex
