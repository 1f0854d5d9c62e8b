#include "app/EditorDocumentBridge.h"

#include <QAbstractButton>
#include <QSlider>
#include <QTabWidget>

#include "app/KVEditorWindow.h"
#include "control/KVSegmentController.h"
#include "document/KVWaveDocument.h"
#include "platform/Platform.h"
#include "views/KVAnalysisView.h"
#include "views/KVProgressSubview.h"
#include "views/KVWaveSegmentView.h"

namespace orvex {

namespace {
constexpr int kDiskSpaceIntervalMs = 10'000;
}

EditorDocumentBridge::EditorDocumentBridge(KVEditorWindow& window)
    : QObject(&window), mWindow(window), mAnalysisTab(window, this) {
    mCursorTimer.setInterval(KVWaveSegmentView::kCursorIntervalMs);
    connect(&mCursorTimer, &QTimer::timeout, this, &EditorDocumentBridge::followPlayPosition);
    mDiskSpaceTimer.setInterval(kDiskSpaceIntervalMs);
    connect(&mDiskSpaceTimer, &QTimer::timeout, this, [this] {
        if (mDocument) mDocument->updateDiskSpace();
    });
}

void EditorDocumentBridge::attach(KVWaveDocument* document) {
    mDocument = document;
    connectTransport();
    connectInputView();
    mCursorTimer.start();
    mDiskSpaceTimer.start();
    mAnalysisTab.attach(document);
    showCommandState(document->commandState());
}

void EditorDocumentBridge::detach() {
    mCursorTimer.stop();
    mDiskSpaceTimer.stop();
    if (KVWaveSegmentView* view = mWindow.segmentView()) {
        view->onCursorMoved = nullptr;
        view->onTogglePlayStop = nullptr;
    }
    mAnalysisTab.detach();
    mDocument = nullptr;
}

// Each control runs its command only while a document is attached.
void EditorDocumentBridge::connectTransport() {
    const auto on = [this](const char* outlet, auto command) {
        connect(mWindow.button(outlet), &QAbstractButton::clicked, this, [this, command] {
            if (mDocument) command(*mDocument);
        });
    };
    on("uiPlayButton", [](KVWaveDocument& d) { d.play(); });
    on("uiPlayOriginalButton", [](KVWaveDocument& d) { d.playOriginal(); });
    on("uiStopButton", [](KVWaveDocument& d) { d.stop(); });
    on("uiRewindButton", [](KVWaveDocument& d) { d.rewind(); });
    on("uiForwardButton", [](KVWaveDocument& d) { d.forward(); });
    on("uiLoopButton", [](KVWaveDocument& d) { d.toggleLoop(); });
    on("uiRevealFileButton", [](KVWaveDocument& d) { Platform::shared().revealFile(d.sourcePath()); });
    connect(mWindow.volumeSlider(), &QSlider::valueChanged, this, [this](int decibels) {
        if (mDocument) mDocument->setPlaybackVolumeDecibels(decibels);
    });
    connect(mWindow.tabs(), &QTabWidget::currentChanged, &mAnalysisTab, &AnalysisTabBridge::tabChanged);
}

void EditorDocumentBridge::connectInputView() {
    KVWaveSegmentView* view = mWindow.segmentView();
    if (!view) return;
    view->onCursorMoved = [this] {
        if (mDocument && mDocument->segmentController()) mDocument->segmentController()->cursorWasMoved();
    };
    view->onTogglePlayStop = [this] {
        if (mDocument && mDocument->segmentController()) mDocument->segmentController()->togglePlayStop();
    };
}

void EditorDocumentBridge::followPlayPosition() {
    if (!mDocument || !mWindow.segmentView()) return;
    if (mDocument->isPlaying() || mDocument->selectedTab() == PlaySource::Input)
        mWindow.segmentView()->setPlayCursor(mDocument->playPosition());
}

KVSegmentViewInterface* EditorDocumentBridge::segmentView() { return mWindow.segmentView(); }

KVAnalysisViewInterface* EditorDocumentBridge::analysisView() { return mWindow.analysisView(); }

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
    mWindow.modifyGainSlider()->setEnabled(state.gainControlsEnabled);
    mAnalysisTab.showCommandState(state);
}

void EditorDocumentBridge::beginProcessing(const std::string& text) {
    mWindow.progressBox()->setString(QString::fromStdString(text));
    mWindow.progressBox()->setFloatValue(0);
    mWindow.progressBox()->show();
    mWindow.cancelButton()->show();
}

void EditorDocumentBridge::setProgressValue(int percent) {
    if (percent < 0) {
        mWindow.progressBox()->hide();
        mWindow.cancelButton()->hide();
        return;
    }
    mWindow.progressBox()->setFloatValue(static_cast<float>(percent));
}

void EditorDocumentBridge::setFreeDiskSpaceText(const std::string& text) {
    mWindow.freeDiskSpaceLabel()->setText(QString::fromStdString(text));
}

}  // namespace orvex
