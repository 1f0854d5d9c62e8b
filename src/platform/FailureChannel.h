#pragma once

#include <functional>
#include <memory>

#include "common/Result.h"

namespace orvex {

// Carries failures met where nobody can be asked (a store write on a worker, a file opened deep
// inside a controller) to the layer that shows them. A report is posted to the main thread and
// never waits, so a worker that reports never blocks on the main thread, even while the main
// thread is joining it. On the main thread the newest listener still registered hears it; with
// none, the failure is written to standard error as "Title: message".
class FailureChannel {
public:
    using Listener = std::function<void(const Result&)>;

    // Keeps a listener registered for as long as it lives (main thread).
    class Listening {
    public:
        explicit Listening(Listener listener);
        ~Listening();
        Listening(const Listening&) = delete;
        Listening& operator=(const Listening&) = delete;

    private:
        std::shared_ptr<Listener> mListener;
    };

    FailureChannel() = delete;

    // Any thread; returns at once. Successes are ignored.
    static void report(Result failure);

private:
    static void deliver(const Result& failure);
};

}  // namespace orvex
