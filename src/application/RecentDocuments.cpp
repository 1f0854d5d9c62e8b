#include "application/RecentDocuments.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "application/PreferenceKeys.h"
#include "platform/Platform.h"

namespace orvex {

std::vector<std::string> RecentDocuments::stored() {
    std::vector<std::string> paths;
    const auto text = Platform::shared().stringForKey(prefkeys::kRecentDocuments);
    if (!text) return paths;
    std::istringstream lines(*text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) paths.push_back(line);
    }
    return paths;
}

void RecentDocuments::store(const std::vector<std::string>& paths) {
    std::string text;
    for (const auto& path : paths) text += path + "\n";
    Platform& platform = Platform::shared();
    platform.setStringForKey(prefkeys::kRecentDocuments, text);
    platform.synchronizeDefaults();
}

std::vector<std::string> RecentDocuments::load() {
    std::vector<std::string> paths = stored();
    std::erase_if(paths, [](const std::string& path) {
        std::error_code ec;
        return !std::filesystem::exists(path, ec);
    });
    return paths;
}

void RecentDocuments::add(const std::string& path) {
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return;
    std::vector<std::string> paths = stored();
    std::erase(paths, path);
    paths.insert(paths.begin(), path);
    if (paths.size() > kMaximumCount) paths.resize(kMaximumCount);
    store(paths);
}

void RecentDocuments::clear() { store({}); }

}  // namespace orvex
