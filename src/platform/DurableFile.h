#pragma once

#include <functional>
#include <string>

namespace orvex {

// Puts a finished file in place so that a power cut leaves either the old file or the new one
// under the target name, never a renamed file whose data or name never reached the disk: the
// file's data is synced, the file is renamed onto the target, then the folder is synced so the
// rename itself is on the disk. Any thread.
class DurableFile {
public:
    DurableFile() = delete;

    // Syncs finished, renames it onto target and syncs target's folder. 0 on success, else the
    // errno of the step that failed; finished is left in place when the rename did not happen
    // (the caller removes it).
    static int replace(const std::string& finished, const std::string& target);
    // Syncs an open descriptor of path (its data and size). 0 or an errno value.
    static int sync(int fd, const std::string& path);
    // Opens path and syncs it: a file's data, or a folder's entries. 0 or an errno value.
    static int syncPath(const std::string& path);
    // The folder holding path ("." for a bare name).
    static std::string folderOf(const std::string& path);

    // Test seam: called in place of fsync(2) with the descriptor and the path it was opened on,
    // returning 0 or an errno value. An empty hook restores fsync. Set it while no sync runs.
    using SyncHook = std::function<int(int fd, const std::string& path)>;
    static void setSyncHook(SyncHook hook);
};

}  // namespace orvex
