// The analysis folder beside a sound file and the parameter dictionary kept in it.

#include <filesystem>
#include <system_error>

#include "platform/Platform.h"
#include "utilities/KVParamDictionary.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

namespace {

// D and N of a path D/N.E. A bare file name lies in the current folder, never in "/".
std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::string nameOf(const std::filesystem::path& file) { return file.stem().string(); }

}  // namespace

std::string KVUtilities::analysisFolderPathOfFileAtPath(const std::string& path) {
    const std::filesystem::path file(path);
    return folderOf(file).string() + "/" + nameOf(file) + ".analysis";
}

std::string KVUtilities::analysisFolderForFileAtPath(const std::string& path) {
    const std::string folder = analysisFolderPathOfFileAtPath(path);
    // A folder that cannot be created is reported by whoever writes into it.
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string KVUtilities::paramDictPathForAnalysisOfFileAtPath(const std::string& path) {
    return analysisFolderForFileAtPath(path) + "/" + nameOf(std::filesystem::path(path)) + ".plist";
}

PropertyList KVUtilities::paramDictForAnalysisOfFileAtPath(const std::string& path) {
    auto stored = Platform::shared().readDictionary(paramDictPathForAnalysisOfFileAtPath(path));
    return stored ? std::move(*stored) : PropertyList();
}

bool KVUtilities::keyExistsInDictForAnalysisOfFileAtPath(const std::string& path, const std::string& key) {
    return paramDictForAnalysisOfFileAtPath(path).has(key);
}

bool KVUtilities::chunkFileForFileAtPathIsCompatible(const std::string& path) {
    const auto stored = Platform::shared().readDictionary(paramDictPathForAnalysisOfFileAtPath(path));
    if (!stored) return true;  // a new folder
    const std::int64_t version = stored->getInt(paramkeys::kVersion);
    return version == paramkeys::kAnalysisFolderVersion || version < 1;
}

bool KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(const std::string& path) {
    return KVParamDictionary::change(path, {}, KVParamDictionary::Stamp::CurrentVersion);
}

bool KVUtilities::saveParamDictForAnalysisOfFileAtPath(const std::string& path, const PropertyList& dict) {
    return KVParamDictionary::replace(path, dict);
}

}  // namespace orvex
