#include "views/ThemedButton.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "utilities/KVUtilities.h"
#include "views/DropShadow.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {
constexpr double kRadius = 8.0;
}

ThemedButton::ThemedButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    setAccessibleName(text);
    setMinimumHeight(26);
}

QSize ThemedButton::minimumSizeHint() const {
    const QSize base = QPushButton::minimumSizeHint();
    const int labelled = fontMetrics().horizontalAdvance(text()) + 2 * int(kRadius) + 4;
    return {std::max(base.width(), labelled), std::max(base.height(), minimumHeight())};
}

void ThemedButton::setColor(const QColor& colour) {
    mColour = colour;
    update();
}

void ThemedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const bool on = isChecked() || isDown();
    // The shadow falls inside the button's rounded outline, along its lower and right edges.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), kRadius, kRadius);
    p.setClipPath(outline);
    DropShadow::themed().paintShadow(p, rect(), [&](QPainter& shape) {
        shape.setPen(Qt::NoPen);
        shape.setBrush(Qt::black);
        shape.drawRoundedRect(frame.adjusted(1, 1, -1, -1), kRadius, kRadius);
    });
    p.setPen(Qt::NoPen);
    p.setBrush(ThemePalette::indexed(6));
    p.drawRoundedRect(frame.adjusted(1, 1, -1, -1), kRadius, kRadius);
    if (on) {
        p.setCompositionMode(QPainter::CompositionMode_Plus);
        p.setBrush(mColour);
        p.drawRoundedRect(frame.adjusted(2, 2, -2, -2), 5, 10);
        p.setBrush(ThemePalette::toQColor(KVUtilities::themeColorWhiteWithAlpha(0.08)));
        p.drawEllipse(frame.adjusted(-5, 5, 5, -5).translated(-10, -5));
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.setPen(ThemePalette::toQColor(on ? KVUtilities::themeColorColdHighlightWithAlpha(1.0) : KVUtilities::themeColorDarkGray()));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame, kRadius, kRadius);
    // A disabled label is dimmed, still readable on the gray body.
    p.setPen(isEnabled() ? QColor(Qt::black) : QColor(0, 0, 0, 110));
    p.drawText(rect().translated(0, 1), Qt::AlignCenter, text());
}

}  // namespace orvex
