#include "views/OverviewPainter.h"

#include <QFontMetricsF>
#include <QPolygonF>

#include <algorithm>

#include "utilities/KVUtilities.h"
#include "views/DropShadow.h"
#include "views/GlossyFill.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {
constexpr double kDarkCanvasRed = 0.068635, kDarkCanvasGreen = 0.07686, kDarkCanvasBlue = 0.138635;
constexpr int kTicks = 10;
constexpr double kTickLength = 8.0;
constexpr double kLabelInset = 4.0;
constexpr double kTitleInset = 10.0;
}  // namespace

OverviewPainter::OverviewPainter(QPainter& painter, QSize size, FrameCount totalFrames)
    : mPainter(painter),
      mSize(size),
      mTotal(std::max<FrameCount>(totalFrames, 1)),
      mFramesPerPixel(framesPerPixel(totalFrames, size.width())),
      mY(size.height()) {}

double OverviewPainter::framesPerPixel(FrameCount totalFrames, int width) {
    return static_cast<double>(std::max<FrameCount>(totalFrames, 1)) / std::max(width, 1);
}

QFont OverviewPainter::boldFont(int pointSize) {
    QFont font("DejaVu Sans");
    font.setPointSize(pointSize);
    font.setBold(true);
    return font;
}

// Labels are kept inside the picture: one that would run past the right edge ends 4 px before it.
void OverviewPainter::label(const QString& text, double x, double yFromBottom, const QColor& colour,
                            const QFont& font) {
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    x = std::max(kLabelInset, std::min(x, mSize.width() - kLabelInset - width));
    mPainter.setFont(font);
    mPainter.setPen(colour);
    mPainter.drawText(QPointF(x, mY.toWidgetY(yFromBottom) - QFontMetricsF(font).descent()), text);
}

void OverviewPainter::labelEndingAt(const QString& text, double right, double yFromBottom, const QColor& colour,
                                    const QFont& font) {
    label(text, right - QFontMetricsF(font).horizontalAdvance(text), yFromBottom, colour, font);
}

void OverviewPainter::background() {
    mPainter.fillRect(QRect(QPoint(0, 0), mSize), Qt::black);
    GlossyFill::fill(mPainter, QRectF(0, 0, mSize.width(), mSize.height()),
                     ThemePalette::rgba(kDarkCanvasRed, kDarkCanvasGreen, kDarkCanvasBlue, 0.25));
}

void OverviewPainter::analysedRange(FramePos start, FramePos end) {
    if (start == 0 && end == 0) return;
    const double x0 = xOfFrame(start), x1 = xOfFrame(end);
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Source);
    GlossyFill::fill(mPainter, QRectF(x0, 2, x1 - x0, mSize.height() - 4),
                     ThemePalette::rgba(kDarkCanvasRed, 0.14274, kDarkCanvasBlue, 0.9));
    mPainter.restore();
    mCaptionX = x0 + kTitleInset;
}

void OverviewPainter::timeRuler() {
    const QColor colour = ThemePalette::indexed(3);
    const double top = mSize.height();
    for (int i = 0; i < kTicks; ++i) {
        const FramePos frame = i * mTotal / kTicks;
        const double x = xOfFrame(frame);
        mPainter.setPen(colour);
        mPainter.drawLine(mY.toWidget(x, top), mY.toWidget(x, top - kTickLength));
        label(QString::fromStdString(KVUtilities::SamplesToTime(static_cast<std::uint64_t>(frame), kWorkingSampleRate)),
              x + 5, top - 18, ThemePalette::toQColor(KVUtilities::themeColorLightCanvas()), boldFont(9));
    }
}

void OverviewPainter::envelope(const std::vector<KVOverviewColumn>& columns, float KVOverviewColumn::*value,
                               double centre, double scale) {
    const double step = static_cast<double>(mSize.width()) / static_cast<double>(columns.size());
    QPolygonF polygon;
    polygon.reserve(static_cast<qsizetype>(columns.size()) + 2);
    polygon << mY.toWidget(0, centre);
    for (std::size_t i = 0; i < columns.size(); ++i)
        polygon << mY.toWidget(static_cast<double>(i) * step, columns[i].*value * scale + centre);
    polygon << mY.toWidget(static_cast<double>(columns.size() - 1) * step, centre);
    mPainter.drawPolygon(polygon);
}

void OverviewPainter::waveform(std::int64_t channels, const std::vector<KVOverviewColumn>& columns) {
    if (columns.empty()) return;
    const double h = mSize.height();
    mPainter.save();
    mPainter.setRenderHint(QPainter::Antialiasing, false);
    mPainter.setPen(Qt::NoPen);
    mPainter.setBrush(ThemePalette::indexed(8));
    std::vector<double> centres;
    if (channels == 1) {
        envelope(columns, &KVOverviewColumn::minL, h / 2, h / 2);
        envelope(columns, &KVOverviewColumn::maxL, h / 2, h / 2);
        centres = {h / 2};
    } else {
        envelope(columns, &KVOverviewColumn::minR, h / 4, h / 4);
        envelope(columns, &KVOverviewColumn::maxR, h / 4, h / 4);
        envelope(columns, &KVOverviewColumn::minL, 3 * h / 4, h / 4);
        envelope(columns, &KVOverviewColumn::maxL, 3 * h / 4, h / 4);
        centres = {h / 4, 3 * h / 4};
    }
    mPainter.setPen(Qt::white);
    for (double c : centres) mPainter.drawLine(mY.toWidget(0, c), mY.toWidget(mSize.width(), c));
    mPainter.restore();
}

// The frame's one-pixel edges cast their shadows one by one, so that the shadow's work covers
// the edges and not the whole picture; the side edges leave the corners to the top and bottom.
void OverviewPainter::frameAndTitle(const QString& title) {
    const double w = mSize.width(), h = mSize.height();
    const QColor frameColour = ThemePalette::indexed(0);
    for (const QRectF& edge : {QRectF(0, 0, w, 1), QRectF(0, h - 1, w, 1), QRectF(0, 1, 1, h - 2), QRectF(w - 1, 1, 1, h - 2)})
        DropShadow::themed().paint(mPainter, edge, [&](QPainter& p) { p.fillRect(edge, frameColour); });
    const QColor colour = ThemePalette::toQColor(KVUtilities::themeColorLightCanvas());
    const QFont titleFont = boldFont(18);
    label(title, kTitleInset, kTitleInset, colour, titleFont);
    if (mCaptionX < 0) return;
    // The analysed range's caption sits on the bottom edge like the title.
    label("Current Analysis", mCaptionX, clearOfTitle(title, mCaptionX, kTitleInset), colour, boldFont(9));
}

double OverviewPainter::clearOfTitle(const QString& title, double left, double yFromBottom) {
    const QFontMetricsF titleMetrics(boldFont(18));
    const double titleTop = kTitleInset + titleMetrics.height();
    const bool meetsTitle = left < kTitleInset + titleMetrics.horizontalAdvance(title) + kTitleInset;
    return meetsTitle && yFromBottom < titleTop ? titleTop : yFromBottom;
}

double OverviewPainter::labelLeft(const QString& text, double right, const QFont& font) const {
    const double width = QFontMetricsF(font).horizontalAdvance(text);
    return std::max(kLabelInset, std::min(right - width, mSize.width() - kLabelInset - width));
}

void OverviewPainter::playCursor(FramePos frame) {
    const double x = xOfFrame(frame);
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Darken);
    mPainter.setPen(Qt::red);
    mPainter.drawLine(QPointF(x, 0), QPointF(x, mSize.height()));
    mPainter.restore();
}

}  // namespace orvex
