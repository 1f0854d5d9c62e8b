#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/Types.h"
#include "dsp/FrameRecord.h"
#include "engine/KVSlidingMinimum.h"

namespace orvex {

class KVAnalysisFileSet;

// A window of analysis frames t - before .. t + after - 1 (cut to the analysis) that slides
// forward over one channel, reading and decoding every record once: it keeps the records and
// magnitudes of the frames in the window and their bin-wise minimum.
// Not synchronised: one thread at a time.
class KVIsolationWindow {
public:
    KVIsolationWindow(KVAnalysisFileSet& store, std::int32_t channel, FrameCount before, FrameCount after,
                      FrameCount frameCount);

    // Moves the window to centre frame t; t never decreases between calls.
    void advanceTo(FramePos t);
    // Record and magnitudes of a frame inside the window (t itself always is). The window has
    // taken the record's magnitudes when it read it, so the caller may reshape and write the
    // record of the centre frame in place.
    FrameRecord& record(FramePos t) { return *mRecords[slot(t)]; }
    std::span<const float> magnitudes(FramePos t) const;
    // Bin-wise minimum of the window's magnitudes.
    void floor(std::span<float> out) const { mMinimum.minimum(out); }

private:
    std::size_t slot(FramePos t) const { return static_cast<std::size_t>(t % mCapacity); }
    void pushFrame(FramePos t);

    KVAnalysisFileSet& mStore;
    std::int32_t mChannel;
    FrameCount mBefore, mAfter, mFrames, mCapacity;
    FramePos mNextPush = 0, mOldest = 0;
    std::vector<std::unique_ptr<FrameRecord>> mRecords;
    std::vector<float> mMagnitudes;
    KVSlidingMinimum mMinimum;
};

}  // namespace orvex
