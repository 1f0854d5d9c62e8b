#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace orvex {

// A bounded window of sample blocks between the thread that reads a segment and the lanes that
// analyse it. The reader fills block n once every lane is done with block n - slots; each lane
// takes the blocks in order, so a lane runs up to `slots` blocks ahead of the others instead of
// meeting them after every block. Lane 0 (the mix) takes a block only after every other lane is
// done with it: whatever the mix has stored, the channels have stored too.
// Threads: one reader; each lane is fed by one thread at a time, in block order.
class KVBlockWindow {
public:
    KVBlockWindow(std::size_t slots, std::size_t lanes, std::size_t blockFrames);
    KVBlockWindow(const KVBlockWindow&) = delete;
    KVBlockWindow& operator=(const KVBlockWindow&) = delete;

    // Reader: the buffers of the next block, one per lane, once its slot is free.
    const std::vector<float*>& nextBlock();
    // Reader: hands the block filled last to the lanes; progress travels with it to release().
    void publish(float progress);
    // Reader: no more blocks; each lane ends after the published ones.
    void close();

    // Lane: the samples of `block` for `lane` once the block is published (and, for lane 0, once
    // every other lane is done with it); null when the window closed before publishing it.
    const float* await(std::size_t lane, std::uint64_t block);
    // Lane: done with `block`. The block's progress when this lane was the last to finish it,
    // otherwise a negative number.
    float release(std::size_t lane, std::uint64_t block);

private:
    bool slotIsFree() const;
    bool othersAreDone(std::size_t lane, std::uint64_t block) const;

    const std::size_t mSlots;
    std::vector<std::vector<std::vector<float>>> mSamples;  // [slot][lane][frame]
    std::vector<std::vector<float*>> mPointers;             // [slot][lane]
    std::vector<float> mProgress;                           // [slot]
    std::vector<std::uint64_t> mDone;                       // blocks each lane has released
    std::uint64_t mPublished = 0;
    bool mClosed = false;
    std::mutex mMutex;
    std::condition_variable mChanged;
};

}  // namespace orvex
