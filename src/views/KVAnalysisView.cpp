#include "views/KVAnalysisView.h"

#include <QCursor>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "engine/KVAnalysisController.h"
#include "engine/KVDocumentMode.h"
#include "picture/EnergyRows.h"
#include "picture/PictureFile.h"
#include "platform/Platform.h"
#include "platform/PostedCall.h"
#include "store/KVAnalysisFileSet.h"
#include "views/AnalysisOverlayPainter.h"

namespace orvex {

namespace {
// Frames stored before the picture is centred on its sound (two blocks of the runner).
constexpr FrameCount kEnergyFrames = 128;
}  // namespace

namespace {
// The play cursor is checked at about 30 Hz; a repaint follows only when it moved.
constexpr int kRefreshMilliseconds = 33;

QImage wrap(const DisplayBitmap& bitmap) {
    return QImage(reinterpret_cast<const uchar*>(bitmap.row(0)), bitmap.width(), bitmap.height(),
                  bitmap.width() * 4, QImage::Format_ARGB32_Premultiplied);
}
}  // namespace

KVAnalysisView::KVAnalysisView(QWidget* parent) : QWidget(parent) {
    setAccessibleName("Analysis view");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(mScale.widgetSize(1));
    mRefreshTimer = new QTimer(this);
    connect(mRefreshTimer, &QTimer::timeout, this, [this] {
        if (display::columnOfSample(mPlayCursorFrame) != mDrawnPlayColumn) update();
    });
    mRefreshTimer->start(kRefreshMilliseconds);
}

KVAnalysisView::~KVAnalysisView() = default;

void KVAnalysisView::setDelegate(std::weak_ptr<KVAnalysisController> delegate) { mDelegate = std::move(delegate); }

void KVAnalysisView::onGuiThread(std::function<void()> call) {
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, PostedCall(std::move(call)), Qt::QueuedConnection);
}

// --- Display ---

void KVAnalysisView::setFrameSize(int w) {
    mLayoutWidth = std::max(1, w);
    const auto layoutColumns = static_cast<std::int64_t>(std::ceil(mLayoutWidth / mScale.timeZoom()));
    std::int64_t columns = layoutColumns;
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (mAnalysisStore && mAnalysisStore->isAnalysisComplete())
            columns = display::virtualWidth(mAnalysisStore->frameCount(), layoutColumns);
    }
    resize(mScale.widgetSize(columns));
    if (columns == layoutColumns) invalidateImage();
}

// --- Zoom ---

void KVAnalysisView::zoomBy(double timeFactor, double pitchFactor, QPoint windowPoint) {
    if (!mScrollArea) return;
    QScrollBar* across = mScrollArea->horizontalScrollBar();
    QScrollBar* up = mScrollArea->verticalScrollBar();
    // The anchor in frames from the left and rows from the top, which the new zoom puts back
    // under the same window point.
    const double frames = (across->value() + windowPoint.x()) / mScale.timeZoom();
    const double rowsDown = (up->value() + windowPoint.y()) / mScale.pitchZoom();
    mScale.setTimeZoom(mScale.timeZoom() * timeFactor);
    mScale.setPitchZoom(mScale.pitchZoom() * pitchFactor);
    setFrameSize(mLayoutWidth);
    across->setValue(int(std::lround(frames * mScale.timeZoom() - windowPoint.x())));
    up->setValue(int(std::lround(rowsDown * mScale.pitchZoom() - windowPoint.y())));
    invalidateImage();
}

void KVAnalysisView::zoomBy(double timeFactor, double pitchFactor) {
    if (mScrollArea) zoomBy(timeFactor, pitchFactor, mScrollArea->viewport()->rect().center());
}

void KVAnalysisView::fitToWindow() {
    if (!mScrollArea) return;
    const QSize window = mScrollArea->viewport()->size();
    FrameCount frames = 0;
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (mAnalysisStore) frames = mAnalysisStore->frameCount();
    }
    mScale.setTimeZoom(frames > 0 ? window.width() / double(frames) : 1.0);
    mScale.setPitchZoom(window.height() / double(AnalysisViewScale::shownRows()));
    setFrameSize(mLayoutWidth);
    mScrollArea->horizontalScrollBar()->setValue(0);
    mScrollArea->verticalScrollBar()->setValue(mScrollArea->verticalScrollBar()->maximum());
    invalidateImage();
}

QPoint KVAnalysisView::widgetPixelOf(double x, int row) const {
    return mScale.toWidget(x, row + 1).toPoint();
}

void KVAnalysisView::setContrast(float contrast) {
    mSettings.contrast = contrast;
    invalidateImage();
}

void KVAnalysisView::setDisplayTracks(bool on) {
    mSettings.displayTracks = on;
    invalidateImage();
}

void KVAnalysisView::setShowOriginal(bool on) {
    mSettings.showOriginal = on;
    invalidateImage();
}

void KVAnalysisView::setA4Tuning(double hertz) {
    mA4Tuning = hertz;
    update();
}

void KVAnalysisView::stopRefresh() { mRefreshTimer->stop(); }

QRectF KVAnalysisView::visibleViewRect() const {
    QRect widgetRect = visibleRegion().boundingRect();
    if (widgetRect.isEmpty()) widgetRect = rect();
    return mScale.viewRectOf(QRectF(widgetRect));
}

void KVAnalysisView::rebuildLayersIfNeeded(const QRectF& visible) {
    if (visible == mCachedVisibleRect && !mNeedsRebuild) return;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mNeedsRebuild) mLayers.invalidate();
    mLastRebuildColumns = mLayers.build(mAnalysisStore, mSelectionStore,
                                        display::visibleColumns(visible.x(), visible.width()),
                                        display::visibleCells(visible.y(), visible.height()), mSettings);
    mOriginalImage = wrap(mLayers.original());
    mSelectionImage = wrap(mLayers.selection());
    mCachedVisibleRect = visible;
    mNeedsRebuild = false;
}

void KVAnalysisView::paintEvent(QPaintEvent*) {
    {
        std::lock_guard<std::mutex> guard(mStateMutex);
        mShared.drawing = true;
    }
    const QRectF visible = visibleViewRect();
    rebuildLayersIfNeeded(visible);
    QPainter painter(this);
    paintLayers(painter);
    const int first = int(mLayers.columns().first);
    AnalysisOverlayState state{.visible = visible, .shown = mScale.widgetRectOf(visible), .firstColumn = first, .columnCount = mLayers.columns().count,
                               .playColumn = display::columnOfSample(mPlayCursorFrame), .tool = mTool,
                               .selectionMode = mSelectionMode, .shift = mShiftMode,
                               .dragging = mGesture.isDragging(), .gesturePoints = mGesture.points(),
                               .gestureRect = mGesture.rectangle(), .mouseX = mMouseX, .mouseY = mMouseY,
                               .paths = {}, .statusMessage = mStatusMessage, .focused = hasFocus(),
                               .showOriginal = mSettings.showOriginal, .a4Tuning = mA4Tuning};
    {
        std::lock_guard<std::mutex> guard(mPathsMutex);
        state.paths = mPaths;
    }
    mDrawnPlayColumn = state.playColumn;
    AnalysisOverlayPainter(painter, mScale).paint(state);
    std::lock_guard<std::mutex> guard(mStateMutex);
    mShared.drawing = false;
}

// The columns and rows the layers hold, each picture cell drawn as a block of pixels at the zoom
// (the nearest cell when zoomed out). The original layer replaces what was there; the selection
// goes over it.
void KVAnalysisView::paintLayers(QPainter& painter) {
    const display::ColumnRange columns = mLayers.columns();
    const display::CellRange cells = mLayers.cells();
    const int top = display::bitmapRowOfCell(cells.highest);
    const QRect source(0, top, int(columns.count), display::bitmapRowOfCell(cells.lowest) - top + 1);
    const QRectF target = mScale.widgetRectOf(
        QRectF(double(columns.first), cells.lowest, double(columns.count), cells.highest - cells.lowest + 1));
    painter.fillRect(rect().intersected(visibleRegion().boundingRect()), Qt::black);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(target, mOriginalImage, source);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (!mLayers.selectionIsBlank()) painter.drawImage(target, mSelectionImage, source);
}

void KVAnalysisView::saveImageSnapshot() {
    QString path = mSnapshotPath ? mSnapshotPath()
                                 : QFileDialog::getSaveFileName(this, "Save Snapshot", QString(), "TIFF (*.tiff *.tif)");
    if (path.isEmpty()) {
        Platform::shared().beep();
        return;
    }
    if (!PictureFile::hasKnownFormat(path.toStdString()) || path.endsWith(".png", Qt::CaseInsensitive))
        path += ".tiff";
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!PictureFile::fromBitmap(mLayers.snapshot(mSettings.contrast)).writeToPath(path.toStdString()))
        Platform::shared().beep();
}

// --- Interface of the controller ---

bool KVAnalysisView::isDrawing() {
    std::lock_guard<std::mutex> guard(mStateMutex);
    return mShared.drawing;
}

bool KVAnalysisView::isFirstResponder() {
    std::lock_guard<std::mutex> guard(mStateMutex);
    return mShared.firstResponder;
}

float KVAnalysisView::pitchUnderMouse() {
    std::lock_guard<std::mutex> guard(mStateMutex);
    return static_cast<float>(mShared.mouseY);
}

FramePos KVAnalysisView::frameUnderMouse() {
    std::lock_guard<std::mutex> guard(mStateMutex);
    return static_cast<FramePos>(mShared.mouseX);
}

void KVAnalysisView::publishState() {
    std::lock_guard<std::mutex> guard(mStateMutex);
    mShared.mouseX = mMouseX;
    mShared.mouseY = mMouseY;
    mShared.firstResponder = hasFocus();
}

void KVAnalysisView::setPlayCursor(FramePos sample) { mPlayCursorFrame = sample; }

void KVAnalysisView::scrollToPlayCursor() {
    const FramePos column = display::columnOfSample(mPlayCursorFrame);
    const QRectF visible = visibleViewRect();
    if (mScrollArea && (double(column) < visible.x() || double(column) >= visible.x() + visible.width()))
        mScrollArea->horizontalScrollBar()->setValue(int(mScale.toWidget(double(column), 0.0).x()));
}

void KVAnalysisView::redraw() {
    onGuiThread([this] { update(); });
}

void KVAnalysisView::relayout() {
    onGuiThread([this] {
        setFrameSize(mLayoutWidth);
        centreOnEnergy();
        invalidateImage();
    });
}

void KVAnalysisView::invalidateImage() {
    onGuiThread([this] {
        mNeedsRebuild = true;
        update();
    });
}

void KVAnalysisView::setStatusMessage(const std::string& message) {
    onGuiThread([this, message] {
        if (message == mStatusMessage) return;
        mStatusMessage = message;
        emit statusMessageChanged(QString::fromStdString(message));
        update();
    });
}

void KVAnalysisView::addPath(const std::vector<KVPathPoint>& points) {
    {
        std::lock_guard<std::mutex> guard(mPathsMutex);
        mPaths.push_back(points);
    }
    redraw();
}

void KVAnalysisView::removePath(const std::vector<KVPathPoint>& points) {
    {
        std::lock_guard<std::mutex> guard(mPathsMutex);
        const auto same = [&](const std::vector<KVPathPoint>& p) {
            return std::equal(p.begin(), p.end(), points.begin(), points.end(),
                              [](const KVPathPoint& a, const KVPathPoint& b) { return a.x == b.x && a.y == b.y; });
        };
        if (auto found = std::find_if(mPaths.begin(), mPaths.end(), same); found != mPaths.end()) mPaths.erase(found);
    }
    redraw();
}

void KVAnalysisView::setStores(KVAnalysisFileSet* analysis, KVAnalysisFileSet* selection) {
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        mAnalysisStore = analysis;
        mSelectionStore = selection;
        mLayers.invalidate();
        mCentredOnEnergy = false;
    }
    relayout();
}

// Once per analysis, as soon as two blocks of it are stored: the row below which half of its
// brightness lies goes to the middle of the window, unless it shows in the lower three quarters
// of the window at the bottom already (where the level strip is). Left alone once the user has
// scrolled up from the bottom.
void KVAnalysisView::centreOnEnergy() {
    if (mCentredOnEnergy || !mScrollArea) return;
    QScrollBar* bar = mScrollArea->verticalScrollBar();
    if (bar->value() != bar->maximum()) {
        mCentredOnEnergy = true;
        return;
    }
    int row = -1;
    {
        std::lock_guard<std::recursive_mutex> guard(mMonitor);
        if (!mAnalysisStore || mAnalysisStore->frameCount() < kEnergyFrames) return;
        row = EnergyRows::medianRow(*mAnalysisStore);
    }
    mCentredOnEnergy = true;
    if (row < 0) return;
    const int viewport = mScrollArea->viewport()->height();
    if (row * mScale.pitchZoom() < viewport * 3 / 4) return;
    const auto rowTop = int(mScale.toWidget(0.0, row + 1).y());
    bar->setValue(std::clamp(rowTop - viewport / 2, bar->minimum(), bar->maximum()));
}

}  // namespace orvex

namespace orvex {

// --- Tools and modifiers ---

void KVAnalysisView::setTool(AnalysisTool tool) {
    mTool = tool;
    update();
}

void KVAnalysisView::setSelectionMode(SelectionMode mode) {
    mSelectionMode = KVDocumentMode::selectionModeForTool(mode, mDocumentMode, mTool);
    update();
}

void KVAnalysisView::setRealtimePreview(bool on) {
    auto controller = delegate();
    mPreviewLatched = on;
    if (controller) on ? controller->enableAudio() : controller->disableAudio();
    mPreviewOn = on;
    if (controller) controller->setRealtimePreview(on);
}

// Alt, or Meta where a window manager keeps Alt+drag for itself.
bool KVAnalysisView::optionHeld(Qt::KeyboardModifiers modifiers) {
    return modifiers.testFlag(Qt::AltModifier) || modifiers.testFlag(Qt::MetaModifier);
}

void KVAnalysisView::modifiersChanged(Qt::KeyboardModifiers modifiers) {
    auto controller = delegate();
    mModifiers = modifiers;
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const SelectionMode mode = optionHeld(modifiers) ? SelectionMode::Subtract : SelectionMode::Add;
    setShiftMode(shift);
    setSelectionMode(mode);
    if (controller) {
        controller->setShiftMode(shift);
        controller->setSelectionMode(mode);
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        if (controller) controller->enableAudio();
        mPreviewOn = true;
        if (controller) controller->setRealtimePreview(true);
    } else {
        if (!mPreviewLatched && controller) {
            controller->disableAudio();
            controller->setRealtimePreview(false);
        }
        mPreviewOn = mPreviewLatched;
    }
    update();
}

// --- Mouse ---

QPointF KVAnalysisView::viewPoint(const QPointF& widgetPosition) const {
    return mScale.toView(widgetPosition);
}

void KVAnalysisView::followMouseAfterScroll() {
    if (mMouseState == 0) return;  // outside
    const QPoint at = mapFromGlobal(QCursor::pos());
    if (rect().contains(at)) updatePosition(QPointF(at), mModifiers);
}

void KVAnalysisView::updatePosition(const QPointF& widgetPosition, Qt::KeyboardModifiers modifiers) {
    const QPointF p = viewPoint(widgetPosition);
    mMouseX = p.x();
    mMouseY = p.y();
    mModifiers = modifiers;
    publishState();
    if (auto controller = delegate()) controller->mouseUpdate(mMouseState, mMouseY < ToolGesture::kStripHeight);
}

void KVAnalysisView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    mMouseState = 2;
    updatePosition(event->position(), event->modifiers());
    mGesture.press(mTool, mMouseX, mMouseY);
    const bool strip = isPencil(mTool) && mMouseY < ToolGesture::kStripHeight;
    setCursor(strip ? Qt::OpenHandCursor : Qt::CrossCursor);
    update();
}

void KVAnalysisView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseDoubleClickEvent(event);
    const FramePos column = static_cast<FramePos>(viewPoint(event->position()).x());
    mPlayCursorFrame = mEditCursorFrame = display::sampleOfColumn(column);
    if (auto controller = delegate()) controller->cursorWasMoved();
    mousePressEvent(event);
}

void KVAnalysisView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        mMouseState = mMouseState == 0 ? 4 : mMouseState;
        setCursor(Qt::CrossCursor);
        updatePosition(event->position(), event->modifiers());
        update();
        return;
    }
    if (mGesture.isCancelled()) return;
    mMouseState = 1;
    updatePosition(event->position(), event->modifiers());
    mGesture.drag(mMouseX, mMouseY, event->modifiers().testFlag(Qt::ShiftModifier));
    autoScroll(event->position());
    update();
}

void KVAnalysisView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || mGesture.isCancelled()) return;
    mMouseState = 3;
    updatePosition(event->position(), event->modifiers());
    reportGesture(mGesture.release(mMouseX, mMouseY, event->modifiers().testFlag(Qt::ShiftModifier)));
    setCursor(Qt::CrossCursor);
    update();
}

void KVAnalysisView::reportGesture(const GestureResult& result) {
    auto controller = delegate();
    if (!controller) return;
    switch (result.kind) {
    case GestureResult::Kind::path: controller->pathComplete(result.points); break;
    case GestureResult::Kind::stripRange: controller->dragComplete(result.start, result.end); break;
    case GestureResult::Kind::rectangle: {
        const GestureRect& r = result.rectangle;
        controller->selectionComplete(float(r.x), float(r.y), float(r.width), float(r.height));
        break;
    }
    case GestureResult::Kind::none: return;
    }
    emit gestureReported();
}

// Dragging past the edge of the scroll area's window scrolls it towards the mouse.
void KVAnalysisView::autoScroll(const QPointF& widgetPosition) {
    if (!mScrollArea) return;
    const QRect shown = visibleRegion().boundingRect();
    if (shown.contains(widgetPosition.toPoint())) return;
    mScrollArea->ensureVisible(int(widgetPosition.x()), int(widgetPosition.y()), 0, 0);
}

void KVAnalysisView::enterEvent(QEnterEvent* event) {
    setCursor(Qt::CrossCursor);
    mMouseState = 4;
    updatePosition(event->position(), QGuiApplication::keyboardModifiers());
    update();
}

void KVAnalysisView::leaveEvent(QEvent*) {
    unsetCursor();
    mMouseState = 0;
    if (auto controller = delegate()) controller->mouseUpdate(mMouseState, mMouseY < ToolGesture::kStripHeight);
    update();
}

// --- Keys, focus and window activation ---

void KVAnalysisView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (const Qt::KeyboardModifier modifier = modifierOfKey(key); modifier != Qt::NoModifier)
        return modifiersChanged(event->modifiers() | modifier);
    if (key == Qt::Key_Space) {
        if (auto controller = delegate()) controller->togglePlayStop();
    } else if (key == Qt::Key_S) {
        saveImageSnapshot();
    } else if (key == Qt::Key_Escape) {
        mGesture.cancel();
        Platform::shared().beep();
        update();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void KVAnalysisView::keyReleaseEvent(QKeyEvent* event) {
    if (const Qt::KeyboardModifier modifier = modifierOfKey(event->key()); modifier != Qt::NoModifier)
        return modifiersChanged(event->modifiers() & ~Qt::KeyboardModifiers(modifier));
    QWidget::keyReleaseEvent(event);
}

// The modifier a key press or release changes (the event's own flags may still show the old state).
Qt::KeyboardModifier KVAnalysisView::modifierOfKey(int key) {
    switch (key) {
    case Qt::Key_Shift: return Qt::ShiftModifier;
    case Qt::Key_Alt: return Qt::AltModifier;
    case Qt::Key_Meta: return Qt::MetaModifier;
    case Qt::Key_Control: return Qt::ControlModifier;
    default: return Qt::NoModifier;
    }
}

void KVAnalysisView::focusInEvent(QFocusEvent* event) {
    publishState();
    update();
    QWidget::focusInEvent(event);
}

void KVAnalysisView::focusOutEvent(QFocusEvent* event) {
    publishState();
    update();
    QWidget::focusOutEvent(event);
}

// The window's activation reaches the view through a filter on the window, which it watches
// from the moment it is shown.
void KVAnalysisView::showEvent(QShowEvent* event) {
    if (mWatchedWindow != window()) {
        if (mWatchedWindow) mWatchedWindow->removeEventFilter(this);
        mWatchedWindow = window();
        mWatchedWindow->installEventFilter(this);
    }
    QWidget::showEvent(event);
}

bool KVAnalysisView::eventFilter(QObject* watched, QEvent* event) {
    const bool activated = event->type() == QEvent::WindowActivate;
    if (watched == mWatchedWindow && (activated || event->type() == QEvent::WindowDeactivate)) {
        if (auto controller = delegate()) activated ? controller->enableAudio() : controller->disableAudio();
        publishState();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace orvex
