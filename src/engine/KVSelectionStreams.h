#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/Result.h"
#include "common/Types.h"

namespace orvex {

class KVAnalysisFileSet;
class KVGrainCollection;

// Independent read-only streams over the rendered channels of a selection store (at most two),
// read in step from the segment's first frame on: grain k covers segment frames
// [128 k - 3968, 128 k + 128), so each stream reaches segment frame 0 only after one whole grain
// (kLeadIn samples), which skipLeadIn reads past.
// Threads: one thread at a time; the caller orders reads with the store's writers.
class KVSelectionStreams {
public:
    static constexpr FrameCount kLeadIn = 4096;

    KVSelectionStreams();
    ~KVSelectionStreams();
    KVSelectionStreams(const KVSelectionStreams&) = delete;
    KVSelectionStreams& operator=(const KVSelectionStreams&) = delete;

    // False when a channel's rendered audio cannot be opened (or the store has none).
    bool open(KVAnalysisFileSet& selection);
    std::int32_t channels() const { return static_cast<std::int32_t>(mStreams.size()); }
    // The first grain read that did not match its checksum, or success.
    Result damage() const;
    // Back to the first grain, then past the lead-in: the next read starts at segment frame 0.
    void skipLeadIn();
    // The next n frames of every channel into into[0 … channels() - 1].
    void read(FrameCount n, float* const* into);

private:
    std::vector<std::unique_ptr<KVGrainCollection>> mStreams;
};

}  // namespace orvex
