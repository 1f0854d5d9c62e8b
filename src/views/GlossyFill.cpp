#include "views/GlossyFill.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace orvex {

namespace {
constexpr double kCurve = 1.000052;
constexpr int kStopsPerHalf = 12;

double luminanceFactor(const QColor& c) {
    return std::pow(0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF(), 0.2);
}

QColor mix(const QColor& a, const QColor& b, double s) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - s) + b.redF() * s),
                            static_cast<float>(a.greenF() * (1 - s) + b.greenF() * s),
                            static_cast<float>(a.blueF() * (1 - s) + b.blueF() * s), a.alphaF());
}
}  // namespace

double GlossyFill::blendAt(double t, double lum) {
    const double e = std::exp(-kCurve), n = 1.0 / (1.0 - e);
    if (t < 0.5) {
        const double top = 0.6 * lum, middle = 0.05 * lum;
        return ((e - std::exp(-2.0 * t * kCurve)) * n + 1.0) * (middle - top) + top;
    }
    return (std::exp((2.0 * (t - 0.5) - 1.0) * kCurve) - e) * n;
}

QColor GlossyFill::causticColor(const QColor& colour) {
    double hue = colour.hsvHueF(), saturation = colour.hsvSaturationF();
    const double brightness = colour.valueF();
    QColor target = QColor(Qt::yellow);
    if (saturation < 0.001 || hue < 0.0) {
        hue = target.hsvHueF();
        saturation = 0.5;
    }
    if (hue > 0.95)
        hue -= 1.0;
    else if (hue > 0.7)
        target = QColor(Qt::magenta);
    const double w = (std::cos((hue - target.hsvHueF()) * 1.4 * std::numbers::pi) + 1.0) * 0.3;
    double mixedHue = hue * (1 - w) + target.hsvHueF() * w;
    if (mixedHue < 0.0) mixedHue += 1.0;
    return QColor::fromHsvF(static_cast<float>(mixedHue), static_cast<float>(saturation),
                            static_cast<float>(brightness * (1 - w) + target.valueF() * w), colour.alphaF());
}

QColor GlossyFill::colorAt(const QColor& colour, double t) {
    const double s = blendAt(t, luminanceFactor(colour));
    if (t < 0.5) return mix(colour, QColor::fromRgbF(1, 1, 1, colour.alphaF()), s);
    return mix(colour, causticColor(colour), s);
}

QLinearGradient GlossyFill::gradient(const QColor& colour, const QRectF& rect) {
    QLinearGradient gradient(rect.topLeft(), rect.bottomLeft());
    for (int i = 0; i <= kStopsPerHalf; ++i) {
        const double t = 0.5 * i / kStopsPerHalf;
        gradient.setColorAt(std::min(t, 0.4999), colorAt(colour, t));
        gradient.setColorAt(0.5 + t, colorAt(colour, 0.5 + t));
    }
    return gradient;
}

void GlossyFill::fill(QPainter& painter, const QRectF& rect, const QColor& colour) {
    painter.save();
    painter.setClipRect(rect, Qt::IntersectClip);
    painter.fillRect(rect, gradient(colour, rect));
    painter.restore();
}

}  // namespace orvex
