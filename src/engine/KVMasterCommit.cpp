#include "engine/KVMasterCommit.h"

#include <algorithm>
#include <memory>

#include "store/KVAnalysisFileSet.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "store/MasterCommitJournal.h"
#include "store/StoreFailures.h"

namespace orvex {

std::pair<FramePos, FramePos> KVMasterCommit::blockRange(FrameCount grains, FramePos position) {
    const FramePos first = position < kEdgeBlocks ? 0 : kEdgeBlocks;
    const FramePos last = grains - kEdgeBlocks;
    if (first < last) return {first, last};
    return grains >= 1 ? std::pair<FramePos, FramePos>{0, grains} : std::pair<FramePos, FramePos>{0, 0};
}

// Every grain goes in or none does: a commit that cannot keep the grains it replaces does not
// start, and one whose writes fail (a full disk) is taken back from that journal.
FrameCount KVMasterCommit::commitEditToMaster(KVAnalysisFileSet& selection, FramePos position,
                                              FrameCount segmentFrames, KVGrainCollection& left, KVGrainCollection& right,
                                              std::recursive_mutex& masterLock, Result* failure) {
    KVGrainCollection* first = selection.grainCollectionForChannel(0);
    if (!first) return 0;
    KVGrainCollection* second = selection.numberOfChannels() > 1 ? selection.grainCollectionForChannel(1) : first;
    if (!second) second = first;
    const FrameCount grains = std::min(first->frameCount(), segmentFrames / KVGrainCollection::kHop);
    const auto [begin, end] = blockRange(grains, position);
    if (begin >= end) return 0;
    std::string reason;
    {
        std::lock_guard<std::recursive_mutex> guard(masterLock);
        left.clearWriteFailure();
        if (!MasterCommitJournal::save(left, right, position + begin, end - begin, &reason)) {
            if (failure) *failure = StoreFailures::writeFailed("Error writing data", reason);
            return 0;
        }
    }
    const FrameCount written = copyGrains(*first, *second, begin, end, position, left, right, masterLock);
    std::lock_guard<std::recursive_mutex> guard(masterLock);
    if (written == end - begin && MasterCommitJournal::close(left, right) && left.writeFailure()) return written;
    const Result met = left.writeFailure();
    MasterCommitJournal::rollBack(left, right);
    if (failure) *failure = met ? StoreFailures::writeFailed("Error writing data", "the selection could not be read") : met;
    return 0;
}

// Selection grains [begin, end) to master records position + begin ...; the number copied before
// a read or write failed.
FrameCount KVMasterCommit::copyGrains(KVGrainCollection& first, KVGrainCollection& second, FramePos begin,
                                      FramePos end, FramePos position, KVGrainCollection& left,
                                      KVGrainCollection& right, std::recursive_mutex& masterLock) {
    auto leftGrain = std::make_unique<KVEncodedGrain>();
    auto rightGrain = std::make_unique<KVEncodedGrain>();
    FrameCount written = 0;
    for (FramePos i = begin; i < end; ++i) {
        if (first.readRecords(leftGrain.get(), i, 1) != 1) break;
        if (&second != &first && second.readRecords(rightGrain.get(), i, 1) != 1) break;
        std::lock_guard<std::recursive_mutex> guard(masterLock);
        if (left.writeRecord(*leftGrain, position + i) != 0) break;
        if (right.writeRecord(&second != &first ? *rightGrain : *leftGrain, position + i) != 0) break;
        ++written;
    }
    return written;
}

}  // namespace orvex
