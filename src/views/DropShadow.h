#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

#include <functional>

class QPainter;

namespace orvex {

// A soft shadow under what a drawing function paints: the coverage of the painted shapes is
// blurred, tinted with the shadow colour and laid at the offset with the painter's composition
// mode, before the shapes themselves are drawn with the painter's settings. The offset counts y upwards like the views' descriptions: (2, -2) falls to
// the right and below. Plain value; the painting runs on the painter's thread.
class DropShadow {
public:
    DropShadow(QPointF offsetUpwards, double blurRadius, const QColor& colour);
    // The shadow of the overviews' frames and the themed buttons: (2, -2), blur 4, dark gray.
    static DropShadow themed();

    // Paints the shadow of what draw paints inside bounds (device coordinates), then draw itself,
    // on painter. The work grows with the area of bounds: keep them tight.
    void paint(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw) const;
    // Only the shadow.
    void paintShadow(QPainter& painter, const QRectF& bounds, const std::function<void(QPainter&)>& draw) const;

    // Blurs an 8-bit alpha image in place with three box passes each way, close to a Gaussian
    // whose standard deviation is half the blur radius.
    static void blur(QImage& alpha, double blurRadius);
    // The box radius of each of the three passes for a blur radius (0 for no blur).
    static int boxRadius(double blurRadius);

private:
    QPointF mOffset;  // in widget coordinates (y down)
    double mBlur;
    QColor mColour;
};

}  // namespace orvex
