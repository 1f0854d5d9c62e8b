#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "platform/HeadlessPlatform.h"
#include "support/TempDir.h"

namespace orvex::test {

// Installs a fresh silent HeadlessPlatform (this thread as the main thread) and a temporary
// folder for each test; alerts are recorded for assertions instead of being printed.
class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override {
        mPlatform = std::make_shared<HeadlessPlatform>();
        mPlatform->setEchoAlerts(false);
        Platform::install(mPlatform);
    }
    void TearDown() override { Platform::install(nullptr); }

    HeadlessPlatform& platform() { return *mPlatform; }
    TempDir& temp() { return mTemp; }

    std::shared_ptr<HeadlessPlatform> mPlatform;
    TempDir mTemp;
};

}  // namespace orvex::test
