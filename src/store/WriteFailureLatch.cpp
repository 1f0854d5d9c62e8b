#include "store/WriteFailureLatch.h"

#include "platform/FailureChannel.h"

namespace orvex {

void WriteFailureLatch::record(const Result& failure) {
    if (failure) return;
    {
        std::lock_guard<std::mutex> guard(mMutex);
        if (mFailed.load()) return;
        mFirst = failure;
        mFailed = true;
    }
    FailureChannel::report(failure);
}

Result WriteFailureLatch::failure() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mFirst;
}

void WriteFailureLatch::clear() {
    std::lock_guard<std::mutex> guard(mMutex);
    mFirst = Result::success();
    mFailed = false;
}

}  // namespace orvex
