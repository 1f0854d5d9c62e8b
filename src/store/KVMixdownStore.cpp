#include "store/KVMixdownStore.h"

#include <algorithm>
#include <vector>

#include "store/KVAnalysisPaths.h"
#include "store/MasterCommitJournal.h"
#include "store/StoreFailures.h"
#include "utilities/KVUtilities.h"

namespace orvex {

KVMixdownStore::Collections KVMixdownStore::openCollections(const std::string& path, FrameCount records,
                                                             bool recreate) {
    Collections mixdown;
    // A damaged master is not opened: opening would make a missing file anew and so hide the loss.
    if (!recreate) mixdown.damage = lostGrains(path);
    if (!mixdown.damage) return mixdown;
    // One latch for both sides: a full disk raises one alert for the master, not one per side.
    auto failures = std::make_shared<WriteFailureLatch>();
    mixdown.left =
        KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownLeftPath(path), false, recreate, failures);
    mixdown.right =
        KVGrainCollection::initByOpeningFileAtPath(KVAnalysisPaths::mixdownRightPath(path), false, recreate, failures);
    mixdown.left->setMostlyHoles(true);
    mixdown.right->setMostlyHoles(true);
    // A commit killed midway is taken back before anything reads the master.
    if (!recreate && mixdown.left && mixdown.right) MasterCommitJournal::rollBack(*mixdown.left, *mixdown.right);
    // Only a file that does not reach it yet gets the placeholder: once the prefill has filled
    // record `records` (the file's last partial hop) it is left as it is.
    KVEncodedGrain silence{};
    for (KVGrainCollection* side : {mixdown.left.get(), mixdown.right.get()})
        if (side->frameCount() <= records) side->writeRecord(silence, records);
    return mixdown;
}

Result KVMixdownStore::lostGrains(const std::string& path) {
    for (const std::string& side : {KVAnalysisPaths::mixdownLeftPath(path), KVAnalysisPaths::mixdownRightPath(path)}) {
        const std::string lost =
            StoreFailures::lostRecords(KVAnalysisPaths::dataFilePath(side, ".asp.noindex"), sizeof(KVEncodedGrain));
        if (lost.empty()) continue;
        return StoreFailures::damagedData("the master's " + lost +
                                          "; its committed edits cannot be restored. Reset the master to start it "
                                          "again from the source");
    }
    return Result::success();
}

KVMixdownStore::Collections KVMixdownStore::openMixdownForFileAtPath(const std::string& path, FrameCount records) {
    KVAnalysisPaths::mixdownFolderPath(path);
    const bool compatible = KVUtilities::chunkFileForFileAtPathIsCompatible(path);
    if (!compatible) {
        StoreFailures::incompatibleMaster();
    }
    return openCollections(path, records, !compatible);
}

KVMixdownStore::Collections KVMixdownStore::recreateMixdownForFileAtPath(const std::string& path, FrameCount records) {
    return openCollections(path, records, true);
}

}  // namespace orvex
