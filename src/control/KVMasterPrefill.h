#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "common/Types.h"
#include "store/KVGrainCollection.h"

namespace orvex {

// Fills the untouched records of the mixdown with the working file, cut into grains shaped by
// the squared periodic Hann window over 12, so that 32 grains 128 apart sum to one. That is the
// shape of every resynthesised grain (the analysis window times the synthesis window), so where
// a committed edit meets the prefilled source each grain of the one takes over from the same
// grain of the other, and the two add up without a seam. The mixdown's streaming read applies
// the emphasis y = 1.25 x - 0.25 x[-1] to every grain; to make that read give back the working
// file exactly, the prefill stores grains of the file passed through the inverse filter
// u = 0.8 x + 0.2 u[-1] (pole at 0.2, run over the whole file). After the last block of the
// file it goes on for 31 blocks of silence, so the grains that overlap the file's last 3968
// frames exist too. Records holding a committed edit are left alone.
class KVMasterPrefill {
public:
    // Blocks of silence after the file's end (records past the last block).
    static constexpr FrameCount kTailBlocks = KVGrainCollection::kGrainSize / kAnalysisHop - 1;

    // Runs on the calling (prefill) thread; each block read and record update holds lock.
    // Returns the records visited (file blocks plus tail), or -1 when the file cannot be
    // opened. Stops early when cancel becomes true.
    static FrameCount run(const std::string& workingFilePath, KVGrainCollection& left, KVGrainCollection& right,
                          std::recursive_mutex& lock, const std::atomic<bool>& cancel);

    // Record k of both collections from the two grains, unless the left record holds an edit
    // (it lacks the prefill marker and its maximum is not below KVMixdownStore::kUneditedMaximum).
    // Records the prefill wrote before are written again only where they differ from the
    // grains (cut short by a kill, or the right one never written). The stored scale is raised by
    // 32767/32766, because the grain coding encodes with 32766 steps and decodes with 32767, and
    // the read must give back the working file at its own level. False when an edit is kept; the
    // caller holds the lock that orders the mixdown.
    static bool storeRecord(KVGrainCollection& left, KVGrainCollection& right, const float* leftGrain,
                            const float* rightGrain, FramePos k);

    // The last 4096 samples of one channel after the inverse filter; each block of 128 enters
    // at the end.
    class ChannelWindow {
    public:
        // Filters n <= 128 new samples into the newest block (the rest of it stays silent).
        void push(const float* samples, FrameCount n);
        // The windowed grain of the current contents; then the window moves on by one block.
        void takeGrain(float* grain);

    private:
        std::array<float, KVGrainCollection::kGrainSize> mSamples{};
        double mState = 0.0;
    };
};

}  // namespace orvex
