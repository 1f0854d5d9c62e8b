#include "document/KVDocumentWindow.h"

#include "platform/Platform.h"

namespace orvex {

DocumentMode KVDocumentWindow::askForInitialMode() {
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

}  // namespace orvex
