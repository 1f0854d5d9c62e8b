#include "app/EditorDocumentBridge.h"

#include <QAbstractButton>
#include <QShortcut>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>

#include "app/KVEditorWindow.h"
#include "app/KVExportPanels.h"
#include "app/KVProgressSheet.h"
#include "app/TransportBridge.h"
#include "app/WindowDocumentHost.h"
#include "control/KVOutputController.h"
#include "document/KVWaveDocument.h"
#include "platform/Platform.h"
#include "views/KVAnalysisView.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"

namespace orvex {

namespace {
constexpr int kDiskSpaceIntervalMs = 10'000;
}

EditorDocumentBridge::EditorDocumentBridge(KVEditorWindow& window)
    : QObject(&window), mWindow(window), mTransport(new TransportBridge(window, this)), mAnalysisTab(window, this) {
    mDiskSpaceTimer.setInterval(kDiskSpaceIntervalMs);
    connect(&mDiskSpaceTimer, &QTimer::timeout, this, [this] {
        if (mDocument) mDocument->updateDiskSpace();
    });
    connectCommands();
}

void EditorDocumentBridge::attach(KVWaveDocument* document) {
    mDocument = document;
    mTransport->attach(document);
    mDiskSpaceTimer.start();
    mAnalysisTab.attach(document);
    showCommandState(document->commandState());
}

void EditorDocumentBridge::detach() {
    mTransport->detach();
    mDiskSpaceTimer.stop();
    mAnalysisTab.detach();
    mDocument = nullptr;
}

// The buttons of the command table run their commands as the menu items do, on this window's
// document; the menus follow its new state.
void EditorDocumentBridge::connectTableButtons() {
    for (const EditorCommandRow& row : EditorCommands::all()) {
        if (row.button.empty()) continue;
        QAbstractButton* button = mWindow.button(QString::fromUtf8(row.button.data(), qsizetype(row.button.size())));
        connect(button, &QAbstractButton::clicked, this, [this, command = row.command] {
            if (!mDocument) return;
            WindowDocumentHost::performInWindow(mWindow, *mDocument, command);
            mAnalysisTab.refreshMenuStates();
        });
    }
}

void EditorDocumentBridge::connectCommands() {
    const auto on = [this](const char* outlet, auto command) {
        connect(mWindow.button(outlet), &QAbstractButton::clicked, this, command);
    };
    connectTableButtons();
    on("uiResetMasterFileButton", [this] { resetMaster(); });
    on("uiSaveEditedSegmentButton", [this] {
        if (mDocument) mDocument->commitEditToMaster();
    });
    connect(mWindow.tabs(), &QTabWidget::currentChanged, &mAnalysisTab, &AnalysisTabBridge::tabChanged);
    // Escape stops a running analysis; the picture keeps what was analysed so far.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), &mWindow);
    connect(escape, &QShortcut::activated, this, [this] {
        if (mDocument) mDocument->cancelAnalysis();
    });
}

bool EditorDocumentBridge::refusedWhileBusy() const {
    if (!mDocument->isBusy()) return false;
    Platform::shared().beep();
    return true;
}

void EditorDocumentBridge::exportMaster() {
    if (!mDocument || refusedWhileBusy()) return;
    const QString path =
        KVExportPanels::askForMasterExportPath(&mWindow, QString::fromStdString(mDocument->workingFilePath()));
    if (path.isEmpty() || !mDocument) return;
    mWindow.statusBar()->clearMessage();
    mDocument->exportMaster(path.toStdString());
}

void EditorDocumentBridge::exportSegment() {
    const QString path = askForAnalysisExportPath(&KVExportPanels::askForSegmentExportPath);
    if (!path.isEmpty()) mDocument->exportCurrentSegment(path.toStdString());
}

void EditorDocumentBridge::exportStems() {
    const QString path = askForAnalysisExportPath(&KVExportPanels::askForStemsExportPath);
    if (!path.isEmpty()) mDocument->exportStems(path.toStdString());
}

// The panel for an export of the analysed segment; "" (after a beep) without an analysis or
// while something runs, or when the panel is cancelled.
QString EditorDocumentBridge::askForAnalysisExportPath(QString (*ask)(QWidget*, const QString&)) {
    if (!mDocument || refusedWhileBusy()) return {};
    if (!mDocument->analysisController()) {
        Platform::shared().beep();
        return {};
    }
    const QString path = ask(&mWindow, QString::fromStdString(mDocument->workingFilePath()));
    if (path.isEmpty() || !mDocument) return {};
    mWindow.statusBar()->clearMessage();
    return path;
}

void EditorDocumentBridge::resetMaster() {
    if (!mDocument || !mDocument->outputController() || refusedWhileBusy()) return;
    if (KVExportPanels::confirmResetMaster() && mDocument) mDocument->resetMasterFile();
}

// The document's alerts have been shown by now. Whatever an export clipped is said in the status
// line as the sheet ends, however the export was started; the files of the segment and its
// stems are revealed once written (the master's own finishing step reveals it).
void EditorDocumentBridge::exportFinished(const KVExportReport& report) {
    const QString clipping = QString::fromStdString(report.clippingText());
    if (!clipping.isEmpty()) mWindow.statusBar()->showMessage(clipping);
    const bool written = report.result && report.outcome == KVExportWriter::Outcome::Written;
    if (written && report.kind != KVExportReport::Kind::Master && !report.paths.empty())
        Platform::shared().revealFile(report.paths.front());
}

KVSegmentViewInterface* EditorDocumentBridge::segmentView() { return mWindow.segmentView(); }

KVAnalysisViewInterface* EditorDocumentBridge::analysisView() { return mWindow.analysisView(); }
KVOutputViewInterface* EditorDocumentBridge::outputView() { return mWindow.outputView(); }

void EditorDocumentBridge::setTitle(const std::string& title) { mWindow.setWindowTitle(QString::fromStdString(title)); }

void EditorDocumentBridge::setChecked(const char* outlet, bool on) {
    if (QAbstractButton* button = mWindow.button(outlet)) button->setChecked(on);
}

void EditorDocumentBridge::showCommandState(const KVDocumentCommandState& state) {
    setChecked("uiPlayButton", state.isPlaying);
    setChecked("uiStopButton", !state.isPlaying);
    setChecked("uiPlayOriginalButton", state.playOriginal);
    setChecked("uiLoopButton", state.loopEnabled);
    setChecked("uiSnapToGridButton", state.snapToGrid);
    setChecked("uiAttenuateF0Button", state.attenuateF0);
    setChecked("uiAttackModeButton", state.attackMode);
    setChecked("uiShowOriginalButton", state.showOriginal);
    setChecked("uiRealtimePreRenderButton", state.realtimePreview);
    const char* const modes[] = {"uiExtractButton", "uiSuppressButton", "uiModifyButton"};
    setChecked(modes[static_cast<int>(state.mode)], true);
    const char* const tools[] = {"uiMultiPencilButton", "uiSinglePencilButton", "uiF1PencilButton",
                                 "uiBoxButton",         "uiDenoiseBoxButton",   "uiBgBoxButton",
                                 "uiGapFillerBoxButton", "uiMagicBoxButton",    "uiDeselectBoxButton"};
    setChecked(tools[static_cast<int>(state.tool)], true);
    mWindow.historyNoteLabel()->setText(QString::fromStdString(state.historyNote));
    mWindow.historyNoteLabel()->setVisible(!state.historyNote.empty());
    // The modification gain stays disabled in every mode until the selection reads it.
    mAnalysisTab.showCommandState(state);
}

void EditorDocumentBridge::beginProcessing(const std::string& text) {
    mWindow.progressSheet()->begin(QString::fromStdString(text));
}

void EditorDocumentBridge::setProgressValue(int percent) { mWindow.progressSheet()->setValue(percent); }

void EditorDocumentBridge::setFreeDiskSpaceText(const std::string& text) {
    mWindow.freeDiskSpaceLabel()->setText(QString::fromStdString(text));
}

}  // namespace orvex
