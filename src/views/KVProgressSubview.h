#pragma once

#include <QWidget>

namespace orvex {

// The progress box: a dark rounded box with "<text>... <n> % complete" and a rounded bar.
class KVProgressSubview : public QWidget {
    Q_OBJECT
public:
    explicit KVProgressSubview(QWidget* parent = nullptr);

    void setFloatValue(float percent);
    void setString(const QString& text);
    float floatValue() const { return mPercent; }
    // The line shown: "<text>... <n> % complete"; a text that already ends in "..." (the
    // commands' own titles do) is not given a second ellipsis.
    QString label() const;
    // Wide enough for the whole line at 100 %.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString labelAt(int percent) const;
    QFont labelFont() const;

    float mPercent = 1.0f;
    QString mText;
};

}  // namespace orvex
