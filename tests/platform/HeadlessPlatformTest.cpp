#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "support/PlatformFixture.h"

namespace orvex {
namespace {

using test::PlatformFixture;
using namespace std::chrono_literals;

class HeadlessPlatformTest : public PlatformFixture {};

// Recorded alerts and queued answers are relied on (and so checked) by the document and store
// tests, the defaults file by the preferences tests; what reaches a terminal is checked here.
TEST_F(HeadlessPlatformTest, AlertEchoGoesToStandardErrorAsTitleColonMessage) {
    platform().setEchoAlerts(true);
    testing::internal::CaptureStderr();
    Platform::shared().runAlert("Unreadable file \"x.wav\"", "Access denied", {"Bummer"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unreadable file \"x.wav\": Access denied\n");
}

// Posts from a worker wait for the main thread's pump, in posting order; a waiting post from the
// main thread itself runs at once.
TEST_F(HeadlessPlatformTest, PostedCallsRunOnTheMainThreadInPostingOrder) {
    bool ran = false;
    Platform::shared().postToMainThread([&] { ran = true; }, true);
    EXPECT_TRUE(ran);
    EXPECT_EQ(platform().pumpMainThread(), 0);
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 5; ++i) Platform::shared().postToMainThread([&order, i] { order.push_back(i); }, false);
    });
    worker.join();
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(platform().pumpMainThread(), 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(HeadlessPlatformTest, WaitingPostFromWorkerResumesAfterTheMainThreadRanIt) {
    // The worker holds no lock the main thread needs, while the main thread takes a monitor the
    // worker released before posting: the pattern of a worker's final post.
    std::recursive_mutex monitor;
    std::atomic<bool> ran{false}, resumed{false};
    std::thread worker([&] {
        { std::lock_guard<std::recursive_mutex> g(monitor); }
        Platform::shared().postToMainThread(
            [&] {
                std::lock_guard<std::recursive_mutex> g(monitor);
                ran = true;
            },
            true);
        resumed = ran.load();
    });
    EXPECT_TRUE(platform().pumpMainThreadUntil([&] { return ran.load(); }, 5000ms));
    worker.join();
    EXPECT_TRUE(resumed);
}

TEST_F(HeadlessPlatformTest, FreeBytesIsPositiveForAFolderAndMinusOneForAMissingPath) {
    EXPECT_GT(Platform::shared().freeBytesOfVolume(temp().path().string()), 0);
    EXPECT_EQ(Platform::shared().freeBytesOfVolume(temp().file("no/such/folder")), -1);
}

}  // namespace
}  // namespace orvex
