// The analysis folder beside a sound file and the parameter dictionary kept in it.

#include <filesystem>
#include <system_error>

#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

namespace {

// Format version of the data in an analysis folder; older and newer folders are rebuilt.
constexpr std::int64_t kAnalysisFolderVersion = 259;

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
    return version == kAnalysisFolderVersion || version < 1;
}

// A dictionary that already holds what would be written is left as it is: every open of a file
// set stamps it, and each write costs a sync of the disk.
bool KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(const std::string& path, const PropertyList* dict) {
    const std::string dictPath = paramDictPathForAnalysisOfFileAtPath(path);
    const auto stored = Platform::shared().readDictionary(dictPath);
    PropertyList updated = dict ? *dict : (stored ? *stored : PropertyList());
    updated.setString(paramkeys::kDictionaryPath, dictPath);
    updated.setInt(paramkeys::kVersion, kAnalysisFolderVersion);
    if (stored && *stored == updated) return true;
    return Platform::shared().writeDictionary(dictPath, updated);
}

bool KVUtilities::saveParamDictForAnalysisOfFileAtPath(const std::string& path, const PropertyList& dict) {
    return Platform::shared().writeDictionary(paramDictPathForAnalysisOfFileAtPath(path), dict);
}

}  // namespace orvex
