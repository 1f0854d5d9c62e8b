#pragma once

#include <mutex>
#include <utility>

#include "common/Result.h"
#include "common/Types.h"

namespace orvex {

class KVAnalysisFileSet;
class KVGrainCollection;

// Writes the rendered selection of a segment into the master output's two grain collections at
// the segment's position. The 32 grains at each end of the segment only partly cover it (one
// analysis frame is 32 grains long), so they are left out, except at the very start of the
// file, where nothing precedes the segment. A mono selection fills both master channels.
// Threads: runs on the calling thread; every master write happens under masterLock.
class KVMasterCommit {
public:
    KVMasterCommit() = delete;

    static constexpr FramePos kEdgeBlocks = 32;

    // The half-open range of selection grains written, for N grains at overview position P.
    static std::pair<FramePos, FramePos> blockRange(FrameCount grains, FramePos position);

    // Copies the selection's grains i of the range to master records position + i; returns the
    // number of grains written (0 when the selection holds none). All or nothing: when the
    // grains it replaces cannot be saved first, or a grain cannot be written, the master is left
    // as it was, 0 is returned and failure (when given) receives why. Only the grains that end
    // inside the segment (segmentFrames / 128 of them) count: the analysis runs on in whole
    // blocks past the segment's end, and those grains must not replace the master after it.
    static FrameCount commitEditToMaster(KVAnalysisFileSet& selection, FramePos position, FrameCount segmentFrames,
                                         KVGrainCollection& left, KVGrainCollection& right,
                                         std::recursive_mutex& masterLock, Result* failure = nullptr);

private:
    static FrameCount copyGrains(KVGrainCollection& first, KVGrainCollection& second, FramePos begin, FramePos end,
                                 FramePos position, KVGrainCollection& left, KVGrainCollection& right,
                                 std::recursive_mutex& masterLock);
};

}  // namespace orvex
