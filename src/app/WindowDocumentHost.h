#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include "app/DesktopDocuments.h"
#include "app/DocumentHost.h"

namespace orvex {

class AppController;
class EditorDocumentBridge;
class KVEditorWindow;
class KVWaveDocument;

// The open documents in their editor windows, for the application controller: opening goes
// through the desktop's documents (the file checks and their alerts, a file already open
// brought forward with a beep), each window gets the controller's menu bar and hands dropped
// files to it, and the menu commands run on the front window's document. GUI thread only.
class WindowDocumentHost : public DocumentHost {
public:
    explicit WindowDocumentHost(KVDocumentOptions options = {});
    ~WindowDocumentHost() override;

    void setController(AppController* controller) { mController = controller; }
    DesktopDocuments& documents() { return mDocuments; }

    bool openDocument(const QString& path) override;
    QList<QWidget*> documentWindows() const override;
    bool hasFrontDocument() const override { return frontDocument() != nullptr; }
    CommandContext frontDocumentContext() const override;
    void performOnFrontDocument(EditorCommand command) override;
    void walkFrontDocumentHistoryTo(std::size_t position) override;
    void preferencesChanged() override { mDocuments.applyPreferences(); }
    // Runs a window or document command in this window, whose document is document: the
    // window's own here, the document's through KVWaveDocument::perform (a beep for any other).
    static void performInWindow(KVEditorWindow& window, KVWaveDocument& document, EditorCommand command);

private:
    void setUpWindow(KVEditorWindow& window);
    KVEditorWindow* frontWindow() const;
    KVWaveDocument* frontDocument() const;
    // The export commands, each with its save panel.
    static void runExport(EditorDocumentBridge& bridge, EditorCommand command);
    // Zooms the window\'s analysis view, on its tab.
    static void zoomInWindow(KVEditorWindow& window, EditorCommand command);

    AppController* mController = nullptr;
    QList<QPointer<QWidget>> mWindows;  // the editor windows, newest first
    QObject mConnections;  // owns the window connections, so none outlives the host
    // Last, so it goes first: closing its windows still finds the list above.
    DesktopDocuments mDocuments;
};

}  // namespace orvex
