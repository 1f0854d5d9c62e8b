#include "store/StoreFailures.h"

#include "platform/FailureChannel.h"

namespace orvex {

void StoreFailures::cannotCreateFile(const std::string& path) {
    FailureChannel::report(Result::failure(
        "Error creating file",
        "The file '" + path + "' cannot be created. Make sure you have permission to write to this location"));
}

void StoreFailures::writeFailed(const std::string& title, const std::string& reason) {
    FailureChannel::report(Result::failure(title, "There was a problem writing data to file:\n" + reason));
}

void StoreFailures::incompatibleAnalysis() {
    FailureChannel::report(Result::failure(
        "Incompatible Analysis File",
        "The analysis file associated with this audio file uses an incompatible format. Most likely it was "
        "created with an older version of this application. Your audio file needs to be re-analyzed, your "
        "selection data will be lost"));
}

void StoreFailures::incompatibleMaster() {
    FailureChannel::report(Result::failure(
        "Incompatible Master File",
        "The mixdown file associated with the source audio file is in an incompatible format. Most likely it was "
        "created with an older version of this application. Orvex will automatically correct the problem for you"));
}

}  // namespace orvex
