#pragma once

#include <QColor>

#include "utilities/KVUtilities.h"

namespace orvex {

// The theme colours of KVUtilities as Qt colours.
class ThemePalette {
public:
    static QColor toQColor(const ThemeColor& colour);
    // themeColor00 ... themeColor09.
    static QColor indexed(int index) { return toQColor(KVUtilities::themeColor(index)); }
    static QColor rgba(double red, double green, double blue, double alpha);
};

}  // namespace orvex
