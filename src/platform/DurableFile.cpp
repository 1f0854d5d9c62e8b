#include "platform/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace orvex {

namespace {

std::mutex gHookMutex;
DurableFile::SyncHook gHook;

DurableFile::SyncHook currentHook() {
    std::lock_guard<std::mutex> guard(gHookMutex);
    return gHook;
}

}  // namespace

void DurableFile::setSyncHook(SyncHook hook) {
    std::lock_guard<std::mutex> guard(gHookMutex);
    gHook = std::move(hook);
}

// EINVAL: the file system keeps nothing it could sync (some special and network volumes).
int DurableFile::sync(int fd, const std::string& path) {
    if (const SyncHook hook = currentHook()) return hook(fd, path);
    while (::fsync(fd) != 0) {
        if (errno == EINTR) continue;
        return errno == EINVAL ? 0 : errno;
    }
    return 0;
}

int DurableFile::syncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = sync(fd, path);
    ::close(fd);
    return error;
}

std::string DurableFile::folderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? "." : folder.string();
}

int DurableFile::replace(const std::string& finished, const std::string& target) {
    if (const int error = syncPath(finished)) return error;
    if (std::rename(finished.c_str(), target.c_str()) != 0) return errno;
    return syncPath(folderOf(target));
}

}  // namespace orvex
