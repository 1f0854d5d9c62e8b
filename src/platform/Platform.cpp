#include "platform/Platform.h"

#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/HeadlessPlatform.h"

namespace orvex {

namespace {
std::mutex gSharedMutex;
std::shared_ptr<Platform> gShared;
}  // namespace

std::shared_ptr<Platform> Platform::sharedPtr() {
    std::lock_guard<std::mutex> guard(gSharedMutex);
    if (!gShared) gShared = std::make_shared<HeadlessPlatform>();
    return gShared;
}

Platform& Platform::shared() { return *sharedPtr(); }

// shared() hands out a reference that only the installed pointer keeps alive, and a worker that
// outlives its document (an analysis runs to its end after the document closes) may be using
// it when another platform is installed. So a replaced platform saves its defaults and stays
// alive to the end of the process (the list is never destroyed, so no exit-time destructor
// runs under a late worker either).
void Platform::install(std::shared_ptr<Platform> platform) {
    static auto* replaced = new std::vector<std::shared_ptr<Platform>>;
    std::shared_ptr<Platform> previous;
    {
        std::lock_guard<std::mutex> guard(gSharedMutex);
        previous = std::exchange(gShared, std::move(platform));
        if (previous) replaced->push_back(previous);
    }
    if (previous) previous->synchronizeDefaults();
}

std::optional<PropertyList> Platform::readDictionary(const std::string& path) {
    return PropertyList::readFile(path);
}

bool Platform::writeDictionary(const std::string& path, const PropertyList& dict) {
    return dict.writeFileAtomically(path);
}

std::int64_t Platform::freeBytesOfVolume(const std::string& path) {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

void Platform::setCurrentThreadPriority(double priority) {
    // Map 0.0..1.0 onto nice 19..0 for this thread only; raising priority needs privileges
    // we do not ask for, so failures are ignored.
    const double clamped = priority < 0.0 ? 0.0 : (priority > 1.0 ? 1.0 : priority);
    const int niceValue = static_cast<int>(std::lround(19.0 * (1.0 - clamped)));
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), niceValue);
}

}  // namespace orvex
