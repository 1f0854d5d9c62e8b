#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/KVBlockQueue.h"

namespace orvex {
namespace {

// A reader and several workers over many blocks, each block's samples stamped with its stream
// and block: every block is taken by exactly one worker, its samples are still its own when
// it is stored (the reader never refills a slot before its block is stored), the stores run
// one at a time in block order whichever worker finishes first, each block's progress comes
// back once, and closing ends every worker after the last published block.
TEST(BlockQueue, EachBlockGoesToOneWorkerAndTheStoresRunInBlockOrder) {
    struct Case {
        std::size_t slots, streams, workers;
    };
    for (const Case c : {Case{1, 2, 1}, Case{2, 3, 2}, Case{4, 3, 2}, Case{3, 5, 4}}) {
        constexpr std::uint64_t kBlocks = 80;
        constexpr std::size_t kFrames = 16;
        KVBlockQueue queue(c.slots, c.streams, kFrames);
        std::atomic<int> faults{0};
        std::atomic<int> storing{0};
        std::vector<std::uint64_t> stored;  // written inside the stores only, which run one at a time
        std::vector<std::atomic<int>> takenBy(kBlocks);
        const auto stampedFor = [&](const std::vector<float*>& samples, std::uint64_t block) {
            for (std::size_t s = 0; s < c.streams; ++s)
                for (std::size_t i = 0; i < kFrames; ++i)
                    if (samples[s][i] != float(s * 1000 + block)) return false;
            return true;
        };

        std::vector<std::thread> workers;
        for (std::size_t w = 0; w < c.workers; ++w) {
            workers.emplace_back([&] {
                while (const auto taken = queue.take()) {
                    ++takenBy[taken->block];
                    if (!stampedFor(*taken->samples, taken->block)) ++faults;
                    // Odd blocks hurry to their turn, so that they often wait for the block before.
                    if (taken->block % 2 == 0) std::this_thread::yield();
                    const float reported = queue.storeInTurn(taken->block, [&] {
                        if (storing++ != 0) ++faults;
                        if (!stampedFor(*taken->samples, taken->block)) ++faults;
                        stored.push_back(taken->block);
                        --storing;
                    });
                    if (reported != float(taken->block)) ++faults;
                }
            });
        }
        for (std::uint64_t block = 0; block < kBlocks; ++block) {
            const std::vector<float*>& buffers = queue.nextBlock();
            for (std::size_t s = 0; s < c.streams; ++s)
                std::fill(buffers[s], buffers[s] + kFrames, float(s * 1000 + block));
            queue.publish(float(block));
        }
        queue.close();
        for (std::thread& worker : workers) worker.join();

        SCOPED_TRACE(testing::Message() << c.slots << " slots, " << c.streams << " streams, " << c.workers
                                        << " workers");
        EXPECT_EQ(faults.load(), 0);
        ASSERT_EQ(stored.size(), kBlocks);
        for (std::uint64_t block = 0; block < kBlocks; ++block) {
            EXPECT_EQ(stored[block], block);
            EXPECT_EQ(takenBy[block].load(), 1);
        }
    }

    // A closed queue ends workers that wait for a block never published.
    KVBlockQueue queue(2, 2, 4);
    std::thread worker([&] { EXPECT_FALSE(queue.take().has_value()); });
    queue.close();
    worker.join();
}

}  // namespace
}  // namespace orvex
