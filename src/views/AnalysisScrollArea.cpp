#include "views/AnalysisScrollArea.h"

#include <QScrollBar>

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

void AnalysisScrollArea::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);
    viewport()->update();
}

}  // namespace orvex
