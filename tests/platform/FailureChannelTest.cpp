// Failures reported on any thread reach the newest listener on the main thread, and a worker
// that reports never waits for the main thread.

#include <gtest/gtest.h>

#include <thread>

#include "platform/FailureChannel.h"
#include "support/PlatformFixture.h"

namespace orvex::test {
namespace {

using FailureChannelTest = PlatformFixture;

TEST_F(FailureChannelTest, AWorkerReportsWhileTheMainThreadJoinsItAndTheNewestListenerHears) {
    std::vector<std::string> heard;
    {
        FailureChannel::Listening newer([&](const Result& r) { heard.push_back(r.title()); });
        // The main thread joins before it pumps: a report that waited for it would hang here.
        std::thread worker([] {
            FailureChannel::report(Result::failure("Error writing data", "disk full"));
            FailureChannel::report(Result::success());  // nothing to tell
        });
        worker.join();
        EXPECT_TRUE(heard.empty());  // delivered on the main thread only
        platform().pumpMainThread();
        EXPECT_EQ(heard, std::vector<std::string>{"Error writing data"});
        FailureChannel::report(Result::failure("Error creating file", "x"));
    }
    // Posted while the newer listener lived, delivered after it went: the older one hears it.
    ASSERT_EQ(failures().size(), 1u);
    EXPECT_EQ(failures()[0].text(), "Error creating file: x");
    EXPECT_EQ(heard.size(), 1u);
}

}  // namespace
}  // namespace orvex::test
