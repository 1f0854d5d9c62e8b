#include "views/AnalysisScrollArea.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

#include "views/KVAnalysisView.h"

namespace orvex {

AnalysisScrollArea::AnalysisScrollArea(QWidget* parent) : QScrollArea(parent), mView(new KVAnalysisView) {
    setAccessibleName("Analysis Editor");
    setWidgetResizable(false);
    setWidget(mView);
    mView->setScrollArea(this);
    setBackgroundRole(QPalette::Dark);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void AnalysisScrollArea::resizeEvent(QResizeEvent* event) {
    const bool atBottom = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    QScrollArea::resizeEvent(event);
    mView->setFrameSize(viewport()->width());
    if (atBottom) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

// Moving the view lets Qt shift the pixels already shown and ask the view to paint only the
// strip that came into sight; the ruler, status line and overlays are drawn at fixed places in
// the window, so the shifted copies of them would stay. The whole view is marked for painting
// (the view paints only what the window shows).
void AnalysisScrollArea::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    mView->update();
    mView->followMouseAfterScroll();
}

// Shift and the wheel move along time, as in every editor of sound, a tenth of the window a
// step; Ctrl and the wheel zoom in time about the mouse, Ctrl+Shift in pitch, by the square root
// of 2 a step.
void AnalysisScrollArea::wheelEvent(QWheelEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (!(modifiers & (Qt::ShiftModifier | Qt::ControlModifier))) return QScrollArea::wheelEvent(event);
    const QPoint delta = event->angleDelta();
    const int eighths = delta.y() != 0 ? delta.y() : delta.x();  // 120 a notch
    if (modifiers & Qt::ControlModifier) {
        const double factor = std::pow(2.0, eighths / 240.0);
        const bool pitch = modifiers & Qt::ShiftModifier;
        mView->zoomBy(pitch ? 1.0 : factor, pitch ? factor : 1.0, event->position().toPoint());
    } else {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() - eighths * std::max(viewport()->width() / 10, 1) / 120);
    }
    event->accept();
}

}  // namespace orvex
