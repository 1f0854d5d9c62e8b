#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

#include "control/KVOutputViewInterface.h"
#include "control/KVOverviewBuilder.h"
#include "control/OverviewColumns.h"

namespace orvex {

// The master output overview: the waveform of the mixdown as its controller builds it, the
// analysed segment shaded, the time ruler, the edit cursor and the play cursor. A double click
// puts both cursors under the mouse and tells the delegate; Space asks to play or stop; Escape
// is swallowed. The picture is cached and rebuilt only when something it shows changes; a
// cursor timer at 40 Hz repaints while the play cursor moves.
// Threads: the columns belong to the controller, whose overview thread fills them while the
// view paints copies; the play cursor is atomic (the document sets it from its display
// timer); everything else runs on the GUI thread, and redraw requests from other threads are
// queued to it.
class KVOutputFileView : public QWidget, public KVOutputViewInterface {
    Q_OBJECT
public:
    static constexpr int kCursorIntervalMs = 25;
    static constexpr const char* kTitle = "Master Output File Overview";

    explicit KVOutputFileView(QWidget* parent = nullptr);

    // --- Controller side ---
    void showColumns(std::shared_ptr<const OverviewColumns> columns) override;
    void setHighQuality(bool highQuality) override { mHighQuality = highQuality; }
    void setNumberOfChannels(std::int64_t channels) override;
    void setNeedsRedraw() override;
    void setNeedsDisplay() override { setNeedsRedraw(); }
    // Stored in records (frame / 128), as the mixdown counts.
    void setAnalysisStartFrame(FramePos frame) override;
    void setAnalysisEndFrame(FramePos frame) override;
    void setPlayCursor(FramePos frame) override { mPlayCursor.store(frame); }
    void setNumberOfRecords(std::int64_t records) override { setNumFrames(records * kAnalysisHop); }
    FramePos playCursor() const override { return mPlayCursor.load(); }
    FramePos editCursor() const override { return mEditCursor; }

    void setNumFrames(FrameCount frames);
    FrameCount numFrames() const { return mNumFrames; }
    std::int64_t numberOfChannels() const { return mChannels; }
    // Frames per pixel at the current width (a width of 0 counts as 1 pixel).
    double framesPerPixel() const;
    // A copy of the overview columns (for tests).
    std::vector<KVOverviewColumn> columns() const;
    const QImage& cachedPicture() const { return mPicture; }
    void rebuildPicture();

    // The delegate's messages (the output controller's cursorWasMoved and togglePlayStop).
    std::function<void()> onCursorMoved;
    std::function<void()> onTogglePlayStop;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void drawCursor(QPainter& painter, FramePos frame, const QColor& colour) const;

    std::shared_ptr<const OverviewColumns> mColumns;  // null until a controller hands its own
    FrameCount mNumFrames = 1;
    std::int64_t mChannels = 1;
    std::int64_t mAnalysisStartRecord = 0, mAnalysisEndRecord = 0;
    std::atomic<FramePos> mPlayCursor{0};
    FramePos mEditCursor = 0;
    FramePos mPaintedCursor = -1;
    bool mNeedsRedraw = true;
    bool mHighQuality = true;
    QImage mPicture;
    QTimer mCursorTimer;
};

}  // namespace orvex
