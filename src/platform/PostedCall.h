#pragma once

#include <functional>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define ORVEX_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ORVEX_THREAD_SANITIZER 1
#endif
#endif
#ifdef ORVEX_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

namespace orvex {

// A call handed to another thread through a queue whose locking ThreadSanitizer cannot see
// (Qt's event queue and its blocking calls wait on futexes inside the uninstrumented Qt
// libraries). Without help the tool takes the posting thread's writes and the receiving
// thread's reads of the same data for races. The marks below state the order the queue
// guarantees: what the posting thread did before posting happens before the call runs, and
// the call happens before whichever thread frees it or waits for it (the call releases
// `finished` when done; the waiter acquires it). Outside ThreadSanitizer builds they are empty.
// Threads: made on the posting thread, run on the receiving thread, freed on either.
class PostedCall {
public:
    explicit PostedCall(std::function<void()> call, const void* finished = nullptr)
        : mCall(std::move(call)), mFinished(finished) {
        released(this);
    }
    PostedCall(PostedCall&& other) noexcept : mCall(std::move(other.mCall)), mFinished(other.mFinished) {
        released(this);
    }
    PostedCall(const PostedCall&) = delete;
    PostedCall& operator=(const PostedCall&) = delete;
    PostedCall& operator=(PostedCall&&) = delete;
    ~PostedCall() { acquired(this); }

    // Whichever thread frees the call may do so as soon as released(this) is seen, so nothing
    // of the call is touched after it.
    void operator()() {
        acquired(this);
        if (mCall) mCall();
        if (mFinished) released(mFinished);
        released(this);
    }

    // Everything this thread did before released(token) happens before what a thread does
    // after a later acquired(token), as far as ThreadSanitizer is concerned.
    static void released([[maybe_unused]] const void* token) {
#ifdef ORVEX_THREAD_SANITIZER
        __tsan_release(const_cast<void*>(token));
#endif
    }
    static void acquired([[maybe_unused]] const void* token) {
#ifdef ORVEX_THREAD_SANITIZER
        __tsan_acquire(const_cast<void*>(token));
#endif
    }

private:
    std::function<void()> mCall;
    const void* mFinished;
};

}  // namespace orvex
