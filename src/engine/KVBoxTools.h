#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "common/Types.h"
#include "dsp/FrameRecord.h"
#include "engine/KVBoxGeometry.h"
#include "engine/KVIsolationStores.h"

namespace orvex {

// The rectangle tools: each shapes the selection records of the box's frames, for each of the
// given channels in turn (-1 the mix), from the selection and the analysis. Mode 0 adds, 1
// subtracts. A channel's frames depend on nothing of another channel, so tools for different
// channels may run on different threads at once.
// Not synchronised: one thread at a time.
class KVBoxTools {
public:
    KVBoxTools(KVIsolationStores& stores, const KVBoxGeometry& box, std::vector<std::int32_t> channels);

    // Tool 3: adds the box's content (from the selection itself with shift) under a bell, or
    // fades it out.
    void box(int mode, bool shift);
    // Tool 4: subtracts the box's average selected spectrum.
    void denoise();
    // Tool 5: the noise floor (add) or what rises above it (subtract).
    void background(int mode);
    // Tool 6: the non-tonal part of the analysis.
    void gapFiller();
    // Tool 7: repairs each frame from the frames around the box.
    void magic(bool shift);
    // Tool 8: empties the box's frames (add) or restores them from the analysis (subtract).
    void deselect(int mode);

private:
    using FrameStep = std::function<void(std::int32_t channel, FramePos t)>;
    // For each channel: prelude(channel), then step for every frame of the box.
    void forEachFrame(const std::function<void(std::int32_t)>& prelude, const FrameStep& step);
    void write(FramePos t, std::int32_t channel);
    void encodeAndWrite(FramePos t, std::int32_t channel);
    void magicFromNeighbours(std::int32_t channel, FramePos t);
    void magicFromFloor(std::int32_t channel, FramePos t);
    void protectFundamental(const FrameRecord& record);

    KVIsolationStores& mStores;
    KVBoxGeometry mBox;
    std::vector<std::int32_t> mChannels;
    std::unique_ptr<FrameRecord> mTarget, mScratch;
    std::vector<float> mValues, mOther, mFrequencies, mPhases, mFloor, mBefore, mAfter, mWork;
    std::vector<std::uint8_t> mMask;
};

}  // namespace orvex
