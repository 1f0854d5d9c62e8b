#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <mutex>
#include <vector>

#include "control/KVOverviewBuilder.h"
#include "control/KVSegmentRange.h"
#include "control/KVSegmentViewInterface.h"
#include "control/OverviewColumns.h"

namespace orvex {

// The input overview: the waveform of the whole working file with the segment chosen for
// analysis (start and end lines with markers), the analysed range shaded and the play cursor.
// A press or drag in the upper half moves the start, in the lower half the end; Space asks to
// play or stop. The picture is cached and rebuilt only when something it shows changes; a
// cursor timer at 40 Hz repaints while the play cursor moves.
// Threads: the overview columns belong to the controller, whose overview thread fills them
// while the view paints copies; everything else runs on the GUI thread, and redraw requests
// from other threads are queued to it.
class KVWaveSegmentView : public QWidget, public KVSegmentViewInterface {
    Q_OBJECT
public:
    static constexpr int kCursorIntervalMs = 25;

    explicit KVWaveSegmentView(QWidget* parent = nullptr);

    // --- Controller side ---
    void showColumns(std::shared_ptr<const OverviewColumns> columns) override;
    void setHighQuality(bool highQuality) override { mHighQuality = highQuality; }
    void setNumberOfChannels(std::int64_t channels) override;
    void setNeedsRedraw() override;
    void setNeedsDisplay() override;
    void setAnalysisStartFrame(FramePos frame) override;
    void setAnalysisEndFrame(FramePos frame) override;
    void setPlayCursor(FramePos frame) override;
    void useRange(KVSegmentRange* range) override;
    void setNumFrames(FrameCount frames) override;
    void setSelectionStartFrame(FramePos frame) override;
    void setSelectionEndFrame(FramePos frame) override;
    FramePos selectionStartFrame() override { return mRange->selectionStartFrame(); }
    FramePos selectionEndFrame() override { return mRange->selectionEndFrame(); }
    FramePos analysisStartFrame() const override { return mRange->analysisStartFrame(); }
    FramePos analysisEndFrame() const override { return mRange->analysisEndFrame(); }

    // --- Commands ---
    void selectPreviousSegment();
    void selectNextSegment();
    // Beeps and changes nothing when there is no analysed range.
    void selectAnalysisRange();

    FramePos playCursor() const { return mPlayCursor; }
    FrameCount totalFrames() const { return mRange->totalFrames(); }
    std::int64_t numberOfChannels() const { return mChannels; }
    bool selectionChanged() const { return mSelectionChanged; }
    void clearSelectionChanged() { mSelectionChanged = false; }
    // Frames per pixel at the current width (a width of 0 counts as 1 pixel).
    double framesPerPixel() const;
    // The cached picture, as last built (for tests and the benchmark).
    const QImage& cachedPicture() const { return mPicture; }
    // Rebuilds the cached picture now.
    void rebuildPicture();

    // The delegate's messages: after every mouse event, and on Space.
    std::function<void()> onCursorMoved;
    std::function<void()> onTogglePlayStop;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void handleMouse(QPointF position);
    // The selection lines and their times; the additive shading of the selection and the edge
    // markers, each over its shadow.
    void drawSelectionLines(class OverviewPainter& painter);
    void drawShadedSelection(class OverviewPainter& painter) const;
    void drawMarkers(QPainter& painter, const class OverviewPainter& overview) const;
    std::vector<KVOverviewColumn> columnsCopy() const;
    // Runs call on the GUI thread: at once when already there, else queued.
    void onGuiThread(std::function<void()> call);

    std::shared_ptr<const OverviewColumns> mColumns;  // null until a controller hands its own
    // The range shown and edited: the controller's once it has one, else the view's own.
    KVSegmentRange mOwnRange;
    KVSegmentRange* mRange = &mOwnRange;
    std::int64_t mChannels = 1;
    FramePos mPlayCursor = 0;
    FramePos mPaintedCursor = -1;
    bool mNeedsRedraw = true;
    bool mHighQuality = true;
    bool mSelectionChanged = false;
    QImage mPicture;
    QImage mStartMarker;  // the resources "selectionStart" and "selectionEnd"; null when missing
    QImage mEndMarker;
    QTimer mCursorTimer;
};

}  // namespace orvex
