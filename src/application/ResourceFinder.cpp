#include "application/ResourceFinder.h"

#include <cstdlib>
#include <system_error>

namespace orvex {

namespace fs = std::filesystem;

ResourceFinder ResourceFinder::forExecutable(const fs::path& executablePath) {
    std::vector<fs::path> folders;
    if (!executablePath.empty()) {
        folders.push_back(executablePath.parent_path().parent_path() / "share" / "orvex");
    }
    folders.emplace_back(ORVEX_BUILD_TREE_RESOURCES);
    return ResourceFinder(std::move(folders));
}

ResourceFinder ResourceFinder::forCurrentProcess() {
    ResourceFinder finder = forExecutable(currentExecutable());
    const char* overrideDir = std::getenv("ORVEX_RESOURCE_DIR");
    if (overrideDir && *overrideDir) finder.mFolders.insert(finder.mFolders.begin(), fs::path(overrideDir));
    return finder;
}

fs::path ResourceFinder::currentExecutable() {
    std::error_code ec;
    fs::path path = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : path;
}

std::optional<fs::path> ResourceFinder::directory() const {
    for (const auto& folder : mFolders) {
        std::error_code ec;
        if (fs::is_directory(folder, ec)) return folder;
    }
    return std::nullopt;
}

std::optional<fs::path> ResourceFinder::pathForResource(const std::string& name, const std::string& type) const {
    const fs::path file = type.empty() ? fs::path(name) : fs::path(name + "." + type);
    if (name.empty() || file.is_absolute()) return std::nullopt;
    for (const auto& part : file) {
        if (part == "..") return std::nullopt;
    }
    for (const auto& folder : mFolders) {
        std::error_code ec;
        const fs::path candidate = folder / file;
        if (fs::is_regular_file(candidate, ec)) return candidate;
    }
    return std::nullopt;
}

}  // namespace orvex
