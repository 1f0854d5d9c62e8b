#include "views/KVWaveSegmentView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QThread>

#include <cmath>

#include "application/ResourceFinder.h"
#include "platform/Platform.h"
#include "platform/PostedCall.h"
#include "utilities/KVUtilities.h"
#include "views/DropShadow.h"
#include "views/GlossyFill.h"
#include "views/OverviewPainter.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {
constexpr std::int64_t kInitialColumns = 4096;
constexpr double kSnapDistance = 10.0;
const QString kTitle = QStringLiteral("Input File Overview");
const QColor kSelectionLineColour = QColor::fromRgbF(1.0f, 1.0f, 0.0f, 0.7f);

QImage resourceImage(const std::string& name) {
    const auto path = ResourceFinder::forCurrentProcess().pathForResource(name, "png");
    return path ? QImage(QString::fromStdString(path->string())) : QImage();
}

QString timeLabel(FramePos frame) {
    return QString::fromStdString(KVUtilities::SamplesToTime(static_cast<std::uint64_t>(frame), kWorkingSampleRate));
}
}  // namespace

KVWaveSegmentView::KVWaveSegmentView(QWidget* parent)
    : QWidget(parent),
      mStartMarker(resourceImage("selectionStart")),
      mEndMarker(resourceImage("selectionEnd")) {
    mRange->setTotalFrames(1);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 120);
    setAccessibleName("Input File Overview");
    mCursorTimer.setInterval(kCursorIntervalMs);
    connect(&mCursorTimer, &QTimer::timeout, this, [this] {
        if (mPlayCursor != mPaintedCursor) update();
    });
    mCursorTimer.start();
}

void KVWaveSegmentView::onGuiThread(std::function<void()> call) {
    if (QThread::currentThread() == thread())
        call();
    else
        QMetaObject::invokeMethod(this, PostedCall(std::move(call)), Qt::QueuedConnection);
}

void KVWaveSegmentView::showColumns(std::shared_ptr<const OverviewColumns> columns) {
    mColumns = std::move(columns);
    setNeedsRedraw();
}

void KVWaveSegmentView::setNumberOfChannels(std::int64_t channels) {
    mChannels = channels;
    setNeedsRedraw();
}

void KVWaveSegmentView::setNeedsRedraw() {
    onGuiThread([this] {
        mNeedsRedraw = true;
        update();
    });
}

// New columns arrived: the picture shows them only once rebuilt, at most once per paint.
void KVWaveSegmentView::setNeedsDisplay() { setNeedsRedraw(); }

void KVWaveSegmentView::setAnalysisStartFrame(FramePos frame) {
    mRange->setAnalysisStartFrame(frame);
    setNeedsRedraw();
}

void KVWaveSegmentView::setAnalysisEndFrame(FramePos frame) {
    mRange->setAnalysisEndFrame(frame);
    setNeedsRedraw();
}

void KVWaveSegmentView::setPlayCursor(FramePos frame) { mPlayCursor = frame; }

void KVWaveSegmentView::useRange(KVSegmentRange* range) {
    if (!range) {
        mOwnRange = *mRange;  // the view goes on showing what it showed
        range = &mOwnRange;
    }
    mRange = range;
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::setNumFrames(FrameCount frames) {
    mRange->setTotalFrames(frames);
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::setSelectionStartFrame(FramePos frame) {
    mRange->setSelectionStartFrame(frame);
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::setSelectionEndFrame(FramePos frame) {
    mRange->setSelectionEndFrame(frame);
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::selectPreviousSegment() {
    mRange->selectPreviousSegment();
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::selectNextSegment() {
    mRange->selectNextSegment();
    mSelectionChanged = true;
    setNeedsRedraw();
}

void KVWaveSegmentView::selectAnalysisRange() {
    if (!mRange->selectAnalysisRange()) {
        Platform::shared().beep();
        return;
    }
    mSelectionChanged = true;
    setNeedsRedraw();
}

double KVWaveSegmentView::framesPerPixel() const {
    return OverviewPainter::framesPerPixel(mRange->totalFrames(), width());
}

// An edge within 10 pixels of the analysed range's start or end lands exactly on it.
void KVWaveSegmentView::handleMouse(QPointF position) {
    const double fpp = framesPerPixel();
    const double yFromBottom = height() - position.y();
    FramePos frame = static_cast<FramePos>(std::trunc(position.x() * fpp));
    for (FramePos edge : {mRange->analysisStartFrame(), mRange->analysisEndFrame()})
        if (edge != 0 && std::abs(static_cast<double>(edge) / fpp - position.x()) < kSnapDistance) frame = edge;
    if (yFromBottom < height() / 2.0)
        setSelectionEndFrame(frame);
    else if (yFromBottom > height() / 2.0)
        setSelectionStartFrame(frame);
    if (onCursorMoved) onCursorMoved();
}

void KVWaveSegmentView::mousePressEvent(QMouseEvent* event) { handleMouse(event->position()); }
void KVWaveSegmentView::mouseReleaseEvent(QMouseEvent* event) { handleMouse(event->position()); }
void KVWaveSegmentView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) handleMouse(event->position());
}

void KVWaveSegmentView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space) {
        if (onTogglePlayStop) onTogglePlayStop();
        return;
    }
    if (event->key() == Qt::Key_Escape) return;
    QWidget::keyPressEvent(event);
}

void KVWaveSegmentView::focusInEvent(QFocusEvent*) { update(); }
void KVWaveSegmentView::focusOutEvent(QFocusEvent*) { update(); }

void KVWaveSegmentView::resizeEvent(QResizeEvent*) { setNeedsRedraw(); }

// Without a controller's columns the view draws silence at its initial resolution.
std::vector<KVOverviewColumn> KVWaveSegmentView::columnsCopy() const {
    return mColumns ? mColumns->copy() : std::vector<KVOverviewColumn>(kInitialColumns);
}

void KVWaveSegmentView::drawSelectionLines(OverviewPainter& painter) {
    QPainter& p = painter.painter();
    const double h = height(), startX = painter.xOfFrame(mRange->selectionStartFrame()),
                 endX = painter.xOfFrame(mRange->selectionEndFrame());
    const BottomUpMapping& y = painter.mapping();
    p.setPen(QPen(kSelectionLineColour, 1.0));
    p.drawLine(y.toWidget(startX, h), y.toWidget(startX, h / 2));
    p.drawLine(y.toWidget(endX, 0), y.toWidget(endX, h / 2));
    const QColor text = ThemePalette::toQColor(KVUtilities::themeColorLightCanvas());
    painter.label(timeLabel(mRange->selectionStartFrame()), startX + 5, h - 33, text, OverviewPainter::boldFont(9));
    // The end's label stands left of its line on the bottom edge, above the title where the two
    // would meet.
    const QString end = timeLabel(mRange->selectionEndFrame());
    const QFont font = OverviewPainter::boldFont(9);
    const double endY = OverviewPainter::clearOfTitle(kTitle, painter.labelLeft(end, endX - 5, font), 23);
    painter.labelEndingAt(end, endX - 5, endY, text, font);
}

void KVWaveSegmentView::drawShadedSelection(OverviewPainter& overview) const {
    const double startX = overview.xOfFrame(mRange->selectionStartFrame()),
                 endX = overview.xOfFrame(mRange->selectionEndFrame());
    QPainter& p = overview.painter();
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_Plus);
    const QRectF selection(startX, 2, endX - startX, height() - 4);
    DropShadow::themed().paint(p, selection, [&](QPainter& shaded) {
        GlossyFill::fill(shaded, selection, ThemePalette::rgba(0.068635, 0.07686, 0.138635, 0.5));
    });
    p.restore();
}

// The start marker hangs from the top edge and the end marker stands on the bottom edge, each
// centred on its line's pixel column.
void KVWaveSegmentView::drawMarkers(QPainter& p, const OverviewPainter& overview) const {
    const double h = height(), startX = overview.xOfFrame(mRange->selectionStartFrame()),
                 endX = overview.xOfFrame(mRange->selectionEndFrame());
    const BottomUpMapping& y = overview.mapping();
    const auto draw = [&](double x, double bottom, const QImage& image) {
        const QRectF place = y.toWidget(QRectF(std::floor(x) - image.width() / 2, bottom, image.width(), image.height()));
        DropShadow::themed().paint(p, place, [&](QPainter& shadowed) { shadowed.drawImage(place, image); });
    };
    draw(endX, 0, mEndMarker);
    draw(startX, h - mStartMarker.height(), mStartMarker);
}

void KVWaveSegmentView::rebuildPicture() {
    mHighQuality = true;
    mPicture = QImage(std::max(width(), 1), std::max(height(), 1), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&mPicture);
    OverviewPainter painter(p, size(), mRange->totalFrames());
    painter.background();
    painter.analysedRange(mRange->analysisStartFrame(), mRange->analysisEndFrame());
    painter.timeRuler();
    painter.waveform(mChannels, columnsCopy());
    drawSelectionLines(painter);
    drawShadedSelection(painter);
    drawMarkers(painter.painter(), painter);
    painter.frameAndTitle(kTitle);
    mNeedsRedraw = false;
}

void KVWaveSegmentView::paintEvent(QPaintEvent*) {
    if (mNeedsRedraw || mPicture.size() != size()) rebuildPicture();
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, mPicture);
    OverviewPainter painter(p, size(), mRange->totalFrames());
    painter.playCursor(mPlayCursor);
    mPaintedCursor = mPlayCursor;
}

}  // namespace orvex
