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
    return {n.x, mHeight - n.maxY(), n.width, n.height};
}

// Text whose bottom-left corner sits at view point (x, y).
void AnalysisOverlayPainter::drawText(const QString& text, double x, double y, const QFont& font,
                                      const QColor& colour) {
    mPainter.setFont(font);
    mPainter.setPen(colour);
    const QFontMetricsF metrics(font);
    const QStringList lines = text.split('\n');
    double baseline = mHeight - y - metrics.descent() - metrics.lineSpacing() * double(lines.size() - 1);
    for (const QString& line : lines) {
        mPainter.drawText(QRectF(x, baseline - metrics.ascent(), 4000.0, metrics.lineSpacing()),
                          Qt::TextExpandTabs | Qt::TextDontClip, line);
        baseline += metrics.lineSpacing();
    }
}

void AnalysisOverlayPainter::paint(const AnalysisOverlayState& s) {
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

void AnalysisOverlayPainter::playCursor(const AnalysisOverlayState& s) {
    const QColor colour = qColour(KVUtilities::themeColorPlayCursor());
    mPainter.fillRect(QRectF(double(s.playColumn), 0.0, 1.0, mHeight), colour);
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
        drawText(QString::fromStdString(ToolOverlay::pencilSign(s.selectionMode)), double(first.x) + 2,
                 double(first.y) + 2, boldFont(9), colour);
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
    const BoxOverlay o = ToolOverlay::box(s.tool, s.selectionMode, s.shift, s.gestureRect, mHeight, s.visible.height());
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
        drawText(QString::fromStdString(o.label), o.labelAt.x, o.labelAt.y, boldFont(9),
                 qColour(KVUtilities::themeColorLightCanvas()));
}

// A tick and a label for every whole second of the visible columns, at the top of the window.
void AnalysisOverlayPainter::ruler(const AnalysisOverlayState& s) {
    const QColor colour = qColour(KVUtilities::themeColorLightCanvas());
    const double top = s.visible.y() + s.visible.height();
    const auto firstSecond = static_cast<std::int64_t>(double(s.firstColumn) * kAnalysisHop / kWorkingSampleRate);
    for (std::int64_t second = firstSecond;; ++second) {
        const FramePos column = static_cast<FramePos>(double(second) * kWorkingSampleRate) / kAnalysisHop;
        if (column > s.columnCount + s.firstColumn) break;
        mPainter.setPen(QPen(colour, 1.0));
        mPainter.drawLine(at(double(column + 1), top - 13), at(double(column + 1), top - 3));
        const std::string label =
            KVUtilities::SamplesToTimeShort(std::uint64_t(double(second) * kWorkingSampleRate), kWorkingSampleRate);
        // Centred on its tick, but the first one starts at the picture's left edge, not before it.
        drawText(QString::fromStdString(label), std::max(double(column - 10), 2.0), top - 28, boldFont(9), colour);
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
        drawText("P", double(path.front().x) - 1, double(path.front().y) - 10, boldFont(9), red);
    }
}

QString AnalysisOverlayPainter::statusText(double mouseX, double mouseY, const std::string& message) {
    const auto frame = static_cast<std::int64_t>(mouseX * double(kAnalysisHop));
    const auto frequency = static_cast<float>(display::frequencyOfHeight(mouseY));
    QString text = QString::asprintf("X: %s (%lld frames)\tY: %0.2f Hz (%s)",
                                     KVUtilities::SamplesToTime(std::uint64_t(frame), kWorkingSampleRate).c_str(),
                                     static_cast<long long>(frame), double(frequency),
                                     KVUtilities::noteNumberFromFrequency(frequency).c_str());
    if (!message.empty()) text += "\n" + QString::fromStdString(message);
    return text;
}

void AnalysisOverlayPainter::status(const AnalysisOverlayState& s) {
    drawText(statusText(s.mouseX, s.mouseY, s.statusMessage), s.visible.x() + 10, s.visible.y() + 60, boldFont(9),
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
    drawText("Displaying current selection only", s.visible.x() + 10, s.visible.y() + s.visible.height() - 20,
             boldFont(10), QColor::fromRgbF(1.0f, 0.0f, 0.0f, 0.75f));
    const GestureRect frame{s.visible.x() + 5, s.visible.y() + 5, s.visible.width() - 10, s.visible.height() - 10};
    mPainter.setPen(QPen(qColour(KVUtilities::themeColorLightCanvas()), 5.0));
    mPainter.setBrush(Qt::NoBrush);
    mPainter.drawRect(rect(frame));
    mPainter.restore();
}

}  // namespace orvex
