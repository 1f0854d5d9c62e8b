#pragma once

#include "app/FadingPanelWindow.h"

class QLabel;

namespace orvex {

// The splash and about panels: the application's icon and name on a dark rounded panel, with
// the version line (uiVersionInfo) and, for the about panel, a few lines of text.
// GUI thread only.
class BrandWindow : public FadingPanelWindow {
    Q_OBJECT
public:
    // text: extra lines under the version (empty for the splash).
    explicit BrandWindow(const QString& accessibleName, const QString& text = {}, QWidget* parent = nullptr);

    QLabel* uiVersionInfo() const { return mVersionInfo; }
    // Centres the panel on the primary screen, shows it at opacity 0 and fades it in.
    void present();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* mVersionInfo;
};

}  // namespace orvex
