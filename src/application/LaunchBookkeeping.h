#pragma once

#include <cstdint>
#include <string>

namespace orvex {

// What the application records in the user defaults at start and at quit, and the start-up
// decisions drawn from it. Main thread only; uses Platform::shared().
class LaunchBookkeeping {
public:
    LaunchBookkeeping() = delete;

    // True when the quick-start document is due: the build's version number is 0, nothing was
    // stored under "General_AppVersion", or the stored number differs.
    static bool isFirstLaunchOfVersion(std::int64_t buildVersion, std::int64_t storedVersion);
    static bool isFirstLaunchOfVersion(std::int64_t buildVersion);

    // The open dialog runs at start when the preference asks for it and no file was given.
    static bool shouldRunOpenDialog(bool openFileOnLaunch, bool filesWereGiven) {
        return openFileOnLaunch && !filesWereGiven;
    }

    // Start: stores the executable's path under "NSApplicationPath" and synchronises.
    static void recordApplicationPath(const std::string& path);
    // Quit: stores the build's version number under "General_AppVersion" and synchronises.
    static void recordQuit(std::int64_t buildVersion);
};

}  // namespace orvex
