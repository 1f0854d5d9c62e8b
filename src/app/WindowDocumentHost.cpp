#include "app/WindowDocumentHost.h"

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

CommandContext WindowDocumentHost::frontDocumentContext() const {
    const KVWaveDocument* document = frontDocument();
    return document ? document->commandContext() : CommandContext{};
}

void WindowDocumentHost::performOnFrontDocument(EditorCommand command) {
    KVEditorWindow* window = frontWindow();
    KVWaveDocument* document = frontDocument();
    if (window && document) performInWindow(*window, *document, command);
}

void WindowDocumentHost::walkFrontDocumentHistoryTo(std::size_t position) {
    if (KVWaveDocument* document = frontDocument()) (void)document->walkHistoryTo(position);
}

void WindowDocumentHost::performInWindow(KVEditorWindow& window, KVWaveDocument& document, EditorCommand command) {
    switch (command) {
        case EditorCommand::ShowInput: window.tabs()->setCurrentIndex(KVEditorWindow::kInputTab); return;
        case EditorCommand::ShowAnalysis: window.tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab); return;
        case EditorCommand::ShowOutput: window.tabs()->setCurrentIndex(KVEditorWindow::kOutputTab); return;
        case EditorCommand::AnalyzeSegment: AnalysisTabBridge::analyzeInWindow(window); return;  // beeps itself
        case EditorCommand::ZoomInTime:
        case EditorCommand::ZoomOutTime:
        case EditorCommand::ZoomInPitch:
        case EditorCommand::ZoomOutPitch:
        case EditorCommand::FitToWindow: zoomInWindow(window, command); return;
        case EditorCommand::ExportSegment:
        case EditorCommand::ExportStems:
        case EditorCommand::ExportMaster:
            if (auto* bridge = window.findChild<EditorDocumentBridge*>()) runExport(*bridge, command);
            return;
        case EditorCommand::RevealInFileManager: Platform::shared().revealFile(document.sourcePath()); return;
        default:
            (void)document.perform(command);  // a refusal has been told (a beep or an alert)
            return;
    }
}

void WindowDocumentHost::runExport(EditorDocumentBridge& bridge, EditorCommand command) {
    switch (command) {
        case EditorCommand::ExportSegment: bridge.exportSegment(); return;
        case EditorCommand::ExportStems: bridge.exportStems(); return;
        default: bridge.exportMaster(); return;
    }
}

void WindowDocumentHost::zoomInWindow(KVEditorWindow& window, EditorCommand command) {
    window.tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab);
    KVAnalysisView& view = *window.analysisView();
    switch (command) {
        case EditorCommand::ZoomInTime: view.zoomBy(2.0, 1.0); return;
        case EditorCommand::ZoomOutTime: view.zoomBy(0.5, 1.0); return;
        case EditorCommand::ZoomInPitch: view.zoomBy(1.0, 2.0); return;
        case EditorCommand::ZoomOutPitch: view.zoomBy(1.0, 0.5); return;
        default: view.fitToWindow(); return;
    }
}

}  // namespace orvex
