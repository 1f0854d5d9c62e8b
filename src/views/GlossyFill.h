#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QRectF>

class QPainter;

namespace orvex {

// The glossy gradient fill of the dark theme: the top whitened, fading to a faint whitening at
// the middle; the lower half running from the colour to a caustic colour (shifted towards
// yellow, or magenta for purple hues) at the bottom edge.
class GlossyFill {
public:
    // Whitening s at t in 0..1 from the top, for a colour of luminance factor lum; below the
    // middle the blend towards the caustic colour.
    static double blendAt(double t, double lum);
    static QColor causticColor(const QColor& colour);
    // The colour at t (0 top, 1 bottom).
    static QColor colorAt(const QColor& colour, double t);
    // A vertical gradient over rect with enough stops to follow the exponential curves.
    static QLinearGradient gradient(const QColor& colour, const QRectF& rect);
    // Fills rect (clipped to it) with the current composition mode.
    static void fill(QPainter& painter, const QRectF& rect, const QColor& colour);
};

}  // namespace orvex
