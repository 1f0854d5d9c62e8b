#include "views/AnalysisScrollArea.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

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

// Shift and the wheel move along time, as in every editor of sound; a tenth of the window a step.
void AnalysisScrollArea::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ShiftModifier)) return QScrollArea::wheelEvent(event);
    const QPoint delta = event->angleDelta();
    const int notches = delta.y() != 0 ? delta.y() : delta.x();
    QScrollBar* bar = horizontalScrollBar();
    bar->setValue(bar->value() - notches * std::max(viewport()->width() / 10, 1) / 120);
    event->accept();
}

}  // namespace orvex
