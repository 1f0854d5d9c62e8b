#include "application/LaunchBookkeeping.h"

#include "application/PreferenceKeys.h"
#include "platform/Platform.h"

namespace orvex {

bool LaunchBookkeeping::isFirstLaunchOfVersion(std::int64_t buildVersion, std::int64_t storedVersion) {
    return buildVersion == 0 || storedVersion == 0 || storedVersion != buildVersion;
}

bool LaunchBookkeeping::isFirstLaunchOfVersion(std::int64_t buildVersion) {
    return isFirstLaunchOfVersion(buildVersion, Platform::shared().integerForKey(prefkeys::kAppVersion));
}

void LaunchBookkeeping::recordApplicationPath(const std::string& path) {
    Platform& platform = Platform::shared();
    platform.setStringForKey(prefkeys::kApplicationPath, path);
    platform.synchronizeDefaults();
}

void LaunchBookkeeping::recordQuit(std::int64_t buildVersion) {
    Platform& platform = Platform::shared();
    platform.setIntegerForKey(prefkeys::kAppVersion, buildVersion);
    platform.synchronizeDefaults();
}

}  // namespace orvex
