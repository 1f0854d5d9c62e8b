#pragma once

#include <memory>
#include <string>

namespace orvex {

// An advisory lock on the file "lock.noindex" inside an analysis folder, held from acquire()
// until the object is destroyed. Writers (a document, each orvex-cli command that may change
// the folder) hold it exclusively; readers share it. The lock goes with the open file
// description (flock), so two documents of one process exclude each other as two processes
// do, and the system drops it when the holder dies, even by kill -9.
// Threads: one owner; acquire never blocks.
class KVFolderLock {
public:
    enum class Mode { Shared, Exclusive };

    // What acquire found; message says why the lock is not held ("in use" or a system error).
    struct Result {
        std::unique_ptr<KVFolderLock> lock;
        std::string message;
        bool inUse = false;
    };

    // Takes the lock of folder (created when missing, intermediate folders too) without
    // waiting: a folder locked by another writer gives inUse and a message naming the folder.
    static Result acquire(const std::string& folder, Mode mode);
    // The lock file of folder.
    static std::string lockFilePath(const std::string& folder);

    ~KVFolderLock();
    KVFolderLock(const KVFolderLock&) = delete;
    KVFolderLock& operator=(const KVFolderLock&) = delete;

    const std::string& folder() const { return mFolder; }
    // True when acquire made the folder (it did not exist before).
    bool createdFolder() const { return mCreatedFolder; }

private:
    KVFolderLock(std::string folder, int descriptor, bool createdFolder);

    std::string mFolder;
    int mDescriptor;
    bool mCreatedFolder;
};

}  // namespace orvex
