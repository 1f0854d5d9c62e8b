#include "store/KVStoreAlerts.h"

#include "platform/Platform.h"

namespace orvex {

void KVStoreAlerts::cannotCreateFile(const std::string& path) {
    Platform::shared().runAlert("Error creating file",
                                "The file '" + path +
                                    "' cannot be created. Make sure you have permission to write to this location",
                                {"Okay"});
}

void KVStoreAlerts::writeFailed(const std::string& title, const std::string& reason) {
    Platform::shared().runAlert(title, "There was a problem writing data to file:\n" + reason, {"Okay"});
}

}  // namespace orvex
