#include "dsp/DisplayColourMap.h"

#include <algorithm>
#include <cmath>

namespace orvex {

DisplayColour displayColour(float x) {
    constexpr float kFullScale = 65535.0f;
    constexpr float kToUnit = 1.5258789e-5f;  // 1 / 65536
    x = std::clamp(x, 0.0f, 1.0f);
    const float t = 6.28318548f * x + 4.1887903f;
    const float s = std::sin(t);
    const float c = std::cos(t);
    const float brightness = std::sqrt(x);
    const float whiteness = x * x * x * x;
    auto finish = [&](float base) {
        float value = base * brightness;
        return (value * (1.0f - whiteness) + kFullScale * whiteness) * kToUnit;
    };
    return {finish(kFullScale * (0.5f + 0.5f * s)), finish(kFullScale * (0.5f - 0.5f * c)),
            finish(kFullScale * (0.5f - 0.5f * s))};
}

}  // namespace orvex
