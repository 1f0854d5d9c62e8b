#pragma once

#include "common/MathConstants.h"
#include "dsp/DisplayMath.h"

#include <cmath>

namespace orvex {

// One colour of the display pictures, each component in 0..1.
struct DisplayColour {
    float red;
    float green;
    float blue;
};

// The colour map of the display pictures: x (clamped to 0..1, NaN counting as 0) runs once
// round a hue circle while the brightness grows with sqrt(x) and the colour fades to white as
// x^4. C(0) is black, C(1) white. Inline and branch-free so that per-bin loops vectorise; a loop
// may take the hue in a pass of its own (shorter dependency chains run faster).
// Pure functions; safe on any thread.

// The colour map's x of a frequency: f / 22050 (written as the factor 1 / 22050).
inline constexpr float kColourPerHertz = 4.5351473e-5f;

// Sine and cosine of the hue angle 2 pi x + 4.1887903 (single precision).
[[gnu::always_inline]] inline displaymath::SineCosine displayHue(float x) {
    return displaymath::sinCosInRange(kTwoPiFloat * displaymath::clampOrLow(x, 0.0f, 1.0f) + 4.1887903f);
}

// The colour of x given displayHue(x).
[[gnu::always_inline]] inline DisplayColour displayColourWithHue(float x, displaymath::SineCosine hue) {
    constexpr float kFullScale = 65535.0f;
    constexpr float kToUnit = 1.5258789e-5f;  // 1 / 65536
    x = displaymath::clampOrLow(x, 0.0f, 1.0f);
    const float brightness = std::sqrt(x);
    const float whiteness = x * x * x * x;
    auto finish = [&](float base) {
        const float value = base * brightness;
        return (value * (1.0f - whiteness) + kFullScale * whiteness) * kToUnit;
    };
    return {finish(kFullScale * (0.5f + 0.5f * hue.sine)), finish(kFullScale * (0.5f - 0.5f * hue.cosine)),
            finish(kFullScale * (0.5f - 0.5f * hue.sine))};
}

[[gnu::always_inline]] inline DisplayColour displayColour(float x) { return displayColourWithHue(x, displayHue(x)); }

}  // namespace orvex
