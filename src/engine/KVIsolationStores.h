#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/Types.h"
#include "dsp/FrameRecord.h"

namespace orvex {

class KVAnalysisFileSet;

// The analysis and the selection file sets of one segment, with the record reads the isolation
// operations share. Not synchronised beyond the file sets' own locking.
class KVIsolationStores {
public:
    KVIsolationStores(KVAnalysisFileSet& analysis, KVAnalysisFileSet& selection);

    KVAnalysisFileSet& analysis() { return mAnalysis; }
    KVAnalysisFileSet& selection() { return mSelection; }
    FrameCount analysisFrames();

    // Channel order of the shaping operations (the mix first) and of the copying ones (mix last).
    std::vector<std::int32_t> shapingChannels() const;
    std::vector<std::int32_t> copyingChannels() const;

    // Reads frame f of a channel; a frame that is absent leaves an empty record and gives false.
    static bool read(KVAnalysisFileSet& store, FramePos f, std::int32_t channel, FrameRecord& into);
    // Reads and decodes the magnitudes; zeros when the record is absent or empty.
    static void readMagnitudes(KVAnalysisFileSet& store, FramePos f, std::int32_t channel, FrameRecord& scratch,
                               std::span<float> into);
    // The selection record at f, or, where the selection holds nothing there yet, the analysis
    // record with every magnitude 0 (so that what is added keeps the analysis's frequencies and
    // phases). False when neither holds a valid record.
    bool additiveTarget(FramePos f, std::int32_t channel, FrameRecord& into);
    // The selection record at f when it holds data.
    bool selectedTarget(FramePos f, std::int32_t channel, FrameRecord& into);

private:
    KVAnalysisFileSet& mAnalysis;
    KVAnalysisFileSet& mSelection;
};

}  // namespace orvex
