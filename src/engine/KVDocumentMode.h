#pragma once

#include <optional>
#include <string>

#include "engine/KVToolKinds.h"

namespace orvex {

// The document's editing modes (the index of the mode control's segment).
enum class DocumentMode : int { Extract = 0, Suppress = 1, Modify = 2 };

// How a mode sets up the document and its analysis controller (the mode itself goes to the
// controller and the view).
struct KVModeSettings {
    bool snapToGrid;
    bool gainControlsEnabled;  // the modification gain slider and field
    bool showOriginal;
    bool selectsEverything;    // the controller selects everything continuously
};

// The "DocumentConfiguredForMode" bookkeeping of a working file's parameter dictionary: the mode
// is stored as its index plus one, 0 or a missing key meaning "never set up". Main thread.
class KVDocumentMode {
public:
    KVDocumentMode() = delete;

    static KVModeSettings settingsForMode(DocumentMode mode);
    // The selection mode a view or controller stores when asked for requested: in Modify mode a
    // pencil takes the opposite, so it subtracts unless Option is held.
    static SelectionMode selectionModeForTool(SelectionMode requested, DocumentMode documentMode, AnalysisTool tool);
    // The stored mode, or nothing when the file has never been set up.
    static std::optional<DocumentMode> storedMode(const std::string& workingFilePath);
    // "extract", "suppress", "modify" and back (nothing for another name).
    static const char* nameOfMode(DocumentMode mode);
    static std::optional<DocumentMode> modeNamed(const std::string& name);
    // Writes mode + 1 under "DocumentConfiguredForMode" and saves the dictionary.
    static bool recordMode(const std::string& workingFilePath, DocumentMode mode);
};

}  // namespace orvex
