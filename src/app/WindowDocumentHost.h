#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "app/DocumentHost.h"

namespace orvex {

class AppController;
class KVEditorWindow;

// The open documents as document windows: a path passes the file checks of opening (alerts
// shown through the platform), a file already open is brought to the front instead of opened
// twice, and a window that closes (it deletes itself) leaves the list and tells the controller.
// Commands without a document model behind the window yet: the View commands switch its tabs,
// Undo has nothing to undo, the others beep. GUI thread only.
class WindowDocumentHost : public DocumentHost {
public:
    void setController(AppController* controller) { mController = controller; }

    bool openDocument(const QString& path) override;
    QList<QWidget*> documentWindows() const override;
    bool hasFrontDocument() const override { return frontWindow() != nullptr; }
    bool frontDocumentCanUndo() const override { return false; }
    void performOnFrontDocument(DocumentCommand command) override;

private:
    KVEditorWindow* frontWindow() const;
    KVEditorWindow* windowForPath(const QString& canonical) const;

    AppController* mController = nullptr;
    QObject mConnections;  // owns the window connections, so none outlives the host
    QList<QPointer<KVEditorWindow>> mWindows;  // newest first
};

}  // namespace orvex
