#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvex {

// The Open Recent list, most recent first, kept in the user defaults under
// "ORVX_RecentDocuments" (one path per line) so it outlives the process. Main thread only;
// uses Platform::shared().
class RecentDocuments {
public:
    static constexpr std::size_t kMaximumCount = 10;

    // The stored list, paths that no longer exist left out.
    static std::vector<std::string> load();
    // Puts path first (moving it if listed), trims to kMaximumCount, stores and synchronises.
    // A path containing a line break is not stored.
    static void add(const std::string& path);
    // Empties the stored list.
    static void clear();

private:
    static std::vector<std::string> stored();
    static void store(const std::vector<std::string>& paths);
};

}  // namespace orvex
