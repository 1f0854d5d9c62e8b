#include "store/StoreFailures.h"

#include <filesystem>
#include <system_error>

#include "platform/FailureChannel.h"
#include "store/RecordChecksums.h"

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

namespace {

constexpr const char* kDamagedTitle = "Damaged data file";

}  // namespace

Result StoreFailures::damagedData(const std::string& reason) {
    return Result::failure(kDamagedTitle, "The stored data is damaged: " + reason +
                                              " (it was changed outside Orvex, or the disk is failing)");
}

bool StoreFailures::isDamage(const Result& failure) { return !failure && failure.title() == kDamagedTitle; }

std::string StoreFailures::lostRecords(const std::string& dataPath, std::size_t recordSize) {
    const std::int64_t known = RecordChecksums::knownRecordsAt(dataPath, recordSize);
    std::error_code error;
    const auto bytes = std::filesystem::file_size(dataPath, error);
    const std::int64_t held = error ? 0 : static_cast<std::int64_t>(bytes / recordSize);
    if (known <= held) return "";
    const std::string name = std::filesystem::path(dataPath).filename().string();
    if (error) return name + " is missing (it held " + std::to_string(known) + " records)";
    return name + " holds " + std::to_string(held) + " of " + std::to_string(known) + " records";
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
