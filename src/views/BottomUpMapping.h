#pragma once

#include <QPointF>
#include <QRectF>

namespace orvex {

// The overview views count y from the bottom edge upwards; Qt counts from the top downwards.
// This maps between the two for a view of the given height. Plain value.
class BottomUpMapping {
public:
    explicit BottomUpMapping(double height) : mHeight(height) {}

    double height() const { return mHeight; }
    // A y counted from the bottom as a widget y, and back (the mapping is its own inverse).
    double toWidgetY(double yFromBottom) const { return mHeight - yFromBottom; }
    double fromWidgetY(double widgetY) const { return mHeight - widgetY; }
    QPointF toWidget(double x, double yFromBottom) const { return {x, toWidgetY(yFromBottom)}; }
    // A displacement counted upwards as a widget displacement (downwards): independent of the height.
    static QPointF toWidgetOffset(QPointF upwards) { return {upwards.x(), -upwards.y()}; }
    // The rectangle whose bottom-left corner is (x, yFromBottom).
    QRectF toWidget(const QRectF& bottomUp) const {
        return {bottomUp.x(), toWidgetY(bottomUp.y() + bottomUp.height()), bottomUp.width(), bottomUp.height()};
    }

private:
    double mHeight;
};

}  // namespace orvex
