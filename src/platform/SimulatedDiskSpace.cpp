#include "platform/SimulatedDiskSpace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace orvex {

namespace {

constexpr const char* kVariable = "ORVEX_SIMULATED_FREE_BYTES";

struct Budget {
    bool active = false;
    std::uint64_t left = 0;
    std::mutex mutex;
};

Budget& budget() {
    static Budget shared;
    static std::once_flag read;
    std::call_once(read, [] {
        const char* text = std::getenv(kVariable);
        char* end = nullptr;
        const unsigned long long bytes = text ? std::strtoull(text, &end, 10) : 0;
        shared.active = text && end != text && *end == '\0';
        shared.left = bytes;
    });
    return shared;
}

}  // namespace

bool SimulatedDiskSpace::allowsWrite(int fd, std::uint64_t end) {
    Budget& disk = budget();
    if (!disk.active) return true;
    struct stat info {};
    if (::fstat(fd, &info) != 0) return true;  // the write itself reports the descriptor
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const std::uint64_t growth = end > size ? end - size : 0;
    std::lock_guard<std::mutex> guard(disk.mutex);
    if (growth > disk.left) {
        errno = ENOSPC;
        return false;
    }
    disk.left -= growth;
    return true;
}

}  // namespace orvex
