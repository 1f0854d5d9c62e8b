#pragma once

#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

#include "platform/FailureChannel.h"
#include "platform/HeadlessPlatform.h"
#include "support/TempDir.h"

namespace orvex::test {

// The workers of analyses, exports and previews keep normal priority in tests: at the product's
// lowest priority the machine's other load, not the test, decides how long they take.
class SteadyHeadlessPlatform : public HeadlessPlatform {
public:
    using HeadlessPlatform::HeadlessPlatform;
    void setCurrentThreadPriority(double) override {}
};

// Installs a fresh silent HeadlessPlatform (this thread as the main thread) and a temporary
// folder for each test; alerts, and failures reported through the FailureChannel that no
// document shows, are recorded for assertions instead of being printed.
class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override {
        mPlatform = std::make_shared<SteadyHeadlessPlatform>();
        mPlatform->setEchoAlerts(false);
        Platform::install(mPlatform);
        mListening = std::make_unique<FailureChannel::Listening>([this](const Result& r) { mFailures.push_back(r); });
    }
    void TearDown() override {
        mListening.reset();
        Platform::install(nullptr);
    }

    HeadlessPlatform& platform() { return *mPlatform; }
    TempDir& temp() { return mTemp; }
    // The failures reported so far, once the calls posted to the main thread have run.
    const std::vector<Result>& failures() {
        mPlatform->pumpMainThread();
        return mFailures;
    }
    int countFailures(const std::string& title) {
        int n = 0;
        for (const Result& failure : failures()) n += failure.title() == title;
        return n;
    }

    std::shared_ptr<HeadlessPlatform> mPlatform;
    TempDir mTemp;
    std::vector<Result> mFailures;
    std::unique_ptr<FailureChannel::Listening> mListening;
};

}  // namespace orvex::test
