#pragma once

#include <string>

namespace orvex::cli {

// A one-line progress bar on standard error, redrawn when the whole percentage changes and
// ended with a line break. Main thread.
class CliProgress {
public:
    explicit CliProgress(std::string label);
    ~CliProgress();
    CliProgress(const CliProgress&) = delete;
    CliProgress& operator=(const CliProgress&) = delete;

    // percent is clamped to 0..100.
    void update(int percent);
    void finish();

private:
    std::string mLabel;
    int mShown = -1;
    bool mFinished = false;
};

}  // namespace orvex::cli
