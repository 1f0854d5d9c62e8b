#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

#include "document/KVOpenDocuments.h"
#include "document/KVWaveDocument.h"

namespace orvex {

class EditorDocumentBridge;
class KVEditorWindow;

// The open documents of the desktop, each in its editor window: opening a file (the checks and
// their alerts, a file already open brought forward with a beep instead of opened twice),
// files dropped on a window, and closing a window, which ends its document. GUI thread only.
class DesktopDocuments : public QObject {
    Q_OBJECT
public:
    explicit DesktopDocuments(KVDocumentOptions options = {}, QObject* parent = nullptr);
    ~DesktopDocuments() override;

    // Opens path in a new window, or raises the window that shows it already; false when the
    // file was refused (the user has been told why).
    bool openDocument(const QString& path);
    // The open dialog ("Please choose an audio file to analyze", button "Analyze"), then opens
    // the chosen file; false when cancelled or refused.
    bool chooseAndOpen(QWidget* parent = nullptr);
    // The window of the document at path (any spelling), or null.
    KVEditorWindow* windowForPath(const QString& path) const;
    KVWaveDocument* documentOfWindow(const KVEditorWindow* window) const;
    std::size_t count() const { return mDocuments.count(); }
    // The stored preferences that documents follow while open (the separation method, the undo
    // limits) applied
    // to every open document; a document opened later takes them as it opens.
    void applyPreferences();
    // The separation method and settings the stored preferences choose.
    static KVSeparationSettings separationFromPreferences();
    // The separation and the undo limits of the stored preferences, for one document.
    static void applyPreferencesTo(KVWaveDocument& document);

    // Sets up each new window's own controls. By default a drop opens the dropped file and
    // Ctrl+O the open dialog; an application with menus installs its own (menu bar, drops
    // through its controller), so no key is bound twice.
    void setWindowSetup(std::function<void(KVEditorWindow&)> setup) { mWindowSetup = std::move(setup); }

signals:
    void documentsChanged();

private:
    void closeWindow(KVEditorWindow* window);
    void connectWindow(KVEditorWindow* window);

    KVDocumentOptions mOptions;
    KVOpenDocuments mDocuments;
    QMap<const KVWaveDocument*, QPointer<KVEditorWindow>> mWindows;
    std::function<void(KVEditorWindow&)> mWindowSetup;
};

}  // namespace orvex
