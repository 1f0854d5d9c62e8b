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
    // The line shown: "%@... %d %% complete".
    QString label() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    float mPercent = 1.0f;
    QString mText;
};

}  // namespace orvex
