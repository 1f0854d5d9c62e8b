#include "views/AnalysisOverlayPainter.h"

#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

#include "gesture/ToolOverlay.h"
#include "picture/DisplayGeometry.h"
#include "utilities/KVUtilities.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {

QColor qColour(const ThemeColor& c) { return ThemePalette::toQColor(c); }

QColor overlayBlue(double alpha) { return ThemePalette::rgba(0.2, 0.2, 1.0, alpha); }

QFont boldFont(int points) {
    QFont font;
    font.setBold(true);
    font.setPointSize(points);
    return font;
}

}  // namespace

QRectF AnalysisOverlayPainter::rect(const GestureRect& r) const {
    const GestureRect n = r.normalised();
    return mScale.widgetRectOf(QRectF(n.x, n.y, n.width, n.height));
}

void AnalysisOverlayPainter::drawText(const QString& text, QPointF corner, const QFont& font, const QColor& colour) {
    mPainter.setFont(font);
    mPainter.setPen(colour);
    const QFontMetricsF metrics(font);
    const QStringList lines = text.split('\n');
    double baseline = corner.y() - metrics.descent() - metrics.lineSpacing() * double(lines.size() - 1);
    for (const QString& line : lines) {
        mPainter.drawText(QRectF(corner.x(), baseline - metrics.ascent(), 4000.0, metrics.lineSpacing()),
                          Qt::TextExpandTabs | Qt::TextDontClip, line);
        baseline += metrics.lineSpacing();
    }
}

void AnalysisOverlayPainter::paint(const AnalysisOverlayState& s) {
    pitchAxis(s);
    playCursor(s);
    mPainter.setRenderHint(QPainter::Antialiasing, true);
    toolOverlay(s);
    mPainter.setRenderHint(QPainter::Antialiasing, false);
    ruler(s);
    paths(s);
    status(s);
    if (isPencil(s.tool)) stripRange(s);
    if (s.focused && !s.showOriginal) focusFrame(s);
}

// A faint line through the row of every C, named at the right edge of the window; once a
// semitone is 14 pixels high every note is named and lined. The notes follow the A4 tuning.
void AnalysisOverlayPainter::pitchAxis(const AnalysisOverlayState& s) {
    constexpr int kHighestNote = 135;  // about 20 kHz
    const double offset = 12.0 * std::log2(s.a4Tuning / 440.0);  // semitones
    const bool everyNote = 6.0 * mScale.pitchZoom() >= 14.0;
    const int lowest = std::max(12, int(std::ceil(s.visible.y() / 6.0 - offset)));  // from C0
    const int highest = std::min(kHighestNote, int(std::floor((s.visible.y() + s.visible.height()) / 6.0 - offset)));
    const QFont font = boldFont(8);
    const QFontMetricsF metrics(font);
    for (int note = lowest; note <= highest; ++note) {
        if (note % 12 != 0 && !everyNote) continue;
        const double y = std::floor(at(0.0, 6.0 * (note + offset) + 0.5).y());  // the pixel of the row's middle
        mPainter.setPen(QPen(note % 12 == 0 ? ThemePalette::rgba(1.0, 1.0, 1.0, 0.22) : ThemePalette::rgba(1.0, 1.0, 1.0, 0.1), 1.0));
        mPainter.drawLine(QPointF(s.shown.left(), y), QPointF(s.shown.right(), y));
        if (y < s.shown.top() + 32) continue;  // under the ruler
        const QString name = QString::fromStdString(KVUtilities::noteName(note));
        drawText(name, QPointF(s.shown.right() - metrics.horizontalAdvance(name) - 6, y - 2), font,
                 qColour(KVUtilities::themeColorLightCanvas()));
    }
}

void AnalysisOverlayPainter::playCursor(const AnalysisOverlayState& s) {
    const QColor colour = qColour(KVUtilities::themeColorPlayCursor());
    mPainter.fillRect(QRectF(at(double(s.playColumn), 0.0).x(), 0.0, std::max(1.0, mScale.timeZoom()),
                             mScale.widgetHeight()),
                      colour);
    mPainter.setPen(colour);
}

void AnalysisOverlayPainter::toolOverlay(const AnalysisOverlayState& s) {
    if (isPencil(s.tool))
        pencilOverlay(s);
    else if (s.dragging)
        boxOverlay(s);
}

void AnalysisOverlayPainter::pencilOverlay(const AnalysisOverlayState& s) {
    const QColor colour = qColour(KVUtilities::themeColorPlayCursor());
    if (!s.gesturePoints.empty()) {
        const KVPathPoint first = s.gesturePoints.front();
        drawText(QString::fromStdString(ToolOverlay::pencilSign(s.selectionMode)),
                 at(double(first.x), double(first.y)) + QPointF(2, -2), boldFont(9), colour);
        QPolygonF line;
        for (const KVPathPoint& p : s.gesturePoints) line << at(double(p.x), double(p.y));
        mPainter.setPen(QPen(colour, 5.0));
        mPainter.drawPolyline(line);
    }
    const double frequency = display::frequencyOfHeight(s.mouseY);
    mPainter.setPen(QPen(colour, 1.0));
    for (const HarmonicCross& cross : ToolOverlay::harmonicCrosses(s.tool, s.mouseX, frequency)) {
        mPainter.drawRect(rect(cross.horizontal));
        mPainter.drawRect(rect(cross.vertical));
    }
}

void AnalysisOverlayPainter::boxOverlay(const AnalysisOverlayState& s) {
    const BoxOverlay o = ToolOverlay::box(s.tool, s.selectionMode, s.shift, s.gestureRect, AnalysisViewScale::shownRows(),
                                          s.visible.height());
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Plus);
    if (o.ellipse) {
        mPainter.setPen(Qt::NoPen);
        mPainter.setBrush(overlayBlue(o.fillAlpha));
        mPainter.drawEllipse(rect(o.fill));
    } else {
        mPainter.fillRect(rect(o.fill), overlayBlue(o.fillAlpha));
    }
    mPainter.setBrush(Qt::NoBrush);
    if (o.outlineAlpha > 0.0) {
        mPainter.setPen(QPen(overlayBlue(o.outlineAlpha), 1.0));
        mPainter.drawRect(rect(o.outline));
    }
    if (!o.lines.empty()) {
        QPolygonF line;
        for (const OverlayPoint& p : o.lines) line << at(p.x, p.y);
        mPainter.setPen(QPen(overlayBlue(0.5), 1.0));
        o.closedLines ? mPainter.drawPolygon(line) : mPainter.drawPolyline(line);
    }
    mPainter.restore();
    if (!o.label.empty())
        drawText(QString::fromStdString(o.label), at(o.labelAt.x, o.labelAt.y), boldFont(9),
                 qColour(KVUtilities::themeColorLightCanvas()));
}

// A tick and a label at the top of the window for every whole second of the visible columns,
// or every 2, 5, 10 ... seconds when the seconds would be closer than a label's width.
void AnalysisOverlayPainter::ruler(const AnalysisOverlayState& s) {
    const QColor colour = qColour(KVUtilities::themeColorLightCanvas());
    const double top = s.shown.y();
    const double secondWidth = kWorkingSampleRate / kAnalysisHop * mScale.timeZoom();
    std::int64_t step = 1;
    for (const std::int64_t candidate : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600}) {
        step = candidate;
        if (double(candidate) * secondWidth >= 70.0) break;
    }
    const auto firstSecond = static_cast<std::int64_t>(double(s.firstColumn) * kAnalysisHop / kWorkingSampleRate);
    for (std::int64_t second = firstSecond / step * step;; second += step) {
        const FramePos column = static_cast<FramePos>(double(second) * kWorkingSampleRate) / kAnalysisHop;
        if (column > s.columnCount + s.firstColumn) break;
        const double x = at(double(column + 1), 0.0).x();
        mPainter.setPen(QPen(colour, 1.0));
        mPainter.drawLine(QPointF(x, top + 3), QPointF(x, top + 13));
        const std::string label =
            KVUtilities::SamplesToTimeShort(std::uint64_t(double(second) * kWorkingSampleRate), kWorkingSampleRate);
        // Centred on its tick, but the first one starts at the picture's left edge, not before it.
        drawText(QString::fromStdString(label), QPointF(std::max(x - 11.0, 2.0), top + 28), boldFont(9), colour);
    }
}

void AnalysisOverlayPainter::paths(const AnalysisOverlayState& s) {
    const QColor red(255, 0, 0);
    for (const auto& path : s.paths) {
        if (path.empty()) continue;
        QPolygonF line;
        for (const KVPathPoint& p : path) line << at(double(p.x), double(p.y));
        mPainter.setPen(QPen(red, 5.0));
        mPainter.drawPolyline(line);
        drawText("P", at(double(path.front().x), double(path.front().y)) + QPointF(-1, 10), boldFont(9), red);
    }
}

QString AnalysisOverlayPainter::statusText(double mouseX, double mouseY, const std::string& message, double a4) {
    const auto frame = static_cast<std::int64_t>(mouseX * double(kAnalysisHop));
    const auto frequency = static_cast<float>(display::frequencyOfHeight(mouseY));
    QString text = QString::asprintf("X: %s (%lld frames)\tY: %0.2f Hz (%s)",
                                     KVUtilities::SamplesToTime(std::uint64_t(frame), kWorkingSampleRate).c_str(),
                                     static_cast<long long>(frame), double(frequency),
                                     KVUtilities::noteNumberFromFrequency(frequency, a4).c_str());
    if (!message.empty()) text += "\n" + QString::fromStdString(message);
    return text;
}

void AnalysisOverlayPainter::status(const AnalysisOverlayState& s) {
    drawText(statusText(s.mouseX, s.mouseY, s.statusMessage, s.a4Tuning), s.shown.bottomLeft() + QPointF(10, -60), boldFont(9),
             qColour(KVUtilities::themeColorLightCanvas()));
}

void AnalysisOverlayPainter::stripRange(const AnalysisOverlayState& s) {
    if (!s.dragging || !s.gesturePoints.empty()) return;
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Plus);
    mPainter.fillRect(rect(ToolOverlay::stripRange(s.gestureRect)), QColor::fromRgbF(0.2f, 0.2f, 1.0f, 1.0f));
    mPainter.restore();
}

void AnalysisOverlayPainter::focusFrame(const AnalysisOverlayState& s) {
    mPainter.save();
    mPainter.setCompositionMode(QPainter::CompositionMode_Plus);
    drawText("Displaying current selection only", s.shown.topLeft() + QPointF(10, 20), boldFont(10),
             QColor::fromRgbF(1.0f, 0.0f, 0.0f, 0.75f));
    mPainter.setPen(QPen(qColour(KVUtilities::themeColorLightCanvas()), 5.0));
    mPainter.setBrush(Qt::NoBrush);
    mPainter.drawRect(s.shown.adjusted(5, 5, -5, -5));
    mPainter.restore();
}

}  // namespace orvex
