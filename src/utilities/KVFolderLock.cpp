#include "utilities/KVFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace orvex {

std::string KVFolderLock::lockFilePath(const std::string& folder) {
    return (std::filesystem::path(folder) / "lock.noindex").string();
}

KVFolderLock::Result KVFolderLock::acquire(const std::string& folder, Mode mode) {
    Result result;
    std::error_code error;
    const bool existed = std::filesystem::is_directory(folder, error);
    if (!existed && !std::filesystem::create_directories(folder, error) && error) {
        result.message = "The analysis folder " + folder + " cannot be created: " + error.message();
        return result;
    }
    const std::string path = lockFilePath(folder);
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (descriptor < 0) {
        result.message = "The analysis folder " + folder + " cannot be locked: " + std::strerror(errno);
        return result;
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int status;
    while ((status = ::flock(descriptor, operation)) != 0 && errno == EINTR) {
    }
    if (status != 0) {
        const int reason = errno;
        ::close(descriptor);
        result.inUse = reason == EWOULDBLOCK;
        result.message = result.inUse ? "The analysis folder " + folder +
                                            " is in use by another program or document; try again when it has finished"
                                      : "The analysis folder " + folder + " cannot be locked: " + std::strerror(reason);
        return result;
    }
    result.lock.reset(new KVFolderLock(folder, descriptor, !existed));
    return result;
}

KVFolderLock::KVFolderLock(std::string folder, int descriptor, bool createdFolder)
    : mFolder(std::move(folder)), mDescriptor(descriptor), mCreatedFolder(createdFolder) {}

KVFolderLock::~KVFolderLock() {
    if (mDescriptor >= 0) ::close(mDescriptor);  // closing the last descriptor drops the lock
}

}  // namespace orvex
