#pragma once

#include <QList>
#include <QString>

#include "document/EditorCommands.h"

class QWidget;

namespace orvex {

// What the application controller needs of the open documents: opening a path (with the
// checks and alerts of opening), the windows, the front document's commands. Implemented over
// the list of open documents; the tests use a fake. GUI thread only.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // Opens path in a new document window; false when it was refused (the user was told why).
    virtual bool openDocument(const QString& path) = 0;
    // The open documents' windows, front first.
    virtual QList<QWidget*> documentWindows() const = 0;
    virtual bool hasFrontDocument() const = 0;
    // What the command table's enabling rules read of the front document (all false without one).
    virtual CommandContext frontDocumentContext() const = 0;
    // Runs a window or document command of the command table on the front document; nothing
    // without one.
    virtual void performOnFrontDocument(EditorCommand command) = 0;
    // Undoes or redoes the front document's steps until position of them are done.
    virtual void walkFrontDocumentHistoryTo(std::size_t position) { (void)position; }
    // The stored preferences changed: open documents follow those they follow while open.
    virtual void preferencesChanged() {}
};

}  // namespace orvex
