#include "store/StoreFailures.h"

#include "platform/FailureChannel.h"

namespace orvex {

Result StoreFailures::cannotCreateFile(const std::string& path) {
    return Result::failure(
        "Error creating file",
        "The file '" + path + "' cannot be created. Make sure you have permission to write to this location");
}

namespace {

constexpr const char* kWriteProblem = "There was a problem writing data to file:\n";

}  // namespace

Result StoreFailures::writeFailed(const std::string& title, const std::string& reason) {
    return Result::failure(title, kWriteProblem + reason);
}

std::string StoreFailures::reasonOf(const Result& failure) {
    const std::string& message = failure.message();
    const std::string opening = kWriteProblem;
    return message.compare(0, opening.size(), opening) == 0 ? message.substr(opening.size()) : message;
}

Result StoreFailures::stepNotRolledBack(const Result& failure) {
    return Result::failure(failure.title(), failure.message() +
                                                "\nthe selection could not be put back as it was before the edit; "
                                                "it is put back when the file is opened again");
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
