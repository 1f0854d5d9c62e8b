#pragma once

#include <cstdint>
#include <vector>

#include "common/Types.h"
#include "dsp/FrameRecord.h"
#include "dsp/StreamSetAnalyzer.h"

namespace orvex {

class KVAnalysisFileSet;

// One worker's analysis of whole blocks of a segment: every frame that ends inside a block,
// of every stream (the channels' mix and the channels, analysed together), into records that
// are kept until the block is stored. Frames end every hop samples from the segment's start,
// as a stream analysed sample by sample has them.
// Not synchronised: used by one thread at a time.
class KVBlockAnalysis {
public:
    KVBlockAnalysis(int channels, std::int64_t frameSize, std::int64_t overlap, std::int64_t zeroPadding,
                    double sampleRate, float warpLimit, std::int64_t warpSteps, FrameCount blockFrames);
    KVBlockAnalysis(const KVBlockAnalysis&) = delete;
    KVBlockAnalysis& operator=(const KVBlockAnalysis&) = delete;

    // Samples one stream's buffer holds: a frame's worth before the block, then the block.
    FrameCount bufferFrames() const { return mFrameSize + mBlockFrames; }
    // samples[s] is stream s's buffer ([0] the mix, then the channels) for block `block`.
    void analyze(std::uint64_t block, const std::vector<float*>& samples);
    // Appends the frames analysed last to store in frame order, each frame's channels before
    // its mix (whatever the mix has stored, the channels have stored too).
    void store(KVAnalysisFileSet& store) const;

private:
    StreamSetAnalyzer mAnalyzer;
    std::int64_t mFrameSize;
    std::int64_t mHop;
    FrameCount mBlockFrames;
    std::vector<FrameRecord> mRecords;  // [frame][stream]
    std::size_t mFrames = 0;
    std::vector<const float*> mFramePointers;
    std::vector<FrameRecord*> mRecordPointers;
};

}  // namespace orvex
