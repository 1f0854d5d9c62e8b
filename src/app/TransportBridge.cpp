#include "app/TransportBridge.h"

#include <QAbstractButton>
#include <QSlider>

#include "app/KVEditorWindow.h"
#include "control/KVOutputController.h"
#include "control/KVSegmentController.h"
#include "document/KVWaveDocument.h"
#include "views/KVOutputFileView.h"
#include "views/KVWaveSegmentView.h"

namespace orvex {

TransportBridge::TransportBridge(KVEditorWindow& window, QObject* parent) : QObject(parent), mWindow(window) {
    mCursorTimer.setInterval(kCursorIntervalMs);
    connect(&mCursorTimer, &QTimer::timeout, this, &TransportBridge::followPlayPosition);
    connectButtons();
    connectLevels();
}

void TransportBridge::attach(KVWaveDocument* document) {
    mDocument = document;
    connectViews();
    mDocument->setPlaybackVolumeDecibels(KVEditorWindow::sliderDecibels(mWindow.volumeSlider()->value()));
    mCursorTimer.start();
}

void TransportBridge::detach() {
    mCursorTimer.stop();
    if (KVWaveSegmentView* view = mWindow.segmentView()) {
        view->onCursorMoved = nullptr;
        view->onTogglePlayStop = nullptr;
    }
    if (KVOutputFileView* view = mWindow.outputView()) {
        view->onCursorMoved = nullptr;
        view->onTogglePlayStop = nullptr;
    }
    mDocument = nullptr;
}

// Play hears the selection, not the original, and starts where the selected tab's cursor
// stands. The other transport buttons are the command table's (EditorDocumentBridge).
void TransportBridge::connectButtons() {
    connect(mWindow.button("uiPlayButton"), &QAbstractButton::clicked, this, [this] {
        if (!mDocument) return;
        if (KVAnalysisController* analysis = mDocument->analysisController()) analysis->setPlayOriginal(false);
        mDocument->play();
    });
}

// The slider counts hundredths of a decibel.
void TransportBridge::connectLevels() {
    connect(mWindow.volumeSlider(), &QSlider::valueChanged, this, [this](int value) {
        if (mDocument) mDocument->setPlaybackVolumeDecibels(KVEditorWindow::sliderDecibels(value));
    });
}

// The overviews report to their controllers, which tell the document.
void TransportBridge::connectViews() {
    if (KVWaveSegmentView* view = mWindow.segmentView()) {
        view->onCursorMoved = [this] {
            if (mDocument && mDocument->segmentController()) mDocument->segmentController()->cursorWasMoved();
        };
        view->onTogglePlayStop = [this] {
            if (mDocument && mDocument->segmentController()) mDocument->segmentController()->togglePlayStop();
        };
    }
    if (KVOutputFileView* view = mWindow.outputView()) {
        view->onCursorMoved = [this] {
            if (mDocument && mDocument->outputController()) mDocument->outputController()->cursorWasMoved();
        };
        view->onTogglePlayStop = [this] {
            if (mDocument && mDocument->outputController()) mDocument->outputController()->togglePlayStop();
        };
    }
}

void TransportBridge::followPlayPosition() {
    if (mDocument) mDocument->deliverPlayPosition();
}

}  // namespace orvex
