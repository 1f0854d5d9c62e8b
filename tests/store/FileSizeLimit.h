#pragma once

// A disk that fills up at a known place, for the store's failure tests.

#include <signal.h>
#include <sys/resource.h>

#include <cstdint>

namespace orvex::test {

// While it lives (or until lift()), no write of this process reaches byte `bytes` of any file:
// a write that would fails with "File too large" (SIGXFSZ is ignored meanwhile), one that
// crosses the limit is cut short there, writes below it go through. Deterministic, and needs
// neither a mount nor root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &mSaved);
        mSavedHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = mSaved;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { lift(); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Space comes back.
    void lift() {
        if (mLifted) return;
        ::setrlimit(RLIMIT_FSIZE, &mSaved);
        ::signal(SIGXFSZ, mSavedHandler);
        mLifted = true;
    }

private:
    rlimit mSaved{};
    sighandler_t mSavedHandler = SIG_DFL;
    bool mLifted = false;
};

}  // namespace orvex::test
