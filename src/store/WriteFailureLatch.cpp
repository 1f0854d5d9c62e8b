#include "store/WriteFailureLatch.h"

#include "platform/FailureChannel.h"

namespace orvex {

void WriteFailureLatch::record(const Result& failure) {
    if (keep(failure)) FailureChannel::report(failure);
}

bool WriteFailureLatch::keep(const Result& failure) {
    if (failure) return false;
    std::lock_guard<std::mutex> guard(mMutex);
    if (mFailed.load()) return false;
    mFirst = failure;
    mFailed = true;
    return true;
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
