#pragma once

#include <functional>
#include <memory>

namespace orvex {

// Posts calls to the main thread without waiting, for workers of an object that lives on the
// main thread: a call posted after the owner has gone (invalidate) does not run. Workers may
// then be joined on the main thread without waiting on a main-thread step themselves.
// Threads: post from any thread; invalidate on the main thread.
class KVMainThreadPoster {
public:
    KVMainThreadPoster() : mAlive(std::make_shared<int>(0)) {}
    ~KVMainThreadPoster() { invalidate(); }
    KVMainThreadPoster(const KVMainThreadPoster&) = delete;
    KVMainThreadPoster& operator=(const KVMainThreadPoster&) = delete;

    void post(std::function<void()> call) const;
    void invalidate() { mAlive.reset(); }

private:
    std::shared_ptr<int> mAlive;
};

}  // namespace orvex
