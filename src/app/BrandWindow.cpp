#include "app/BrandWindow.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include "app/AppResources.h"
#include "application/AppVersion.h"

namespace orvex {

namespace {
constexpr int kIconSize = 96;
const QColor kPanelColour(28, 33, 64);
const QColor kAccentColour(43, 179, 192);

QLabel* makeLabel(const QString& text, int pointSize, bool bold, const QColor& colour) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSize(pointSize);
    font.setBold(bold);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(colour.name()));
    label->setAccessibleName(text);
    return label;
}
}  // namespace

BrandWindow::BrandWindow(const QString& accessibleName, const QString& text, QWidget* parent)
    : FadingPanelWindow(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAccessibleName(accessibleName);
    setWindowTitle(accessibleName);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 24);
    auto* icon = new QLabel;
    icon->setPixmap(AppResources::applicationIcon().pixmap(kIconSize, kIconSize));
    icon->setAlignment(Qt::AlignCenter);
    icon->setAccessibleName(QStringLiteral("Orvex icon"));
    layout->addWidget(icon);
    layout->addWidget(makeLabel(QStringLiteral("Orvex"), 26, true, Qt::white));
    mVersionInfo = makeLabel(QString::fromStdString(AppVersion::splashText()), 10, false, kAccentColour);
    mVersionInfo->setObjectName(QStringLiteral("uiVersionInfo"));
    layout->addWidget(mVersionInfo);
    if (!text.isEmpty()) layout->addWidget(makeLabel(text, 10, false, QColor(220, 222, 235)));
    setFixedWidth(360);
}

void BrandWindow::present() {
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    setWindowOpacity(0.0);
    show();
    raise();
    fadeIn();
}

void BrandWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 18, 18);
    painter.fillPath(panel, kPanelColour);
    painter.setPen(QPen(kAccentColour, 2));
    painter.drawPath(panel);
}

}  // namespace orvex
