#include "engine/KVMasterCommit.h"

#include <algorithm>
#include <memory>

#include "store/KVAnalysisFileSet.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "store/MasterCommitJournal.h"

namespace orvex {

std::pair<FramePos, FramePos> KVMasterCommit::blockRange(FrameCount grains, FramePos position) {
    const FramePos first = position < kEdgeBlocks ? 0 : kEdgeBlocks;
    const FramePos last = grains - kEdgeBlocks;
    if (first < last) return {first, last};
    return grains >= 1 ? std::pair<FramePos, FramePos>{0, grains} : std::pair<FramePos, FramePos>{0, 0};
}

FrameCount KVMasterCommit::commitEditToMaster(KVAnalysisFileSet& selection, FramePos position,
                                              FrameCount segmentFrames, KVGrainCollection& left, KVGrainCollection& right,
                                              std::recursive_mutex& masterLock) {
    KVGrainCollection* first = selection.grainCollectionForChannel(0);
    if (!first) return 0;
    KVGrainCollection* second = selection.numberOfChannels() > 1 ? selection.grainCollectionForChannel(1) : first;
    if (!second) second = first;
    const FrameCount grains = std::min(first->frameCount(), segmentFrames / KVGrainCollection::kHop);
    const auto [begin, end] = blockRange(grains, position);
    auto leftGrain = std::make_unique<KVEncodedGrain>();
    auto rightGrain = std::make_unique<KVEncodedGrain>();
    FrameCount written = 0;
    if (begin >= end) return 0;
    {
        // Without a journal (a full disk) the commit still runs, as it did before journals.
        std::lock_guard<std::recursive_mutex> guard(masterLock);
        MasterCommitJournal::save(left, right, position + begin, end - begin);
    }
    for (FramePos i = begin; i < end; ++i) {
        if (first->readRecords(leftGrain.get(), i, 1) != 1) break;
        if (second != first && second->readRecords(rightGrain.get(), i, 1) != 1) break;
        std::lock_guard<std::recursive_mutex> guard(masterLock);
        if (left.writeRecord(*leftGrain, position + i) != 0) break;
        if (right.writeRecord(second != first ? *rightGrain : *leftGrain, position + i) != 0) break;
        ++written;
    }
    std::lock_guard<std::recursive_mutex> guard(masterLock);
    MasterCommitJournal::close(left, right);
    return written;
}

}  // namespace orvex
