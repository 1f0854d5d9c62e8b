#pragma once

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "platform/HeadlessPlatform.h"
#include "support/Shell.h"

namespace orvex::test {

// Pumps the main thread until done() holds and nothing more was posted.
template <class Done>
bool settle(HeadlessPlatform& platform, Done done, std::chrono::seconds timeout = std::chrono::seconds(180)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (platform.pumpMainThread() == 0 && done() && platform.pumpMainThread() == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Largest absolute difference, in dB relative to full scale, over the common length.
inline double maxErrorDb(const std::vector<float>& a, const std::vector<float>& b) {
    double worst = 1e-12;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) worst = std::max(worst, std::fabs(double(a[i]) - b[i]));
    return 20.0 * std::log10(worst);
}

}  // namespace orvex::test
