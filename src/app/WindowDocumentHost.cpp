#include "app/WindowDocumentHost.h"

#include <QApplication>
#include <QFileInfo>
#include <QTabWidget>

#include "app/AppController.h"
#include "app/KVEditorWindow.h"
#include "document/KVOpenFileCheck.h"
#include "platform/Platform.h"

namespace orvex {

namespace {
const char* const kPathProperty = "orvexCanonicalPath";
}  // namespace

bool WindowDocumentHost::openDocument(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (KVEditorWindow* open = canonical.isEmpty() ? nullptr : windowForPath(canonical)) {
        Platform::shared().beep();
        open->raise();
        open->activateWindow();
        return true;
    }
    if (!KVOpenFileCheck::checkFileAtPath(path.toStdString()).canOpen()) return false;
    auto* window = new KVEditorWindow;
    window->setProperty(kPathProperty, canonical);
    window->setWindowTitle(QFileInfo(path).completeBaseName());
    if (mController) {
        window->setMenuBar(mController->createMenuBar(window, true));
        AppController* controller = mController;
        QObject::connect(window, &KVEditorWindow::fileDropped, &mConnections,
                         [controller](const QString& dropped) { controller->openFile(dropped); });
    }
    // A widget announces its destruction before its guards are cleared: remove it by identity.
    QObject::connect(window, &QObject::destroyed, &mConnections, [this, window] {
        mWindows.removeIf([window](const QPointer<KVEditorWindow>& w) { return !w || w == window; });
        if (mController) mController->documentsChanged();
    });
    mWindows.prepend(window);
    window->resize(900, 600);
    window->show();
    window->activateWindow();
    return true;
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
        if (window) return window;
    }
    return nullptr;
}

KVEditorWindow* WindowDocumentHost::windowForPath(const QString& canonical) const {
    for (const auto& window : mWindows) {
        if (window && window->property(kPathProperty).toString() == canonical) return window;
    }
    return nullptr;
}

void WindowDocumentHost::performOnFrontDocument(DocumentCommand command) {
    KVEditorWindow* window = frontWindow();
    if (!window) return;
    switch (command) {
        case DocumentCommand::ShowInput: window->tabs()->setCurrentIndex(KVEditorWindow::kInputTab); return;
        case DocumentCommand::ShowAnalysis: window->tabs()->setCurrentIndex(KVEditorWindow::kAnalysisTab); return;
        case DocumentCommand::ShowOutput: window->tabs()->setCurrentIndex(KVEditorWindow::kOutputTab); return;
        case DocumentCommand::Undo: return;
        default: Platform::shared().beep(); return;
    }
}

}  // namespace orvex
