#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

namespace orvex {

// A borderless panel that fades in and out (the splash and about windows). The fades are
// stepped by a timer on the GUI thread, so the event loop keeps running while they play.
// Closing the window fades it out and hides it; it never quits the application.
// GUI thread only.
class FadingPanelWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFadeSteps = 25;
    static constexpr int kFadeStepMs = 30;

    explicit FadingPanelWindow(QWidget* parent = nullptr);

    // Opacity 0.01, then 0.012 growing by x1.2 per step, then 1.
    void fadeIn();
    // Opacity 1, then 0.8333333 shrinking by x0.8333 per step; then done() runs (if given).
    void fadeOut(std::function<void()> done = {});
    bool isFading() const { return mTimer.isActive(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void step();

    QTimer mTimer;
    int mStepsLeft = 0;
    double mFactor = 1.0;
    double mAlpha = 1.0;
    double mFinalOpacity = 1.0;
    std::function<void()> mDone;
};

}  // namespace orvex
