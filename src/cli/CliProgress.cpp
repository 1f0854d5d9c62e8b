#include "CliProgress.h"

#include <algorithm>
#include <cstdio>

namespace orvex::cli {

namespace {
constexpr int kWidth = 30;
}

CliProgress::CliProgress(std::string label) : mLabel(std::move(label)) {}

CliProgress::~CliProgress() { finish(); }

void CliProgress::update(int percent) {
    percent = std::clamp(percent, 0, 100);
    if (percent == mShown || mFinished) return;
    mShown = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", mLabel.c_str(), std::string(std::size_t(filled), '#').c_str(),
                 std::string(std::size_t(kWidth - filled), ' ').c_str(), percent);
    std::fflush(stderr);
}

void CliProgress::finish() {
    if (mFinished) return;
    if (mShown >= 0) std::fputc('\n', stderr);
    mFinished = true;
}

}  // namespace orvex::cli
