#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "common/Types.h"
#include "store/KVGrainCollection.h"

namespace orvex {

// The master output (mixdown) of a working sound file W: a left and a right grain collection
// on W's whole timeline, in D/N.analysis/N-collection.analysis. Wherever no edit has been
// committed the mixdown holds W itself, cut into Hann-windowed grains by the prefill. The
// output controller owns the collections and the lock that orders their block reads and writes.
class KVMixdownStore {
public:
    KVMixdownStore() = delete;

    struct Collections {
        std::unique_ptr<KVGrainCollection> left;
        std::unique_ptr<KVGrainCollection> right;
        // A master that lost grains written to it (a file cut short, emptied or deleted behind
        // the store's back): committed edits are gone, so its collections are not opened (both
        // null): it is neither refilled from the source nor exported until it is made anew.
        // Success otherwise.
        Result damage = Result::success();
    };

    // Threshold below which a left record's maximum counts as "no edit committed here".
    static constexpr float kUneditedMaximum = 0.001f;

    // Builds the folders, reports "Incompatible Master File" (and starts afresh) when the folder's
    // dictionary is of another version, opens both collections writable and writes a silent
    // placeholder at record `records` (so each file is records + 1 records long). Both
    // collections share one write-failure latch; a commit's journal that cannot be written back
    // stays for the next open, and its failure is the collections' writeFailure().
    static Collections openMixdownForFileAtPath(const std::string& path, FrameCount records);
    // Both collections created anew (every committed edit dropped), with the placeholder.
    static Collections recreateMixdownForFileAtPath(const std::string& path, FrameCount records);

private:
    static Result lostGrains(const std::string& path);
    static Collections openCollections(const std::string& path, FrameCount records, bool recreate);
};

}  // namespace orvex
