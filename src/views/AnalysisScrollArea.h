#pragma once

#include <QScrollArea>

namespace orvex {

class KVAnalysisView;

// The analysis tab's scroll area: holds the analysis view at its virtual width (the whole
// segment) and its rows, at the view's zoom; the view paints only what the window shows.
// Tells the view the width the layout gives it, repaints the whole window on every scroll (the
// ruler and the status line stay put while the picture moves) and starts at the bottom, where
// the level strip is (the view then centres itself on the rows of its sound). Shift and the
// wheel scroll in time; Ctrl and the wheel zoom in time, Ctrl+Shift in pitch. GUI thread only.
class AnalysisScrollArea : public QScrollArea {
    Q_OBJECT
public:
    explicit AnalysisScrollArea(QWidget* parent = nullptr);
    KVAnalysisView* view() const { return mView; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    KVAnalysisView* mView;
};

}  // namespace orvex
