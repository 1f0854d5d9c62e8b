#pragma once

namespace orvex {

// One colour of the display pictures, each component in 0..1.
struct DisplayColour {
    float red;
    float green;
    float blue;
};

// The colour map of the display pictures: x (clamped to 0..1) runs once round a hue circle
// while the brightness grows with sqrt(x) and the colour fades to white as x^4. C(0) is black,
// C(1) white. Pure function; safe on any thread.
DisplayColour displayColour(float x);

}  // namespace orvex
