#include "utilities/KVParamDictionary.h"

#include <mutex>

#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

namespace {

// One lock for every file's dictionary: changes are rare and short (a small file read and
// written), so a lock per file would buy nothing.
std::mutex& dictionaryLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

bool KVParamDictionary::change(const std::string& path, const Edit& edit, Stamp stamp) {
    const std::string dictPath = KVUtilities::paramDictPathForAnalysisOfFileAtPath(path);
    const std::lock_guard<std::mutex> guard(dictionaryLock());
    const auto stored = Platform::shared().readDictionary(dictPath);
    PropertyList updated = stored ? *stored : PropertyList();
    if (edit) edit(updated);
    if (stamp == Stamp::CurrentVersion) {
        updated.setString(paramkeys::kDictionaryPath, dictPath);
        updated.setInt(paramkeys::kVersion, paramkeys::kAnalysisFolderVersion);
    }
    // Every open of a file set stamps the dictionary, and each write costs a sync of the disk.
    if (stored && *stored == updated) return true;
    return Platform::shared().writeDictionary(dictPath, updated);
}

bool KVParamDictionary::replace(const std::string& path, const PropertyList& dict) {
    const std::string dictPath = KVUtilities::paramDictPathForAnalysisOfFileAtPath(path);
    const std::lock_guard<std::mutex> guard(dictionaryLock());
    return Platform::shared().writeDictionary(dictPath, dict);
}

}  // namespace orvex
