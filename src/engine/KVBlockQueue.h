#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace orvex {

// A bounded queue of sample blocks between the thread that reads a segment and the workers that
// analyse it. Each block goes to one worker, whichever asks next; the workers store their
// results in block order (storeInTurn), so the stored frames follow each other as the blocks
// do, whichever worker finishes first. The reader fills a slot again once the block it held
// has been stored.
// Threads: one reader; any number of workers.
class KVBlockQueue {
public:
    // slots blocks in flight, each with `streams` buffers of `frames` samples.
    KVBlockQueue(std::size_t slots, std::size_t streams, std::size_t frames);
    KVBlockQueue(const KVBlockQueue&) = delete;
    KVBlockQueue& operator=(const KVBlockQueue&) = delete;

    // Reader: the buffers of the next block, once its slot is free.
    const std::vector<float*>& nextBlock();
    // Reader: hands the block filled last to the workers; progress travels with it to
    // storeInTurn().
    void publish(float progress);
    // Reader: no more blocks; the workers take the published ones, then end.
    void close();

    struct Taken {
        std::uint64_t block = 0;
        const std::vector<float*>* samples = nullptr;
    };
    // Worker: the oldest published block no worker has taken, once there is one; nothing once
    // the queue is closed and every published block is taken.
    std::optional<Taken> take();
    // Worker: runs store() once every earlier block has been stored, then frees the block's
    // slot. Returns the progress published with the block.
    float storeInTurn(std::uint64_t block, const std::function<void()>& store);

private:
    const std::size_t mSlots;
    std::vector<std::vector<std::vector<float>>> mSamples;  // [slot][stream][frame]
    std::vector<std::vector<float*>> mPointers;             // [slot][stream]
    std::vector<float> mProgress;                           // [slot]
    std::uint64_t mPublished = 0;
    std::uint64_t mTaken = 0;
    std::uint64_t mStored = 0;
    bool mClosed = false;
    std::mutex mMutex;
    std::condition_variable mChanged;
};

}  // namespace orvex
