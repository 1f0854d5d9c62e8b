#include "views/KVProgressSubview.h"

#include <QPainter>

#include <algorithm>

#include "utilities/KVUtilities.h"
#include "views/ThemePalette.h"

namespace orvex {

KVProgressSubview::KVProgressSubview(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 42);
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
    update();
}

QString KVProgressSubview::label() const {
    return QString("%1... %2 % complete").arg(mText).arg(static_cast<int>(mPercent));
}

void KVProgressSubview::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(ThemePalette::indexed(8));
    p.setBrush(ThemePalette::indexed(1));
    p.drawRoundedRect(box, 9, 9);
    QFont font = p.font();
    font.setBold(true);
    p.setFont(font);
    p.setPen(ThemePalette::indexed(8));
    p.drawText(QRectF(10, 4, width() - 20, height() / 2.0), Qt::AlignLeft | Qt::AlignVCenter, label());
    const double fraction = std::clamp(mPercent / 100.0, 0.0, 1.0);
    const QRectF bar(10, height() * 0.62, (width() - 20) * fraction, height() * 0.22);
    p.setBrush(ThemePalette::indexed(3));
    p.drawRoundedRect(bar, 5, 5);
}

}  // namespace orvex
