#include "views/ThemePalette.h"

namespace orvex {

QColor ThemePalette::toQColor(const ThemeColor& colour) {
    return rgba(colour.red, colour.green, colour.blue, colour.alpha);
}

QColor ThemePalette::rgba(double red, double green, double blue, double alpha) {
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                            static_cast<float>(alpha));
}

}  // namespace orvex
