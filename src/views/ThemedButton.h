#pragma once

#include <QColor>
#include <QPushButton>

namespace orvex {

// A push button in the dark theme: a rounded body in themeColor06 with a dark outline; when
// checked, a cold outline, a faint highlight and the button's own colour laid over it.
class ThemedButton : public QPushButton {
    Q_OBJECT
public:
    explicit ThemedButton(const QString& text, QWidget* parent = nullptr);

    void setColor(const QColor& colour);
    QColor color() const { return mColour; }
    // Never narrower than its label with a margin: the layouts give no button less.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor mColour = QColor::fromRgbF(0.0f, 0.1f, 0.5f, 0.75f);
};

}  // namespace orvex
