#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvex {

// Finds the application's resources (sounds, the quick-start document, icons) wherever the
// program runs from: "ORVEX_RESOURCE_DIR" when set, then "share/orvex" beside the installed
// "bin" folder, then the source tree's resources folder of a program run from the build tree.
// Thread-safe (holds only paths).
class ResourceFinder {
public:
    // Folders to search, in order.
    explicit ResourceFinder(std::vector<std::filesystem::path> folders) : mFolders(std::move(folders)) {}

    // The folders for a program at executablePath: the installed layout first, then the build tree's.
    static ResourceFinder forExecutable(const std::filesystem::path& executablePath);
    // The folders for the running process (its /proc/self/exe), with the environment override first.
    static ResourceFinder forCurrentProcess();
    // The running program's path, empty when it cannot be told.
    static std::filesystem::path currentExecutable();

    // The first folder that exists, if any.
    std::optional<std::filesystem::path> directory() const;
    // The first existing file "name.type" (or "name" when type is empty) among the folders; name
    // may lead into a subfolder ("icons/orvex") but never out of the folders.
    std::optional<std::filesystem::path> pathForResource(const std::string& name, const std::string& type) const;

    const std::vector<std::filesystem::path>& folders() const { return mFolders; }

private:
    std::vector<std::filesystem::path> mFolders;
};

}  // namespace orvex
