#pragma once

#include <string>

namespace orvex {

// The document's editing modes (the index of the mode control's segment).
enum class DocumentMode : int { Extract = 0, Suppress = 1, Modify = 2 };

// How a mode sets up the document and its analysis controller.
struct KVModeSettings {
    int selectionMode;        // handed to the controller and the view
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
    // The selection mode a view or controller stores when asked for requested (0 add, 1 subtract):
    // in Modify mode a pencil (tools 0..2) takes the opposite, so it subtracts unless Option is held.
    static int selectionModeForTool(int requested, int documentMode, int tool);
    // The stored mode, or -1 when the file has never been set up.
    static int storedMode(const std::string& workingFilePath);
    // Writes mode + 1 under "DocumentConfiguredForMode" and saves the dictionary.
    static bool recordMode(const std::string& workingFilePath, DocumentMode mode);
    // Asks with the "Auto setup document?" alert: Modify (default), Extract, Suppress.
    static DocumentMode askForMode();
    // The stored mode, or the user's answer the first time; recorded either way.
    static DocumentMode configureFileAtPath(const std::string& workingFilePath);
};

}  // namespace orvex
