#include "app/FadingPanelWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace orvex {

namespace {
constexpr double kFadeInStart = 0.01;
constexpr double kFadeInFirst = 0.012;
constexpr double kFadeInGrowth = 1.2;
constexpr double kFadeOutFirst = 0.8333333;
constexpr double kFadeOutShrink = 0.8333333333333334;
}  // namespace

FadingPanelWindow::FadingPanelWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowOpacity(1.0);
    mTimer.setInterval(kFadeStepMs);
    connect(&mTimer, &QTimer::timeout, this, &FadingPanelWindow::step);
}

void FadingPanelWindow::fadeIn() {
    setWindowOpacity(kFadeInStart);
    mStepsLeft = kFadeSteps;
    mFactor = kFadeInGrowth;
    mFinalOpacity = 1.0;
    mDone = nullptr;
    mTimer.start();
}

void FadingPanelWindow::fadeOut(std::function<void()> done) {
    setWindowOpacity(1.0);
    mStepsLeft = kFadeSteps;
    mFactor = kFadeOutShrink;
    mFinalOpacity = -1.0;
    mDone = std::move(done);
    mTimer.start();
}

void FadingPanelWindow::step() {
    if (mStepsLeft == kFadeSteps) {
        mAlpha = mFactor > 1.0 ? kFadeInFirst : kFadeOutFirst;
    } else if (mStepsLeft > 0) {
        mAlpha *= mFactor;
    }
    if (mStepsLeft > 0) setWindowOpacity(mAlpha);
    if (mStepsLeft-- > 0) return;
    mTimer.stop();
    if (mFinalOpacity >= 0.0) setWindowOpacity(mFinalOpacity);
    if (auto done = std::exchange(mDone, nullptr)) done();
}

void FadingPanelWindow::closeEvent(QCloseEvent* event) {
    // Closing hides after the fade; the window and the application stay alive.
    event->ignore();
    if (isVisible() && !isFading()) fadeOut([this] { hide(); });
}

void FadingPanelWindow::mousePressEvent(QMouseEvent* event) {
    mTimer.stop();
    mDone = nullptr;
    hide();
    event->accept();
}

void FadingPanelWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace orvex
