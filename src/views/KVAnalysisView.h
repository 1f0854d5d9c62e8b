#pragma once

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/KVAnalysisViewInterface.h"
#include "engine/KVDocumentMode.h"
#include "gesture/ToolGesture.h"
#include "picture/DisplayLayers.h"
#include "views/AnalysisViewScale.h"

class QScrollArea;
class QTimer;

namespace orvex {

class KVAnalysisController;

// The analysis editor's time-frequency picture: one column per analysis frame, pitch upwards at
// six rows per semitone up to 22 050 Hz, as wide as the analysis (a 900 s segment is about
// 310 000 columns), shown inside a scroll area at a zoom in time and in pitch; only the visible
// columns are read and painted. View coordinates are those of the picture: x = frame, y = 6 x
// MIDI note with y = 0 at the bottom. Mouse gestures of the current tool become rectangles, strip ranges and pencil paths
// for the controller (the delegate, not owned).
// Threads: a QWidget, used on the GUI thread. The analysis controller's preview thread calls
// the state queries of KVAnalysisViewInterface under monitor(): they read a copy of the mouse,
// drawing and focus state that the GUI thread updates, never the widget itself. Stores may be
// swapped from any thread (under monitor()); other interface calls from a worker are posted.
class KVAnalysisView : public QWidget, public KVAnalysisViewInterface {
    Q_OBJECT
public:
    explicit KVAnalysisView(QWidget* parent = nullptr);
    ~KVAnalysisView() override;

    // The controller that receives the gestures; null detaches.
    void setDelegate(std::weak_ptr<KVAnalysisController> delegate);
    // The scroll area the view lives in (for auto-scrolling and the layout width).
    void setScrollArea(QScrollArea* area) { mScrollArea = area; }

    // --- Display ---
    // w is the width the layout gives; the picture is as wide as a complete analysis' frames
    // (or the window when that is wider) and as high as its rows, at the zoom.
    void setFrameSize(int w);

    // --- Zoom ---
    // Multiplies the zoom in time and in pitch (each within its limits), keeping the picture's
    // point under the given point of the scroll area's window where it is.
    void zoomBy(double timeFactor, double pitchFactor, QPoint windowPoint);
    // Zooms about the middle of the window.
    void zoomBy(double timeFactor, double pitchFactor);
    // The whole segment and every row in the window, as far as the limits allow.
    void fitToWindow();
    const AnalysisViewScale& scale() const { return mScale; }
    // The widget pixel that shows view cell (x, row).
    QPoint widgetPixelOf(double x, int row) const;
    void setContrast(float contrast);
    void setDisplayTracks(bool on);
    void setShowOriginal(bool on);
    // The pitch of A4 that names the notes of the pitch axis and the status line (the rows stay
    // those of 440 Hz).
    void setA4Tuning(double hertz);
    double a4Tuning() const { return mA4Tuning; }
    bool showOriginal() const { return mSettings.showOriginal; }
    void stopRefresh();
    void saveImageSnapshot();
    // The file the "s" key writes to; by default a save dialog. An empty answer beeps.
    void setSnapshotPathProvider(std::function<QString()> provider) { mSnapshotPath = std::move(provider); }
    // Columns read from each store by the last rebuild of the layers (0: nothing was rebuilt).
    std::int64_t lastRebuildColumns() const { return mLastRebuildColumns; }

    // --- Tools ---
    void setTool(AnalysisTool tool);
    AnalysisTool tool() const { return mTool; }
    // 0 add, 1 subtract; in Modify mode a pencil stores the opposite.
    void setSelectionMode(SelectionMode mode);
    SelectionMode selectionMode() const { return mSelectionMode; }
    void setShiftMode(bool on) { mShiftMode = on; }
    void setDocumentMode(DocumentMode mode) { mDocumentMode = mode; }
    // The preview button: latches the real-time preview on or switches it off.
    void setRealtimePreview(bool on);
    bool previewOn() const { return mPreviewOn; }
    bool previewLatched() const { return mPreviewLatched; }

    // --- KVAnalysisViewInterface ---
    std::recursive_mutex& monitor() override { return mMonitor; }
    bool isDrawing() override;
    bool isFirstResponder() override;
    float pitchUnderMouse() override;
    FramePos frameUnderMouse() override;
    FramePos editCursor() override { return mEditCursorFrame; }
    void setPlayCursor(FramePos sample) override;
    FramePos playCursor() override { return mPlayCursorFrame; }
    void scrollToPlayCursor() override;
    void redraw() override;
    void relayout() override;
    void invalidateImage() override;
    void setStatusMessage(const std::string& message) override;
    void addPath(const std::vector<KVPathPoint>& points) override;
    void removePath(const std::vector<KVPathPoint>& points) override;
    void setStores(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) override;

    // The visible part of the view in view coordinates (y upwards).
    QRectF visibleViewRect() const;
    // After a scroll the mouse points at another frame and pitch: the status line and the
    // preview follow at once instead of at the next mouse move.
    void followMouseAfterScroll();
    // The extra status line ("Processing... 40 % done" while the analysis runs); empty when none.
    QString statusMessage() const { return QString::fromStdString(mStatusMessage); }

signals:
    // A finished gesture went to the controller (the selection may have changed).
    void gestureReported();
    // The status line's extra message changed (on the GUI thread).
    void statusMessageChanged(const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Snapshot;  // what the overlay painter reads
    // The state the preview thread reads, copied from the GUI thread under mStateMutex.
    struct SharedState {
        bool drawing = false;
        bool firstResponder = false;
        double mouseX = 0.0, mouseY = 0.0;
    };

    void onGuiThread(std::function<void()> call);
    void rebuildLayersIfNeeded(const QRectF& visible);
    void updatePosition(const QPointF& widgetPosition, Qt::KeyboardModifiers modifiers);
    void modifiersChanged(Qt::KeyboardModifiers modifiers);
    void reportGesture(const GestureResult& result);
    void autoScroll(const QPointF& widgetPosition);
    void publishState();
    void centreOnEnergy();
    void paintLayers(QPainter& painter);
    std::shared_ptr<KVAnalysisController> delegate() const { return mDelegate.lock(); }
    static bool optionHeld(Qt::KeyboardModifiers modifiers);
    static Qt::KeyboardModifier modifierOfKey(int key);
    QPointF viewPoint(const QPointF& widgetPosition) const;

    // Guards the stores, the layers while they are built, and the preview thread's queries.
    mutable std::recursive_mutex mMonitor;
    std::mutex mStateMutex;
    SharedState mShared;
    std::mutex mPathsMutex;
    std::vector<std::vector<KVPathPoint>> mPaths;

    KVAnalysisFileSet* mAnalysisStore = nullptr;
    KVAnalysisFileSet* mSelectionStore = nullptr;
    DisplayLayers mLayers;
    LayerSettings mSettings;
    QImage mOriginalImage, mSelectionImage;
    AnalysisViewScale mScale;
    double mA4Tuning = 440.0;
    QRectF mCachedVisibleRect;
    bool mNeedsRebuild = true;
    // The picture of these stores has been scrolled to the rows that hold their sound.
    bool mCentredOnEnergy = false;
    std::int64_t mLastRebuildColumns = 0;
    int mLayoutWidth = 0;

    std::weak_ptr<KVAnalysisController> mDelegate;
    QScrollArea* mScrollArea = nullptr;
    QPointer<QWidget> mWatchedWindow;
    QTimer* mRefreshTimer = nullptr;
    std::function<QString()> mSnapshotPath;
    std::string mStatusMessage;

    FramePos mPlayCursorFrame = 0, mEditCursorFrame = 0;
    FramePos mDrawnPlayColumn = -1;
    double mMouseX = 0.0, mMouseY = 0.0;
    int mMouseState = 0;  // 0 outside, 1 dragging, 2 button down, 3 button up, 4 inside
    Qt::KeyboardModifiers mModifiers;
    ToolGesture mGesture;
    AnalysisTool mTool = AnalysisTool::multiPencil;
    SelectionMode mSelectionMode = SelectionMode::Add;
    bool mShiftMode = false;
    bool mPreviewOn = false;
    bool mPreviewLatched = false;
    DocumentMode mDocumentMode = DocumentMode::Modify;
};

}  // namespace orvex
