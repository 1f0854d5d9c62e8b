#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/KVBlockWindow.h"

namespace orvex {
namespace {

// A reader and one thread per lane over many blocks, each lane's samples stamped with its lane
// and block: every lane sees its own block's samples in order, the reader never overwrites a
// block a lane still holds, the mix (lane 0) never takes a block before the other lanes are done
// with it, each block's progress comes back once and in order, and every lane ends after the
// last published block.
TEST(BlockWindow, LanesRunAheadWithinTheWindowTheMixFollowsTheChannelsAndCloseEndsThem) {
    struct Case {
        std::size_t slots, lanes;
    };
    for (const Case c : {Case{1, 2}, Case{2, 3}, Case{4, 3}, Case{3, 5}}) {
        constexpr std::uint64_t kBlocks = 60;
        constexpr std::size_t kFrames = 16;
        KVBlockWindow window(c.slots, c.lanes, kFrames);
        std::vector<std::atomic<std::uint64_t>> done(c.lanes);
        std::atomic<int> faults{0};
        std::mutex progressMutex;
        std::vector<float> progress;
        std::vector<std::uint64_t> ends(c.lanes, 0);

        std::vector<std::thread> lanes;
        for (std::size_t lane = 0; lane < c.lanes; ++lane) {
            lanes.emplace_back([&, lane] {
                std::uint64_t block = 0;
                for (;; ++block) {
                    const float* samples = window.await(lane, block);
                    if (!samples) break;
                    for (std::size_t other = 1; lane == 0 && other < c.lanes; ++other)
                        if (done[other] <= block) ++faults;
                    for (std::size_t i = 0; i < kFrames; ++i)
                        if (samples[i] != float(lane * 1000 + block)) ++faults;
                    done[lane] = block + 1;
                    const float reported = window.release(lane, block);
                    if (reported >= 0.0f) {
                        std::lock_guard<std::mutex> guard(progressMutex);
                        progress.push_back(reported);
                    }
                }
                ends[lane] = block;
            });
        }
        for (std::uint64_t block = 0; block < kBlocks; ++block) {
            const std::vector<float*>& buffers = window.nextBlock();
            for (std::size_t lane = 0; lane < c.lanes; ++lane) {
                if (done[lane] + c.slots <= block) ++faults;
                std::fill(buffers[lane], buffers[lane] + kFrames, float(lane * 1000 + block));
            }
            window.publish(float(block));
        }
        window.close();
        for (std::thread& lane : lanes) lane.join();

        SCOPED_TRACE(testing::Message() << c.slots << " slots, " << c.lanes << " lanes");
        EXPECT_EQ(faults.load(), 0);
        ASSERT_EQ(progress.size(), kBlocks);
        for (std::uint64_t block = 0; block < kBlocks; ++block) EXPECT_EQ(progress[block], float(block));
        EXPECT_EQ(ends, std::vector<std::uint64_t>(c.lanes, kBlocks));
    }

    // A closed window ends lanes that wait for a block never published.
    KVBlockWindow window(2, 2, 4);
    std::thread lane([&] { EXPECT_EQ(window.await(1, 0), nullptr); });
    window.close();
    lane.join();
}

}  // namespace
}  // namespace orvex
