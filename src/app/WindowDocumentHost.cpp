#include "app/WindowDocumentHost.h"

#include "views/KVAnalysisView.h"

#include <QApplication>
#include <QTabWidget>

#include "app/AnalysisTabBridge.h"
#include "app/AppController.h"
#include "app/EditorDocumentBridge.h"
#include "app/KVEditorWindow.h"
#include "document/KVWaveDocument.h"
#include "platform/Platform.h"
#include "views/KVAnalysisView.h"

namespace orvex {

WindowDocumentHost::WindowDocumentHost(KVDocumentOptions options) : mDocuments(std::move(options)) {
    mDocuments.setWindowSetup([this](KVEditorWindow& window) { setUpWindow(window); });
    QObject::connect(&mDocuments, &DesktopDocuments::documentsChanged, &mConnections, [this] {
        if (mController) mController->documentsChanged();
    });
}

// The controller may be gone already; windows closed from here on tell nobody.
WindowDocumentHost::~WindowDocumentHost() { mController = nullptr; }

bool WindowDocumentHost::openDocument(const QString& path) { return mDocuments.openDocument(path); }

void WindowDocumentHost::setUpWindow(KVEditorWindow& window) {
    if (mController) {
        window.setMenuBar(mController->createMenuBar(&window, true));
        QObject::connect(&window, &KVEditorWindow::fileDropped, &mConnections, [this](const QString& dropped) {
            if (mController) mController->openFile(dropped);
        });
    }
    // A widget announces its destruction before its guards are cleared: remove it by identity.
    // The guards hold plain widgets, since by then the window is no longer a KVEditorWindow.
    QWidget* pointer = &window;
    QObject::connect(&window, &QObject::destroyed, &mConnections, [this, pointer] {
        mWindows.removeIf([pointer](const QPointer<QWidget>& w) { return !w || w == pointer; });
        if (mController) mController->documentsChanged();
    });
    mWindows.prepend(pointer);
    window.activateWindow();
}

QList<QWidget*> WindowDocumentHost::documentWindows() const {
    QList<QWidget*> windows;
    for (const auto& window : mWindows) {
        if (window) windows.append(window);
    }
    return windows;
}

KVEditorWindow* WindowDocumentHost::frontWindow() const {
    if (auto* active = qobject_cast<KVEditorWindow*>(QApplication::activeWindow())) return active;
    for (const auto& window : mWindows) {
        if (window) return static_cast<KVEditorWindow*>(window.data());
    }
    return nullptr;
}

KVWaveDocument* WindowDocumentHost::frontDocument() const {
    KVEditorWindow* window = frontWindow();
    return window ? mDocuments.documentOfWindow(window) : nullptr;
}

bool WindowDocumentHost::frontDocumentCanUndo() const {
    const KVWaveDocument* document = frontDocument();
    return document && document->canUndo();
}

bool WindowDocumentHost::frontDocumentHasAnalysis() const {
    const KVWaveDocument* document = frontDocument();
    return document && document->analysisController();
}

void WindowDocumentHost::performOnFrontDocument(DocumentCommand command) {
    KVEditorWindow* window = frontWindow();
    KVWaveDocument* document = frontDocument();
    if (!window || !document) return;
    switch (command) {
        case DocumentCommand::ShowInput: window->tabs()->setCurrentIndex(KVEditorWindow::kInputTab); return;
        case DocumentCommand::ShowAnalysis: window->tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab); return;
        case DocumentCommand::ShowOutput: window->tabs()->setCurrentIndex(KVEditorWindow::kOutputTab); return;
        case DocumentCommand::AnalyzeSegment: AnalysisTabBridge::analyzeInWindow(*window); return;  // beeps itself
        case DocumentCommand::ZoomInTime:
        case DocumentCommand::ZoomOutTime:
        case DocumentCommand::ZoomInPitch:
        case DocumentCommand::ZoomOutPitch:
        case DocumentCommand::FitToWindow: zoomInWindow(*window, command); return;
        case DocumentCommand::ExportSegment:
        case DocumentCommand::ExportStems:
        case DocumentCommand::ExportMaster:
            if (auto* bridge = window->findChild<EditorDocumentBridge*>()) runExport(*bridge, command);
            return;
        default:
            if (!runOnDocument(*document, command)) Platform::shared().beep();
            return;
    }
}

void WindowDocumentHost::runExport(EditorDocumentBridge& bridge, DocumentCommand command) {
    switch (command) {
        case DocumentCommand::ExportSegment: bridge.exportSegment(); return;
        case DocumentCommand::ExportStems: bridge.exportStems(); return;
        default: bridge.exportMaster(); return;
    }
}

void WindowDocumentHost::zoomInWindow(KVEditorWindow& window, DocumentCommand command) {
    window.tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    KVAnalysisView& view = *window.analysisView();
    switch (command) {
        case DocumentCommand::ZoomInTime: view.zoomBy(2.0, 1.0); return;
        case DocumentCommand::ZoomOutTime: view.zoomBy(0.5, 1.0); return;
        case DocumentCommand::ZoomInPitch: view.zoomBy(1.0, 2.0); return;
        case DocumentCommand::ZoomOutPitch: view.zoomBy(1.0, 0.5); return;
        default: view.fitToWindow(); return;
    }
}

// The document's own commands; false for those it has no answer to here (a beep).
bool WindowDocumentHost::runOnDocument(KVWaveDocument& document, DocumentCommand command) {
    switch (command) {
        case DocumentCommand::Undo: document.undo(); return true;  // a refusal shows its own alert
        case DocumentCommand::KeepTransients: document.isolateStochastic(); return true;
        case DocumentCommand::DiscardTransients: document.isolateDeterministic(); return true;
        case DocumentCommand::FillGaps: document.fillGaps(); return true;
        case DocumentCommand::SelectAll: document.selectAll(); return true;
        case DocumentCommand::ClearSelection: document.selectNone(); return true;
        case DocumentCommand::ApplySelection: document.applySelection(); return true;
        case DocumentCommand::RevealInFileManager: Platform::shared().revealFile(document.sourcePath()); return true;
        case DocumentCommand::TogglePlayStop: document.togglePlayStop(); return true;
        case DocumentCommand::PlayOriginal: document.playOriginal(); return true;
        case DocumentCommand::Stop: document.stop(); return true;
        case DocumentCommand::Forward: document.forward(); return true;
        case DocumentCommand::Rewind: document.rewind(); return true;
        case DocumentCommand::Loop: document.toggleLoop(); return true;
        default: return false;
    }
}

}  // namespace orvex
