#include "app/DesktopDocuments.h"

#include "app/EditorDocumentBridge.h"
#include "app/KVEditorWindow.h"
#include "application/PreferencesModel.h"
#include "control/KVSegmentController.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QShortcut>

namespace orvex {

DesktopDocuments::DesktopDocuments(KVDocumentOptions options, QObject* parent)
    : QObject(parent), mOptions(std::move(options)) {
    mWindowSetup = [this](KVEditorWindow& window) {
        connect(&window, &KVEditorWindow::fileDropped, this, [this](const QString& dropped) { openDocument(dropped); });
        auto* open = new QShortcut(QKeySequence::Open, &window);
        connect(open, &QShortcut::activated, this, [this, w = &window] { chooseAndOpen(w); });
    };
}

// Documents go before their windows: each needs its window's views until it is destroyed.
DesktopDocuments::~DesktopDocuments() {
    const auto windows = mWindows.values();
    while (mDocuments.count() > 0) mDocuments.close(mDocuments.documents().back().get());
    for (const QPointer<KVEditorWindow>& window : windows) delete window.data();
}

KVSeparationSettings DesktopDocuments::separationFromPreferences() {
    const PreferenceValues values = PreferencesModel().values();
    KVSeparationSettings settings;
    settings.method = values.medianSeparation ? SeparationMethod::Median : SeparationMethod::Described;
    settings.median.timeSeconds = values.medianTimeMs / 1000.0;
    settings.median.frequencyHertz = values.medianBandHz;
    settings.median.maskPower = values.medianPowerTenths / 10.0;
    return settings;
}

void DesktopDocuments::applyPreferences() {
    for (const auto& document : mDocuments.documents()) applyPreferencesTo(*document);
}

void DesktopDocuments::applyPreferencesTo(KVWaveDocument& document) {
    const PreferenceValues values = PreferencesModel().values();
    document.setSeparation(separationFromPreferences());
    document.setHistoryLimits(std::size_t(values.undoLevels), values.undoDiskPercent / 100.0);
}

bool DesktopDocuments::openDocument(const QString& path) {
    KVEditorWindow* window = nullptr;
    EditorDocumentBridge* bridge = nullptr;
    const auto make = [&](Result&) {
        // Shown at once, so the set-up question of a new file appears as a sheet on it.
        window = new KVEditorWindow;
        window->setWindowTitle(QFileInfo(path).completeBaseName());  // the document sets it again once open
        window->holdOpen();
        window->show();
        bridge = new EditorDocumentBridge(*window);
        return std::make_unique<KVWaveDocument>(bridge, mOptions);
    };
    const KVOpenDocuments::Opened opened = mDocuments.openDocumentAtPath(path.toStdString(), make);
    if (opened.alreadyOpen) {
        if (KVEditorWindow* open = mWindows.value(opened.document)) {
            open->show();
            open->raise();
            open->activateWindow();
        }
        return true;
    }
    if (!opened.result || !opened.document) {
        delete window;  // the document that used it is already gone
        return false;
    }
    mWindows.insert(opened.document, window);
    applyPreferencesTo(*opened.document);
    bridge->attach(opened.document);
    connectWindow(window);
    emit documentsChanged();
    window->release();  // a close asked for while opening happens now
    return true;
}

void DesktopDocuments::connectWindow(KVEditorWindow* window) {
    connect(window, &KVEditorWindow::closing, this, [this, window] { closeWindow(window); });
    if (mWindowSetup) mWindowSetup(*window);
}

bool DesktopDocuments::chooseAndOpen(QWidget* parent) {
    QFileDialog dialog(parent, "Please choose an audio file to analyze");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept, "Analyze");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    return openDocument(dialog.selectedFiles().first());
}

// The chosen segment is stored with the file, so reopening it shows the same segment.
void DesktopDocuments::closeWindow(KVEditorWindow* window) {
    KVWaveDocument* document = documentOfWindow(window);
    if (!document) return;
    if (KVSegmentController* segments = document->segmentController()) segments->saveSelectionAndAnalysisRange();
    window->findChild<EditorDocumentBridge*>()->detach();
    mWindows.remove(document);
    mDocuments.close(document);
    emit documentsChanged();
}

KVEditorWindow* DesktopDocuments::windowForPath(const QString& path) const {
    return mWindows.value(mDocuments.documentForPath(path.toStdString()));
}

KVWaveDocument* DesktopDocuments::documentOfWindow(const KVEditorWindow* window) const {
    for (auto it = mWindows.begin(); it != mWindows.end(); ++it)
        if (it.value() == window) return const_cast<KVWaveDocument*>(it.key());
    return nullptr;
}

}  // namespace orvex
