#include "control/KVMainThreadPoster.h"

#include "platform/Platform.h"

namespace orvex {

void KVMainThreadPoster::post(std::function<void()> call) const {
    std::weak_ptr<int> alive = mAlive;
    Platform::shared().postToMainThread(
        [alive, call = std::move(call)] {
            if (alive.lock()) call();
        },
        false);
}

}  // namespace orvex
