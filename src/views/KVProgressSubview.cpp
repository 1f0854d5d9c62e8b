#include "views/KVProgressSubview.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

#include "utilities/KVUtilities.h"
#include "views/DropShadow.h"
#include "views/ThemePalette.h"

namespace orvex {

namespace {
constexpr int kMinimumWidth = 240, kHeight = 42, kTextMargin = 10;
}  // namespace

KVProgressSubview::KVProgressSubview(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::MinimumExpanding, QSizePolicy::Fixed);
    setAccessibleName("Progress");
}

void KVProgressSubview::setFloatValue(float percent) {
    mPercent = percent;
    setAccessibleDescription(label());
    update();
}

void KVProgressSubview::setString(const QString& text) {
    mText = text;
    setAccessibleDescription(label());
    updateGeometry();
    update();
}

QString KVProgressSubview::label() const { return labelAt(static_cast<int>(mPercent)); }

QString KVProgressSubview::labelAt(int percent) const {
    const QString ellipsis = mText.endsWith("...") ? QString() : QString("...");
    return QString("%1%2 %3 % complete").arg(mText, ellipsis).arg(percent);
}

QFont KVProgressSubview::labelFont() const {
    QFont bold = font();
    bold.setBold(true);
    return bold;
}

// The text's margins (10 on each side) and a little room for the bold face's rounding.
QSize KVProgressSubview::sizeHint() const {
    const int text = QFontMetrics(labelFont()).horizontalAdvance(labelAt(100));
    return {std::max(kMinimumWidth, text + 2 * kTextMargin + 4), kHeight};
}

void KVProgressSubview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(ThemePalette::indexed(8));
    p.setBrush(ThemePalette::indexed(1));
    p.drawRoundedRect(box, 9, 9);
    // The text and the bar glow faintly to their right.
    DropShadow({1.0, 0.0}, 4, QColor::fromRgbF(1, 1, 1, 0.5)).paint(p, rect(), [&](QPainter& q) {
        q.setFont(labelFont());
        q.setPen(ThemePalette::indexed(8));
        q.drawText(QRectF(kTextMargin, 4, width() - 2 * kTextMargin, height() / 2.0), Qt::AlignLeft | Qt::AlignVCenter,
                   label());
        const double fraction = std::clamp(mPercent / 100.0, 0.0, 1.0);
        const QRectF bar(kTextMargin, height() * 0.62, (width() - 2 * kTextMargin) * fraction, height() * 0.22);
        q.setBrush(ThemePalette::indexed(3));
        q.drawRoundedRect(bar, 5, 5);
    });
}

}  // namespace orvex
