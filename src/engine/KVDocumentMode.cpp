#include "engine/KVDocumentMode.h"

#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

SelectionMode KVDocumentMode::selectionModeForTool(SelectionMode requested, DocumentMode documentMode,
                                                   AnalysisTool tool) {
    if (documentMode != DocumentMode::Modify || !isPencil(tool)) return requested;
    return requested == SelectionMode::Add ? SelectionMode::Subtract : SelectionMode::Add;
}

KVModeSettings KVDocumentMode::settingsForMode(DocumentMode mode) {
    switch (mode) {
        case DocumentMode::Extract:
            return {true, false, true, false};
        case DocumentMode::Suppress:
            return {false, false, true, false};
        case DocumentMode::Modify:
            break;
    }
    return {true, true, false, true};
}

std::optional<DocumentMode> KVDocumentMode::storedMode(const std::string& workingFilePath) {
    const std::int64_t stored = KVUtilities::paramDictForAnalysisOfFileAtPath(workingFilePath).getInt(paramkeys::kDocumentMode);
    if (stored < 1 || stored > 3) return std::nullopt;
    return static_cast<DocumentMode>(stored - 1);
}

const char* KVDocumentMode::nameOfMode(DocumentMode mode) {
    switch (mode) {
        case DocumentMode::Extract:
            return "extract";
        case DocumentMode::Suppress:
            return "suppress";
        case DocumentMode::Modify:
            break;
    }
    return "modify";
}

std::optional<DocumentMode> KVDocumentMode::modeNamed(const std::string& name) {
    for (DocumentMode mode : {DocumentMode::Extract, DocumentMode::Suppress, DocumentMode::Modify})
        if (name == nameOfMode(mode)) return mode;
    return std::nullopt;
}

bool KVDocumentMode::recordMode(const std::string& workingFilePath, DocumentMode mode) {
    return KVParamDictionary::change(workingFilePath, [mode](PropertyList& dict) {
        dict.setInt(paramkeys::kDocumentMode, static_cast<int>(mode) + 1);
    });
}

}  // namespace orvex
