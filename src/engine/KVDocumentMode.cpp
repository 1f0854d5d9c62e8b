#include "engine/KVDocumentMode.h"

#include "platform/Platform.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {
const char* const kModeKey = "DocumentConfiguredForMode";
}

int KVDocumentMode::selectionModeForTool(int requested, int documentMode, int tool) {
    const bool pencil = tool >= 0 && tool <= 2;
    if (documentMode == static_cast<int>(DocumentMode::Modify) && pencil && (requested == 0 || requested == 1))
        return 1 - requested;
    return requested;
}

KVModeSettings KVDocumentMode::settingsForMode(DocumentMode mode) {
    switch (mode) {
        case DocumentMode::Extract:
            return {0, true, false, true, false};
        case DocumentMode::Suppress:
            return {1, false, false, true, false};
        case DocumentMode::Modify:
            break;
    }
    return {2, true, true, false, true};
}

int KVDocumentMode::storedMode(const std::string& workingFilePath) {
    const std::int64_t stored = KVUtilities::paramDictForAnalysisOfFileAtPath(workingFilePath).getInt(kModeKey);
    return stored >= 1 && stored <= 3 ? int(stored - 1) : -1;
}

bool KVDocumentMode::recordMode(const std::string& workingFilePath, DocumentMode mode) {
    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(workingFilePath);
    dict.setInt(kModeKey, static_cast<int>(mode) + 1);
    return KVUtilities::saveParamDictForAnalysisOfFileAtPath(workingFilePath, dict);
}

DocumentMode KVDocumentMode::askForMode() {
    const AlertButton answer = Platform::shared().runAlert(
        "Auto setup document?",
        "Orvex can help you configure important parameters for extraction, suppression or modification. Based on "
        "your choice below Orvex will setup the document for you.\n\nYou can always change the settings "
        "individually later",
        {"Modify", "Extract", "Suppress"});
    switch (answer) {
        case AlertButton::Alternate:
            return DocumentMode::Extract;
        case AlertButton::Other:
            return DocumentMode::Suppress;
        case AlertButton::Default:
            break;
    }
    return DocumentMode::Modify;
}

DocumentMode KVDocumentMode::configureFileAtPath(const std::string& workingFilePath) {
    const int stored = storedMode(workingFilePath);
    const DocumentMode mode = stored >= 0 ? static_cast<DocumentMode>(stored) : askForMode();
    recordMode(workingFilePath, mode);
    return mode;
}

}  // namespace orvex
