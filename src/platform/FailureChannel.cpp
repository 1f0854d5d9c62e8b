#include "platform/FailureChannel.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/Platform.h"

namespace orvex {

namespace {
std::mutex gListenersMutex;
std::vector<std::shared_ptr<FailureChannel::Listener>> gListeners;  // newest last
}  // namespace

FailureChannel::Listening::Listening(Listener listener)
    : mListener(std::make_shared<Listener>(std::move(listener))) {
    std::lock_guard<std::mutex> guard(gListenersMutex);
    gListeners.push_back(mListener);
}

FailureChannel::Listening::~Listening() {
    std::lock_guard<std::mutex> guard(gListenersMutex);
    gListeners.erase(std::remove(gListeners.begin(), gListeners.end(), mListener), gListeners.end());
}

void FailureChannel::report(Result failure) {
    if (failure) return;
    Platform::shared().postToMainThread([failure = std::move(failure)] { deliver(failure); }, false);
}

// The listener is copied out of the list so that it may register or drop listeners itself.
void FailureChannel::deliver(const Result& failure) {
    std::shared_ptr<Listener> listener;
    {
        std::lock_guard<std::mutex> guard(gListenersMutex);
        if (!gListeners.empty()) listener = gListeners.back();
    }
    if (listener)
        (*listener)(failure);
    else
        std::fprintf(stderr, "%s\n", failure.text().c_str());
}

}  // namespace orvex
