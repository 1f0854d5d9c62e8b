#pragma once

#include <algorithm>

namespace orvex {

// A rectangle in view coordinates whose size may be negative (origin at the press point).
struct GestureRect {
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0;

    // The same area with x, y the smaller edges and a size that is not negative.
    GestureRect normalised() const {
        return {std::min(x, x + width), std::min(y, y + height), std::abs(width), std::abs(height)};
    }
    bool isEmpty() const { return width == 0.0 || height == 0.0; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2.0; }
    double midY() const { return y + height / 2.0; }
    bool operator==(const GestureRect&) const = default;
};

}  // namespace orvex
