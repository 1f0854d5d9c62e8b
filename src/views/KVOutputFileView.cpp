#include "views/KVOutputFileView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QThread>

#include <cmath>

#include "platform/PostedCall.h"
#include "views/OverviewPainter.h"

namespace orvex {

namespace {
constexpr std::int64_t kInitialColumns = 4096;
const QColor kEditCursorColour(255, 200, 40);
}  // namespace

KVOutputFileView::KVOutputFileView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 120);
    setAccessibleName(kTitle);
    mCursorTimer.setInterval(kCursorIntervalMs);
    connect(&mCursorTimer, &QTimer::timeout, this, [this] {
        if (mPlayCursor.load() != mPaintedCursor) update();
    });
    mCursorTimer.start();
}

void KVOutputFileView::showColumns(std::shared_ptr<const OverviewColumns> columns) {
    mColumns = std::move(columns);
    setNeedsRedraw();
}

void KVOutputFileView::setNumberOfChannels(std::int64_t channels) {
    mChannels = channels;
    setNeedsRedraw();
}

void KVOutputFileView::setNeedsRedraw() {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, PostedCall([this] { setNeedsRedraw(); }), Qt::QueuedConnection);
        return;
    }
    mNeedsRedraw = true;
    update();
}

void KVOutputFileView::setAnalysisStartFrame(FramePos frame) {
    mAnalysisStartRecord = frame / kAnalysisHop;
    setNeedsRedraw();
}

void KVOutputFileView::setAnalysisEndFrame(FramePos frame) {
    mAnalysisEndRecord = frame / kAnalysisHop;
    setNeedsRedraw();
}

void KVOutputFileView::setNumFrames(FrameCount frames) {
    mNumFrames = std::max<FrameCount>(frames, 1);
    setNeedsRedraw();
}

double KVOutputFileView::framesPerPixel() const { return OverviewPainter::framesPerPixel(mNumFrames, width()); }

// Without a controller's columns the view draws silence at its initial resolution.
std::vector<KVOverviewColumn> KVOutputFileView::columns() const {
    return mColumns ? mColumns->copy() : std::vector<KVOverviewColumn>(kInitialColumns);
}

void KVOutputFileView::mouseDoubleClickEvent(QMouseEvent* event) {
    const FramePos frame = static_cast<FramePos>(std::trunc(event->position().x() * framesPerPixel()));
    mEditCursor = std::clamp<FramePos>(frame, 0, mNumFrames);
    mPlayCursor.store(mEditCursor);
    if (onCursorMoved) onCursorMoved();
    setNeedsRedraw();
}

void KVOutputFileView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        if (onTogglePlayStop) onTogglePlayStop();
        return;
    }
    if (event->key() == Qt::Key_Escape) return;
    QWidget::keyPressEvent(event);
}

void KVOutputFileView::focusInEvent(QFocusEvent*) { update(); }
void KVOutputFileView::focusOutEvent(QFocusEvent*) { update(); }
void KVOutputFileView::resizeEvent(QResizeEvent*) { setNeedsRedraw(); }

// The edit cursor is part of the cached picture: it moves only on a double click.
void KVOutputFileView::rebuildPicture() {
    mHighQuality = true;
    mPicture = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&mPicture);
    OverviewPainter painter(p, size(), mNumFrames);
    painter.background();
    painter.analysedRange(mAnalysisStartRecord * kAnalysisHop, mAnalysisEndRecord * kAnalysisHop);
    painter.timeRuler();
    painter.waveform(mChannels, columns());
    drawCursor(p, mEditCursor, kEditCursorColour);
    painter.frameAndTitle(kTitle);
    mNeedsRedraw = false;
}

void KVOutputFileView::drawCursor(QPainter& painter, FramePos frame, const QColor& colour) const {
    // On the pixel's centre, so the one-pixel line is not spread over two half-lit columns.
    const double x = std::floor(static_cast<double>(frame) / framesPerPixel()) + 0.5;
    painter.setPen(QPen(colour, 1.0));
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
}

void KVOutputFileView::paintEvent(QPaintEvent*) {
    if (mNeedsRedraw || mPicture.size() != size()) rebuildPicture();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, mPicture);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    mPaintedCursor = mPlayCursor.load();
    drawCursor(p, mPaintedCursor, Qt::white);
}

}  // namespace orvex
