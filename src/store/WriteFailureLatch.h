#pragma once

#include <atomic>
#include <mutex>

#include "common/Result.h"

namespace orvex {

// The first failure the files of one store met since the store was opened or since its owner
// last cleared it (a new undo step). The first failure is reported through the FailureChannel;
// later ones are only kept out of sight, so a full disk under an analysis raises one alert and
// not one per frame. Callers ask failed() to stop writing and failure() to tell why.
// Threads: any thread may record and ask (the analysis lanes write different chunk files of
// one store at once); clear() belongs to the thread that edits.
class WriteFailureLatch {
public:
    // Keeps the first failure and reports it; later failures change nothing. Successes are ignored.
    void record(const Result& failure);
    // The same for a failure that was reported elsewhere already: kept, not reported again.
    // True when it became the first.
    bool keep(const Result& failure);
    bool failed() const { return mFailed.load(); }
    // The first failure since the last clear, or success.
    Result failure() const;
    void clear();

private:
    mutable std::mutex mMutex;
    Result mFirst = Result::success();
    std::atomic<bool> mFailed{false};
};

}  // namespace orvex
